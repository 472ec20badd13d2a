#include "platform/window.h"

#include <QApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QWindow>
#include <algorithm>

#include "platform/application.h"
#include "platform/desktop_session.h"
#include "platform/qt/keep_above.h"
#include "platform/qt/keyboard_anchor.h"
#include "platform/qt/painting.h"
#include "platform/qt/screens.h"
#include "platform/qt/window_impl.h"
#include "platform/qt/x11.h"
#include "platform/screen_space.h"

namespace kg {

namespace {

QRect toQRectRounded(const Rect& r) {
    const int x = static_cast<int>(std::lround(r.x));
    const int y = static_cast<int>(std::lround(r.y));
    return {x, y, std::max(1, static_cast<int>(std::lround(r.width))),
            std::max(1, static_cast<int>(std::lround(r.height)))};
}

Qt::CursorShape toQtCursor(Cursor c) {
    switch (c) {
        case Cursor::Arrow: return Qt::ArrowCursor;
        case Cursor::Crosshair: return Qt::CrossCursor;
        case Cursor::OpenHand: return Qt::OpenHandCursor;
        case Cursor::ClosedHand: return Qt::ClosedHandCursor;
    }
    return Qt::ArrowCursor;
}

// Tries to grab the keyboard for this long after showing: the grab fails until the server
// has mapped the window.
constexpr int kKeyboardGrabRetryMs = 20;
constexpr int kKeyboardGrabAttempts = 100;

}  // namespace

std::vector<Window*>& liveWindows() {
    static std::vector<Window*> windows;
    return windows;
}

// ---- Window::Impl --------------------------------------------------------------------------

Point Window::Impl::toWindowPoint(QPointF pos) const {
    return flipInHeight(Point{pos.x(), pos.y()}, frame.height);
}

Point Window::Impl::toHitPoint(QPointF pos) const {
    // Hit tests sample the centre of the pixel under the pointer, so the top and right rows of
    // a view are as hittable as the others.
    return flipInHeight(Point{pos.x() + 0.5, pos.y() + 0.5}, frame.height);
}

void Window::Impl::applyWindowFlags(bool firstShownAsKey) {
    Qt::WindowFlags flags = Qt::Window | Qt::FramelessWindowHint | Qt::NoDropShadowWindowHint;
    const bool panel = (styleMask & kWindowStyleNonactivatingPanel) != 0;
    if (level >= kScreenSaverWindowLevel) {
        // No window manager stacks these: unmanaged, raised when mapped.
        flags |= Qt::X11BypassWindowManagerHint | Qt::WindowStaysOnTopHint;
        // A Wayland compositor gives the keyboard to an unmanaged Xwayland window when it is
        // mapped or clicked, unless its type says utility (which Qt::Tool sets): without the
        // keyboard, Xwayland delivers no key to our grab.
        const bool needsCompositorFocus =
            firstShownAsKey && DesktopSession::current().displayServer() == DisplayServer::wayland;
        if (!needsCompositorFocus) flags |= Qt::Tool;
    } else if (level > kNormalWindowLevel || floatingPanel) {
        flags |= Qt::WindowStaysOnTopHint | Qt::Tool;
    } else {
        flags |= Qt::Tool;  // accessory: no taskbar entry
    }
    if (panel) flags |= Qt::WindowDoesNotAcceptFocus;
    if (ignoresMouse) flags |= Qt::WindowTransparentForInput;
    widget->setWindowFlags(flags);
    widget->setAttribute(Qt::WA_ShowWithoutActivating, true);
    const bool opaqueSnapshot = transparency == TransparencyMode::SnapshotBackdrop &&
                                !DesktopSession::current().hasRealTranslucency();
    const bool translucent = !opaque && !opaqueSnapshot;
    widget->setAttribute(Qt::WA_TranslucentBackground, translucent);
    widget->setAttribute(Qt::WA_NoSystemBackground, translucent);
    widget->setAutoFillBackground(false);
}

void Window::Impl::takeBackdropIfNeeded() {
    if (transparency != TransparencyMode::SnapshotBackdrop || backdrop) return;
    if (DesktopSession::current().hasRealTranslucency()) return;
    const QRect desktop = toQRectRounded(desktopFromGlobal(frame, mainScreenDesktopRect()));
    QImage image = x11::grabRoot(desktop);
    if (image.isNull()) {
        image = QImage(desktop.size(), QImage::Format_RGB32);
        image.fill(Qt::black);
    }
    backdrop = QPixmap::fromImage(image);
}

void Window::Impl::show(bool makeKey) {
    if (!shownOnce) {
        applyWindowFlags(makeKey);
        shownOnce = true;
        // Our windows are left out of recordings, and a compositing manager's shadow around
        // them would not be: the hints go on the native window before it is first mapped.
        x11::setNoShadowHints(static_cast<std::uint32_t>(widget->winId()));
    }
    if (level >= kScreenSaverWindowLevel) keepTopmostWindowsAboveWithoutWindowManager();
    closed = false;
    takeBackdropIfNeeded();
    widget->setGeometry(toQRectRounded(desktopFromGlobal(frame, mainScreenDesktopRect())));
    widget->show();
    widget->raise();
    if (transparency == TransparencyMode::ShapedToDrawing) {
        shapesSent = false;
        updateShapes();
    }
    if (makeKey) {
        everKey = true;
        keyConfirmedByMotion = false;
        for (Window* w : liveWindows()) w->impl().isKey = false;
        isKey = true;
        widget->activateWindow();
        widget->setFocus(Qt::OtherFocusReason);
        if (level >= kScreenSaverWindowLevel) {
            keyboardGrabAttempts = 0;
            grabKeyboardWhenViewable();
        }
    }
}

void Window::Impl::grabKeyboardWhenViewable() {
    if (!isKey || closed || !widget->isVisible()) return;
    QWindow* handle = widget->windowHandle();
    if (handle && handle->setKeyboardGrabEnabled(true)) return;
    if (++keyboardGrabAttempts >= kKeyboardGrabAttempts) return;
    QTimer::singleShot(kKeyboardGrabRetryMs, widget.get(), [this] { grabKeyboardWhenViewable(); });
}

void Window::Impl::pointerEntered(bool moved) {
    // Where the compositor may have taken the keyboard from Xwayland (keyboard_anchor.h): when
    // the pointer enters a window that has been key while another one is (it came from another
    // output), and on the first motion after a window became key. The window the pointer is in
    // becomes key and grabs the keyboard; the anchor brings the keys back to Xwayland.
    if (!everKey || closed || !widget->isVisible()) return;
    if (DesktopSession::current().displayServer() != DisplayServer::wayland) return;
    if (isKey && (!moved || keyConfirmedByMotion)) return;
    if (!isKey) show(true);
    keyConfirmedByMotion = true;
    anchorKeyboardAt(widget->geometry().topLeft());
}

void Window::Impl::updateShapes() {
    if (transparency != TransparencyMode::ShapedToDrawing || !widget->isVisible()) return;
    if (!x11::available()) return;
    const auto id = static_cast<std::uint32_t>(widget->internalWinId());
    if (id == 0) return;
    const int w = widget->width();
    const int h = widget->height();

    std::vector<PixelRect> input;
    if (!ignoresMouse && contentView) {
        input = rectsFromMask(w, h, [&](int x, int y) {
            return contentView->hitTest(toHitPoint(QPointF(x, y))) != nullptr;
        });
    }
    // The bounding shape is what the capture leaves out of the recording: without it, on a
    // composited X desktop the whole box (the region's inside too) would be rebuilt from what
    // lies below instead of grabbed as shown. Under Wayland the capture cannot leave our
    // windows out, and translucency alone shapes what is seen.
    std::vector<PixelRect> bounding;
    const bool needBounding = DesktopSession::current().canExcludeOwnWindowsFromCapture();
    if (needBounding) {
        const QImage image = renderWindowImage(*this);
        bounding = rectsFromMask(w, h, [&](int x, int y) {
            return x < image.width() && y < image.height() && qAlpha(image.pixel(x, y)) > 0;
        });
    }
    if (shapesSent && input == lastInput && bounding == lastBounding) return;
    x11::setShape(id, x11::ShapeKind::Input, input);
    if (needBounding) {
        x11::setShape(id, x11::ShapeKind::Bounding, bounding);
    } else {
        x11::clearShape(id, x11::ShapeKind::Bounding);
    }
    lastInput = std::move(input);
    lastBounding = std::move(bounding);
    shapesSent = true;
}

void Window::Impl::updateCursor(QPointF pos) {
    if (!cursorRectsValid) {
        cursorRects.clear();
        if (contentView) contentView->collectCursorRects(cursorRects);
        cursorRectsValid = true;
    }
    const Point p = toHitPoint(pos);
    Cursor cursor = Cursor::Arrow;
    // Later rectangles (deeper or later-added views) win.
    for (const auto& r : cursorRects) {
        if (r.rect.contains(p)) cursor = r.cursor;
    }
    const Qt::CursorShape shape = toQtCursor(cursor);
    if (widget->cursor().shape() != shape) widget->setCursor(shape);
}

void paintWindowContent(QPainter& painter, Window::Impl& impl, const QRect& area) {
    const QPixmap* backdrop = impl.backdrop ? &*impl.backdrop : nullptr;
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    if (backdrop) {
        painter.drawPixmap(0, 0, *backdrop);
    } else {
        // A clear background makes every redraw start from full transparency.
        Color background = impl.background;
        if (impl.opaque) background.a = 1.0;
        painter.fillRect(area, toQColor(background));
    }
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    if (impl.contentView) paintViewTree(painter, *impl.contentView, QPointF(0, 0), backdrop);
}

QImage renderWindowImage(Window::Impl& impl) {
    const int w = std::max(1, static_cast<int>(std::lround(impl.frame.width)));
    const int h = std::max(1, static_cast<int>(std::lround(impl.frame.height)));
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&image);
    paintWindowContent(painter, impl, image.rect());
    painter.end();
    return image;
}

