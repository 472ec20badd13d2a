#include "platform/qt/keep_above.h"

#include <xcb/xcb.h>

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
    // Other windows of ours (tool tips) may sit anywhere among them.
    auto stack = x11::mappedTopLevelWindows();
    std::erase_if(stack, [&](std::uint32_t w) {
        return x11::createdHere(w) && std::find(ours.begin(), ours.end(), w) == ours.end();
    });
    if (stack.size() >= ours.size() && std::equal(ours.begin(), ours.end(), stack.end() - ours.size())) return;
    x11::raise(ours);
}

// Sees the root's substructure notifications. When the toolkit never asked for them, they are
// kept from it (it would take a root ConfigureNotify for a change of the screens).
class TopLevelWatch : public QAbstractNativeEventFilter {
public:
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override {
        if (eventType != "xcb_generic_event_t") return false;
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        xcb_window_t parent = XCB_NONE, window = XCB_NONE;
        if ((event->response_type & 0x7f) == XCB_MAP_NOTIFY) {
            const auto* map = reinterpret_cast<const xcb_map_notify_event_t*>(event);
            parent = map->event, window = map->window;
        } else if ((event->response_type & 0x7f) == XCB_CONFIGURE_NOTIFY) {
            const auto* configure = reinterpret_cast<const xcb_configure_notify_event_t*>(event);
            parent = configure->event, window = configure->window;
        }
        if (window == XCB_NONE || parent != root_ || window == root_) return false;
        if (!pending_ && !x11::createdHere(window) && !topmostWindows().empty()) {
            // Once the toolkit has handled the batch of events this one came with.
            pending_ = true;
            QTimer::singleShot(0, [this] {
                pending_ = false;
                restack();
            });
        }
        return ownsEvents;
    }

    bool ownsEvents = false;  // this client selected them, not the toolkit

private:
    const std::uint32_t root_ = x11::rootWindow();
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
    watch.ownsEvents = x11::watchTopLevelWindows();
}

}  // namespace kg
