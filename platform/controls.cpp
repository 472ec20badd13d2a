#include "platform/controls.h"

namespace kg {

namespace {
// A disabled control draws its text at this fraction of the colour's alpha.
constexpr double kDisabledAlphaFactor = 1.0 / 3.0;
// A pressed button darkens its face by drawing this over it.
constexpr Color kPressedShade = Color::white(0.0, 0.25);
constexpr Color kBorderedFace = Color::white(0.92, 1.0);
constexpr Color kBorderedEdge = Color::white(0.6, 1.0);
}  // namespace

Button::Button(std::string title, std::function<void()> action)
    : View(Rect{}), title_(std::move(title)), action_(std::move(action)) {}

void Button::setTitle(std::string title) {
    title_ = std::move(title);
    setNeedsDisplay();
}
void Button::setFont(const Font& font) {
    font_ = font;
    setNeedsDisplay();
}
void Button::setBordered(bool bordered) {
    bordered_ = bordered;
    setNeedsDisplay();
}
void Button::setContentTintColor(const Color& color) {
    tint_ = color;
    setNeedsDisplay();
}
void Button::setEnabled(bool enabled) {
    enabled_ = enabled;
    if (!enabled) highlighted_ = false;
    setNeedsDisplay();
}

void Button::performClick() {
    if (enabled_ && action_) action_();
}

void Button::draw(GraphicsContext& context) {
    const Rect b = bounds();
    if (bordered_) {
        const Rect face = b.insetBy(0.5, 0.5);
        context.fill(Path::roundedRect(face, 4, 4), kBorderedFace);
        context.stroke(Path::roundedRect(face, 4, 4), kBorderedEdge, 1);
    }
    if (highlighted_) context.fill(Path::roundedRect(b, 4, 4), kPressedShade);
    Color color = tint_;
    if (!enabled_) color.a *= kDisabledAlphaFactor;
    const TextAttributes attributes{font_, color, Color::clear()};
    const Size size = context.measureText(title_, attributes);
    context.drawText(title_, {b.midX() - size.width / 2, b.midY() - size.height / 2}, attributes);
}

View* Button::hitTest(Point pointInSuperview) {
    // A disabled button still takes the press (it swallows it), as a pushed control does.
    return View::hitTest(pointInSuperview);
}

void Button::mouseDown(const MouseEvent&) {
    if (!enabled_) return;
    highlighted_ = true;
    setNeedsDisplay();
}

void Button::mouseDragged(const MouseEvent& event) {
    if (!enabled_) return;
    const bool inside = bounds().contains(convertPointFromWindow(event.locationInWindow));
    if (inside != highlighted_) {
        highlighted_ = inside;
        setNeedsDisplay();
    }
}

void Button::mouseUp(const MouseEvent& event) {
    if (!enabled_) return;
    highlighted_ = false;
    setNeedsDisplay();
    if (bounds().contains(convertPointFromWindow(event.locationInWindow)) && action_) action_();
}

Label::Label(std::string text) : View(Rect{}), text_(std::move(text)) {}

void Label::setStringValue(std::string text) {
    if (text == text_) return;
    text_ = std::move(text);
    setNeedsDisplay();
}
void Label::setFont(const Font& font) {
    font_ = font;
    setNeedsDisplay();
}
void Label::setTextColor(const Color& color) {
    textColor_ = color;
    setNeedsDisplay();
}
void Label::setAlignment(TextAlignment alignment) {
    alignment_ = alignment;
    setNeedsDisplay();
}
void Label::setBackgroundColor(const Color& color) {
    background_ = color;
    setNeedsDisplay();
}
void Label::setDrawsBackground(bool draws) {
    drawsBackground_ = draws;
    setNeedsDisplay();
}

void Label::draw(GraphicsContext& context) {
    const Rect b = bounds();
    if (drawsBackground_ && background_.a > 0) context.fillRect(b, background_);
    const TextAttributes attributes{font_, textColor_, Color::clear()};
    const Size size = context.measureText(text_, attributes);
    double x = 0;
    switch (alignment_) {
        case TextAlignment::Left: x = 0; break;
        case TextAlignment::Center: x = b.midX() - size.width / 2; break;
        case TextAlignment::Right: x = b.width - size.width; break;
    }
    context.drawText(text_, {x, b.midY() - size.height / 2}, attributes);
}

}  // namespace kg
