#pragma once
// The Qt side of a Window: one top-level QWidget that draws the whole view tree and routes
// events to views. Main thread only.

#include <QPainter>
#include <QPixmap>
#include <QWidget>
#include <memory>
#include <optional>
#include <vector>

#include "platform/mask_runs.h"
#include "platform/window.h"

namespace kg {

class WindowWidget;

struct Window::Impl {
    Window* owner = nullptr;
    std::unique_ptr<WindowWidget> widget;
    std::shared_ptr<View> contentView;
    Rect frame;  // global, y up; kept exact (the widget geometry is rounded)
    unsigned styleMask = 0;
    int level = 0;
    unsigned collectionBehavior = 0;
    bool opaque = true;
    Color background = Color::white(0.93, 1.0);
    bool ignoresMouse = false;
    bool floatingPanel = false;
    TransparencyMode transparency = TransparencyMode::Plain;
    bool shownOnce = false;
    bool closed = false;
    bool isKey = false;

    // SnapshotBackdrop without a compositing manager: the screen below, taken before showing.
    std::optional<QPixmap> backdrop;
    // ShapedToDrawing: the last shapes sent, to skip identical updates.
    std::vector<PixelRect> lastBounding;
    std::vector<PixelRect> lastInput;
    bool shapesSent = false;

    std::vector<View::CursorRect> cursorRects;
    bool cursorRectsValid = false;
    bool cursorUpdatePending = false;
    std::weak_ptr<View> pressedView;  // the view that took the press, until release
    int keyboardGrabAttempts = 0;
    bool everKey = false;  // made key at least once (makeKeyAndOrderFront)
    bool keyConfirmedByMotion = false;

    // `firstShownAsKey`: the first show makes the window key (makeKeyAndOrderFront).
    void applyWindowFlags(bool firstShownAsKey);
    void takeBackdropIfNeeded();
    void show(bool makeKey);
    void updateShapes();
    void updateCursor(QPointF widgetPos);
    void grabKeyboardWhenViewable();
    // The pointer entered the window (moved: or moved inside it).
    void pointerEntered(bool moved);
    [[nodiscard]] Point toWindowPoint(QPointF widgetPos) const;
    [[nodiscard]] Point toHitPoint(QPointF widgetPos) const;
};

class WindowWidget : public QWidget {
public:
    explicit WindowWidget(Window::Impl& impl);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool event(QEvent* event) override;

private:
    // `pos` in widget pixels, `global` in desktop pixels (both y down): where the event
    // happened, which View::mouseLocation() answers while the views handle it.
    void press(QPointF pos, QPointF global);
    void pointerMoved(QPointF pos, QPointF global, bool buttonDown);
    void release(QPointF pos, QPointF global);
    Window::Impl& impl_;
};

// The global position (desktop pixels, y down) of the mouse event being dispatched to the
// views, or nullopt outside mouse-event handling.
[[nodiscard]] std::optional<QPointF> dispatchedMousePosition();

// Every Window alive, for orderOutAllWindowsAndSync().
std::vector<Window*>& liveWindows();

// Renders the window's content (backdrop included) into an image at one pixel per point.
[[nodiscard]] QImage renderWindowImage(Window::Impl& impl);
// Paints what the window shows into `painter`: its backdrop or background, then the view
// tree. Shared by on-screen painting and rendering for tests, so both show the same picture.
void paintWindowContent(QPainter& painter, Window::Impl& impl, const QRect& area);

// The key code of a Qt key, in the numbering views test against (key_code in view.h).
[[nodiscard]] int keyCodeFromQt(int qtKey);

}  // namespace kg
