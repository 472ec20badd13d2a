#include "controlbar/rounded_view.h"

#include "platform/graphics_context.h"

namespace kg::controlbar {

void RoundedView::draw(GraphicsContext& context) {
    // Inset by half the border so the whole stroke lies inside the view.
    const Rect r = bounds().insetBy(borderWidth / 2, borderWidth / 2);
    const Path path = Path::roundedRect(r, cornerRadius, cornerRadius);
    context.fill(path, fillColor);
    if (borderWidth > 0) {
        context.stroke(path, borderColor, borderWidth);
    }
}

}  // namespace kg::controlbar
