#include "platform/testing.h"

#include <QCoreApplication>
#include <QImage>

#include "platform/qt/window_impl.h"
#include "platform/screen_space.h"

namespace kg {

namespace {
Image toImage(const QImage& source) {
    const QImage image = source.convertToFormat(QImage::Format_ARGB32);
    Image out;
    out.width = image.width();
    out.height = image.height();
    out.rowsTopDown.reserve(static_cast<std::size_t>(out.width) * out.height);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            out.rowsTopDown.push_back({static_cast<std::uint8_t>(qRed(p)),
                                       static_cast<std::uint8_t>(qGreen(p)),
                                       static_cast<std::uint8_t>(qBlue(p)),
                                       static_cast<std::uint8_t>(qAlpha(p))});
        }
    }
    return out;
}
}  // namespace

Image renderWindowForTesting(Window& window) { return toImage(renderWindowImage(window.impl())); }

void sendMouseEventForTesting(Window& window, MouseAction action, Point locationInWindow) {
    const Point p = flipInHeight(locationInWindow, window.frame().height);
    WindowWidget& widget = *window.impl().widget;
    switch (action) {
        case MouseAction::Down: widget.mousePressForTesting(QPointF(p.x, p.y)); break;
        case MouseAction::Dragged: widget.mouseMoveForTesting(QPointF(p.x, p.y)); break;
        case MouseAction::Up: widget.mouseReleaseForTesting(QPointF(p.x, p.y)); break;
    }
}


void processEventsForTesting() {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}

}  // namespace kg