// ---- Window --------------------------------------------------------------------------------

Window::Window(const Rect& contentRect, unsigned styleMask, int, bool) : impl_(std::make_unique<Impl>()) {
    impl_->owner = this;
    impl_->frame = contentRect;
    impl_->styleMask = styleMask;
    impl_->widget = std::make_unique<WindowWidget>(*impl_);
    impl_->widget->setGeometry(toQRectRounded(desktopFromGlobal(contentRect, mainScreenDesktopRect())));
    liveWindows().push_back(this);
}

Window::~Window() {
    auto& all = liveWindows();
    all.erase(std::remove(all.begin(), all.end(), this), all.end());
    if (impl_->contentView) impl_->contentView->attachToWindow(nullptr);
    impl_->widget->hide();
    impl_->widget.reset();
}

void Window::setOpaque(bool opaque) { impl_->opaque = opaque; }
void Window::setBackgroundColor(const Color& color) { impl_->background = color; }
void Window::setLevel(int level) { impl_->level = level; }
int Window::level() const { return impl_->level; }
void Window::setCollectionBehavior(unsigned behavior) { impl_->collectionBehavior = behavior; }
unsigned Window::collectionBehavior() const { return impl_->collectionBehavior; }
void Window::setIgnoresMouseEvents(bool ignores) {
    impl_->ignoresMouse = ignores;
    impl_->widget->setAttribute(Qt::WA_TransparentForMouseEvents, ignores);
}
void Window::setFloatingPanel(bool floating) { impl_->floatingPanel = floating; }
void Window::setTransparencyMode(TransparencyMode mode) { impl_->transparency = mode; }
TransparencyMode Window::transparencyMode() const { return impl_->transparency; }

