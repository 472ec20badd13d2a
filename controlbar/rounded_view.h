#pragma once
// The control bar's background: a filled rounded rectangle with an optional border, drawn
// inside the view's bounds. Private to the control bar. Main thread only.

#include "platform/drawing.h"
#include "platform/view.h"

namespace kg::controlbar {

class RoundedView : public View {
public:
    explicit RoundedView(const Rect& frame) : View(frame) {}

    Color fillColor = Color::black();
    double cornerRadius = 8;
    Color borderColor = Color::clear();
    double borderWidth = 0;

    void draw(GraphicsContext& context) override;
};

}  // namespace kg::controlbar
