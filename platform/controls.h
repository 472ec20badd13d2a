#pragma once
// Controls: a push button and a text label, both views (add them with addSubview).
//
// Main thread only. Both draw themselves with this layer's drawing context, so they look the
// same on every desktop and need no toolkit style; their frames are in the superview's
// coordinates (points, y up).

#include <functional>
#include <string>

#include "platform/drawing.h"
#include "platform/view.h"

namespace kg {

enum class TextAlignment { Left = 0, Center = 1, Right = 2 };

// A button whose face is its title. Bordered buttons get a rounded light face; borderless
// ones only the title. The action runs on release inside the button while it is enabled.
class Button : public View {
public:
    // An empty frame; set it with setFrame() before showing.
    Button(std::string title, std::function<void()> action);

    void setTitle(std::string title);
    [[nodiscard]] const std::string& title() const { return title_; }
    void setFont(const Font& font);
    void setBordered(bool bordered);
    void setBezelStyle(int style) { bezelStyle_ = style; }  // kept for callers; no effect
    // The title's colour while enabled; a disabled button draws it at a third of its alpha.
    void setContentTintColor(const Color& color);
    void setEnabled(bool enabled);
    [[nodiscard]] bool isEnabled() const { return enabled_; }
    void setAction(std::function<void()> action) { action_ = std::move(action); }
    // Runs the action as a click would (only while enabled).
    void performClick();

    void draw(GraphicsContext& context) override;
    View* hitTest(Point pointInSuperview) override;
    void mouseDown(const MouseEvent& event) override;
    void mouseDragged(const MouseEvent& event) override;
    void mouseUp(const MouseEvent& event) override;

private:
    std::string title_;
    std::function<void()> action_;
    Font font_ = Font::system(13);
    Color tint_ = Color::black();
    bool bordered_ = true;
    bool enabled_ = true;
    bool highlighted_ = false;
    int bezelStyle_ = 0;
};

// One line of text, not editable, not selectable; takes no clicks.
class Label : public View {
public:
    explicit Label(std::string text);

    void setStringValue(std::string text);
    [[nodiscard]] const std::string& stringValue() const { return text_; }
    void setFont(const Font& font);
    void setTextColor(const Color& color);
    void setAlignment(TextAlignment alignment);
    void setBackgroundColor(const Color& color);
    void setDrawsBackground(bool draws);
    void setBordered(bool) {}  // labels here never draw a border

    void draw(GraphicsContext& context) override;
    View* hitTest(Point) override { return nullptr; }

private:
    std::string text_;
    Font font_ = Font::system(13);
    Color textColor_ = Color::black();
    Color background_ = Color::clear();
    TextAlignment alignment_ = TextAlignment::Left;
    bool drawsBackground_ = false;
};

}  // namespace kg
