#pragma once
// The drawing context a view receives in View::draw(). Created by the windowing layer only,
// valid for the duration of that call, main thread.
//
// Coordinates are the drawing view's own: points, origin at its lower-left corner, y up.
// Drawing outside the view's bounds is clipped away. Each redraw of a window starts from full
// transparency (or, for a window with a snapshot backdrop, from that picture: see window.h).

#include <memory>
#include <string>

#include "platform/drawing.h"

namespace kg {

class GraphicsContext {
public:
    struct Impl;
    explicit GraphicsContext(Impl& impl) : impl_(impl) {}
    GraphicsContext(const GraphicsContext&) = delete;
    GraphicsContext& operator=(const GraphicsContext&) = delete;

    // Fills the rectangle. With CompositingOperation::Clear the colour is ignored and the
    // pixels become fully transparent: what lies below the window shows through.
    void fillRect(const Rect& rect, const Color& color,
                  CompositingOperation operation = CompositingOperation::SourceOver);
    // Fills the inside of the path, drawn over.
    void fill(const Path& path, const Color& color);
    // Strokes the outline with a line of `lineWidth` points centred on it, drawn over.
    void stroke(const Path& path, const Color& color, double lineWidth);

    [[nodiscard]] Size measureText(const std::string& utf8, const TextAttributes& attributes);
    // Draws one line of text with the lower-left corner of its line box at `lowerLeft`;
    // the attributes' background, when not clear, fills that line box first.
    void drawText(const std::string& utf8, Point lowerLeft, const TextAttributes& attributes);

private:
    Impl& impl_;
};

}  // namespace kg