void Window::setContentView(std::shared_ptr<View> view) {
    if (impl_->contentView) {
        impl_->contentView->attachToWindow(nullptr);
    }
    impl_->contentView = std::move(view);
    if (impl_->contentView) {
        impl_->contentView->removeFromSuperview();
        impl_->contentView->setFrame({0, 0, impl_->frame.width, impl_->frame.height});
        impl_->contentView->attachToWindow(this);
    }
    invalidateCursorRects();
    setNeedsDisplayForView();
}

View* Window::contentView() const { return impl_->contentView.get(); }

Rect Window::frame() const { return impl_->frame; }

void Window::setFrame(const Rect& frame, bool display) {
    impl_->frame = frame;
    impl_->widget->setGeometry(toQRectRounded(desktopFromGlobal(frame, mainScreenDesktopRect())));
    if (impl_->contentView) impl_->contentView->setFrame({0, 0, frame.width, frame.height});
    invalidateCursorRects();
    if (display && impl_->widget->isVisible()) {
        impl_->widget->repaint();
    } else {
        impl_->widget->update();
    }
}

void Window::setFrameOrigin(Point origin) {
    Rect f = impl_->frame;
    f.x = origin.x;
    f.y = origin.y;
    impl_->frame = f;
    impl_->widget->move(toQRectRounded(desktopFromGlobal(f, mainScreenDesktopRect())).topLeft());
}

