#include "platform/screen.h"

#include <QGuiApplication>
#include <QScreen>

#include "platform/qt/screens.h"
#include "platform/qt/window_impl.h"
#include "platform/screen_space.h"

namespace kg {

namespace {
Rect toRect(const QRect& r) { return {double(r.x()), double(r.y()), double(r.width()), double(r.height())}; }
}  // namespace

Rect mainScreenDesktopRect() {
    QScreen* primary = QGuiApplication::primaryScreen();
    return primary ? toRect(primary->geometry()) : Rect{};
}

std::vector<Screen> Screen::screens() {
    std::vector<Screen> out;
    QScreen* primary = QGuiApplication::primaryScreen();
    if (!primary) return out;
    const Rect main = toRect(primary->geometry());
    auto add = [&](QScreen* s) {
        out.emplace_back(s->name().toStdString(), globalFromDesktop(toRect(s->geometry()), main),
                         s->devicePixelRatio());
    };
    add(primary);
    for (QScreen* s : QGuiApplication::screens()) {
        if (s != primary) add(s);
    }
    return out;
}

std::optional<Screen> Screen::mainScreen() {
    auto all = screens();
    if (all.empty()) return std::nullopt;
    return all.front();
}

}  // namespace kg

#include <QCursor>

#include "platform/view.h"

namespace kg {

Point View::mouseLocation() {
    // Inside mouse-event handling, where that event happened: the pointer may have moved on
    // since (a hurried drag), and the drag must start where the press was.
    const QPointF p = dispatchedMousePosition().value_or(QPointF(QCursor::pos()));
    return globalFromDesktop(Point{p.x(), p.y()}, mainScreenDesktopRect());
}

}  // namespace kg
