#include "platform/qt/keyboard_anchor.h"

#include <QWidget>

namespace kg {

void anchorKeyboardAt(QPoint desktopPoint) {
    // Lives until the process ends, like the application object.
    static QWidget* const anchor = [] {
        auto* widget = new QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::NoDropShadowWindowHint |
                                                Qt::X11BypassWindowManagerHint | Qt::WindowStaysOnTopHint |
                                                Qt::WindowTransparentForInput);
        widget->setAttribute(Qt::WA_TranslucentBackground);
        widget->setAttribute(Qt::WA_ShowWithoutActivating);
        widget->resize(1, 1);
        return widget;
    }();
    anchor->hide();
    anchor->move(desktopPoint);
    anchor->show();
}

}  // namespace kg
