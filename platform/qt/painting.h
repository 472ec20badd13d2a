#pragma once
// Drawing a view tree with QPainter: the GraphicsContext's state and the recursive walk that
// both windows and test renderings use. Main thread only.

#include <QFont>
#include <QPainter>
#include <QPixmap>

#include "platform/graphics_context.h"
#include "platform/view.h"

namespace kg {

struct GraphicsContext::Impl {
    QPainter& painter;
    double viewHeight = 0;            // the drawing view's height: y-up to y-down
    QPointF viewOriginInWindow;       // the view's top-left corner in window pixels, y down
    const QPixmap* backdrop = nullptr;  // what "clear" restores, in window pixels; may be null
};

[[nodiscard]] QFont toQFont(const Font& font);
[[nodiscard]] QColor toQColor(const Color& color);

// Draws `view` (not hidden) and its subviews; `originInWindow` is the view's top-left corner in
// window coordinates, y down. The painter is left as it was found.
void paintViewTree(QPainter& painter, View& view, QPointF originInWindow, const QPixmap* backdrop);

}  // namespace kg
