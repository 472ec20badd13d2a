#include "platform/qt/keep_above.h"

#include <xcb/xcb.h>

#include <QAbstractEventDispatcher>
#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <cstdint>
#include <vector>

#include "platform/qt/window_impl.h"
#include "platform/qt/x11.h"

namespace kg {

namespace {

// Our visible windows that belong above everything, bottom to top (creation order).
std::vector<std::uint32_t> topmostWindows() {
    std::vector<std::uint32_t> ids;
    for (Window* w : liveWindows()) {
        if (w->level() >= kScreenSaverWindowLevel && w->isVisible() && w->windowNumber() != 0)
            ids.push_back(static_cast<std::uint32_t>(w->windowNumber()));
    }
    return ids;
}

void restack() {
    const auto ours = topmostWindows();
    if (ours.empty()) return;
    const auto stack = x11::mappedTopLevelWindows();
    if (stack.size() >= ours.size() && std::equal(ours.begin(), ours.end(), stack.end() - ours.size())) return;
    x11::raise(ours);
}

class TopLevelWatch : public QAbstractNativeEventFilter {
public:
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override {
        if (eventType != "xcb_generic_event_t") return false;
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        xcb_window_t window = XCB_NONE;
        switch (event->response_type & 0x7f) {
            case XCB_MAP_NOTIFY: window = reinterpret_cast<const xcb_map_notify_event_t*>(event)->window; break;
            case XCB_CONFIGURE_NOTIFY:
                window = reinterpret_cast<const xcb_configure_notify_event_t*>(event)->window;
                break;
            default: return false;
        }
        // Our own windows (tool tips included) may sit anywhere among ours.
        if (x11::createdHere(window) || topmostWindows().empty()) return false;
        if (!pending_) {
            // After the toolkit has handled the event batch, once per batch.
            pending_ = true;
            QTimer::singleShot(0, [this] {
                pending_ = false;
                restack();
            });
        }
        return false;
    }

private:
    bool pending_ = false;
};

}  // namespace

void keepTopmostWindowsAboveWithoutWindowManager() {
    static bool installed = false;
    if (installed || !x11::available()) return;
    installed = true;
    if (x11::hasWindowManager()) return;
    static TopLevelWatch watch;  // lives as long as the process
    QCoreApplication::instance()->installNativeEventFilter(&watch);
    x11::watchTopLevelWindows();
}

}  // namespace kg