Rect Window::convertRectToScreen(const Rect& r) const {
    return {r.x + impl_->frame.x, r.y + impl_->frame.y, r.width, r.height};
}

Point Window::convertPointFromScreen(Point global) const {
    return {global.x - impl_->frame.x, global.y - impl_->frame.y};
}

std::optional<Screen> Window::screen() const {
    const auto all = Screen::screens();
    const Point centre{impl_->frame.midX(), impl_->frame.midY()};
    for (const auto& s : all) {
        if (s.frame().contains(centre)) return s;
    }
    // Off-centre: the display holding most of the window.
    double best = 0;
    std::optional<Screen> answer;
    const Rect f = impl_->frame;
    for (const auto& s : all) {
        const Rect r = s.frame();
        const double w = std::min(f.maxX(), r.maxX()) - std::max(f.minX(), r.minX());
        const double h = std::min(f.maxY(), r.maxY()) - std::max(f.minY(), r.minY());
        if (w > 0 && h > 0 && w * h > best) {
            best = w * h;
            answer = s;
        }
    }
    return answer;
}

void Window::orderFront() { impl_->show(false); }
void Window::makeKeyAndOrderFront() { impl_->show(true); }

void Window::orderOut() {
    impl_->isKey = false;
    impl_->pressedView.reset();
    impl_->widget->hide();
}

void Window::close() {
    orderOut();
    impl_->closed = true;
}

bool Window::isVisible() const { return impl_->widget->isVisible(); }
bool Window::isKeyWindow() const { return impl_->isKey && isVisible(); }

std::int64_t Window::windowNumber() const {
    return static_cast<std::int64_t>(impl_->widget->internalWinId());
}

void Window::display() {
    if (impl_->widget->isVisible()) impl_->widget->repaint();
}

void Window::setNeedsDisplayForView() { impl_->widget->update(); }

void Window::invalidateCursorRects() {
    impl_->cursorRectsValid = false;
    if (impl_->cursorUpdatePending) return;
    // Rebuilt later, once the views are done changing, for where the pointer is then.
    impl_->cursorUpdatePending = true;
    QTimer::singleShot(0, impl_->widget.get(), [impl = impl_.get()] {
        impl->cursorUpdatePending = false;
        if (impl->widget->isVisible()) impl->updateCursor(impl->widget->mapFromGlobal(QCursor::pos()));
    });
}

}  // namespace kg
