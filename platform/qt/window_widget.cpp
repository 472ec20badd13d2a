// The toolkit widget behind each Window: turns Qt's paint, mouse, key and tool-tip events
// into the calls our views expect (y-up window points, the pressed view keeping the drag, the
// event's own global position as the mouse location while they handle it).

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

#include "platform/qt/painting.h"
#include "platform/qt/window_impl.h"

namespace kg {

namespace {

std::optional<QPointF> gDispatchedMouse;

// Publishes an event's global position for the time its handlers run. Handlers may run a
// nested event loop; the outer event's position comes back when the inner one ends.
class DispatchingMouseEvent {
public:
    explicit DispatchingMouseEvent(QPointF global) : previous_(gDispatchedMouse) { gDispatchedMouse = global; }
    ~DispatchingMouseEvent() { gDispatchedMouse = previous_; }
    DispatchingMouseEvent(const DispatchingMouseEvent&) = delete;
    DispatchingMouseEvent& operator=(const DispatchingMouseEvent&) = delete;

private:
    std::optional<QPointF> previous_;
};

}  // namespace

std::optional<QPointF> dispatchedMousePosition() { return gDispatchedMouse; }

WindowWidget::WindowWidget(Window::Impl& impl) : impl_(impl) {
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
}

void WindowWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    paintWindowContent(painter, impl_, rect());
    painter.end();
    impl_.updateShapes();
}

void WindowWidget::press(QPointF pos, QPointF global) {
    if (!impl_.contentView) return;
    const DispatchingMouseEvent dispatching(global);
    View* target = impl_.contentView->hitTest(impl_.toHitPoint(pos));
    if (!target) {
        impl_.pressedView.reset();
        return;
    }
    impl_.pressedView = target->weak_from_this();
    target->mouseDown(MouseEvent{impl_.toWindowPoint(pos), 1});
}

void WindowWidget::pointerMoved(QPointF pos, QPointF global, bool buttonDown) {
    if (!buttonDown) {
        impl_.updateCursor(pos);
        return;
    }
    const DispatchingMouseEvent dispatching(global);
    if (auto view = impl_.pressedView.lock()) view->mouseDragged(MouseEvent{impl_.toWindowPoint(pos), 1});
}

void WindowWidget::release(QPointF pos, QPointF global) {
    const DispatchingMouseEvent dispatching(global);
    auto view = impl_.pressedView.lock();
    impl_.pressedView.reset();
    if (view) view->mouseUp(MouseEvent{impl_.toWindowPoint(pos), 1});
}

void WindowWidget::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    press(event->position(), event->globalPosition());
}

void WindowWidget::mouseMoveEvent(QMouseEvent* event) {
    pointerMoved(event->position(), event->globalPosition(), (event->buttons() & Qt::LeftButton) != 0);
}

void WindowWidget::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    release(event->position(), event->globalPosition());
}

void WindowWidget::keyPressEvent(QKeyEvent* event) {
    View* view = impl_.contentView.get();
    if (view && view->acceptsFirstResponder()) view->keyDown(KeyEvent{keyCodeFromQt(event->key()), event->text().toStdString()});
}

bool WindowWidget::event(QEvent* event) {
    if (event->type() == QEvent::Enter || event->type() == QEvent::MouseMove)
        impl_.pointerEntered(event->type() == QEvent::MouseMove);
    if (event->type() == QEvent::ToolTip && impl_.contentView) {
        auto* help = static_cast<QHelpEvent*>(event);
        View* view = impl_.contentView->hitTest(impl_.toHitPoint(help->pos()));
        if (view && !view->toolTip().empty()) {
            QToolTip::showText(help->globalPos(), QString::fromStdString(view->toolTip()), this);
        } else {
            QToolTip::hideText();
            event->ignore();
        }
        return true;
    }
    return QWidget::event(event);
}

int keyCodeFromQt(int qtKey) {
    switch (qtKey) {
        case Qt::Key_Escape: return key_code::kEscape;
        case Qt::Key_Return:
        case Qt::Key_Enter: return key_code::kReturn;
        case Qt::Key_Tab: return key_code::kTab;
        case Qt::Key_Space: return key_code::kSpace;
        case Qt::Key_Backspace: return key_code::kDelete;
        case Qt::Key_Left: return key_code::kLeftArrow;
        case Qt::Key_Right: return key_code::kRightArrow;
        case Qt::Key_Down: return key_code::kDownArrow;
        case Qt::Key_Up: return key_code::kUpArrow;
        default: return key_code::kUnknown;
    }
}

}  // namespace kg
