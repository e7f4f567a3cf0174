#include "platform/qt/ViewHostWidget.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>
#include <QToolTip>
#include <QWheelEvent>

#include "platform/qt/QtGraphicsContext.h"
#include "platform/ui/MenuItem.h"
#include "platform/ui/Transaction.h"
#include "platform/ui/ViewRenderer.h"
#include "platform/ui/Window.h"

namespace corvix {

namespace {

KeyCode keyCode(int key) {
    switch (key) {
        case Qt::Key_Left:
            return KeyCode::LeftArrow;
        case Qt::Key_Right:
            return KeyCode::RightArrow;
        case Qt::Key_Up:
            return KeyCode::UpArrow;
        case Qt::Key_Down:
            return KeyCode::DownArrow;
        case Qt::Key_Home:
            return KeyCode::Home;
        case Qt::Key_End:
            return KeyCode::End;
        case Qt::Key_Return:
            return KeyCode::Return;
        case Qt::Key_Enter:
            return KeyCode::Enter;
        case Qt::Key_Escape:
            return KeyCode::Escape;
        case Qt::Key_Space:
            return KeyCode::Space;
        case Qt::Key_Tab:
        case Qt::Key_Backtab:  // Shift+Tab: the modifiers say which way
            return KeyCode::Tab;
        default:
            return KeyCode::Other;
    }
}

unsigned modifiers(Qt::KeyboardModifiers m) {
    unsigned out = ModifierNone;
    if (m & Qt::ShiftModifier) {
        out |= ModifierShift;
    }
    if (m & Qt::ControlModifier) {
        out |= ModifierControl;
    }
    if (m & Qt::AltModifier) {
        out |= ModifierOption;
    }
    if (m & Qt::MetaModifier) {
        out |= ModifierCommand;
    }
    return out;
}

}  // namespace

ViewHostWidget::ViewHostWidget(std::shared_ptr<View> root, Window* window, QWidget* parent)
    : QWidget(parent), root_(std::move(root)), window_(window) {
    if (window_ && window_->contentView() == root_) {
        router_ = &window_->router();
    } else {
        ownRouter_ = std::make_unique<EventRouter>(window_);
        ownRouter_->setRoot(root_);
        router_ = ownRouter_.get();
        if (root_ && window_) {
            root_->setHostWindow(window_);
        }
    }
    setMouseTracking(true);
    setAttribute(Qt::WA_Hover);
    setFocusPolicy(Qt::ClickFocus);
    syncSize();
}

ViewHostWidget::~ViewHostWidget() {
    if (ownRouter_ && root_ && window_ && root_->window() == window_) {
        root_->setHostWindow(nullptr);
    }
}

void ViewHostWidget::syncSize() {
    if (!root_) {
        return;
    }
    QSize s(int(std::ceil(root_->frame().width())), int(std::ceil(root_->frame().height())));
    if (s != size()) {
        resize(s);
    }
    updateGeometry();
}

QSize ViewHostWidget::sizeHint() const {
    if (!root_) {
        return {};
    }
    return {int(std::ceil(root_->frame().width())), int(std::ceil(root_->frame().height()))};
}

void ViewHostWidget::paintEvent(QPaintEvent*) {
    if (!root_) {
        return;
    }
    QPainter painter(this);
    painter.translate(0, height());
    painter.scale(1, -1);
    QtGraphicsContext ctx(painter);
    if (menuHighlight_) {
        drawMenuItemHighlight(ctx, Rect(0, 0, width(), height()));
    }
    Duration now = Transaction::now();
    renderViewTree(*root_, ctx, now);
    if (viewTreeIsAnimating(*root_, now)) {
        QTimer::singleShot(16, this, [this] { update(); });
    }
}

void ViewHostWidget::sendMouse(EventType type, QMouseEvent* event) {
    Event e;
    e.type = type;
    e.locationInWindow = toModel(event->position());
    e.modifiers = modifiers(event->modifiers());
    e.timestamp = Transaction::now();
    router_->dispatch(e);
    update();
}

void ViewHostWidget::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        sendMouse(EventType::RightMouseDown, event);
    } else if (event->button() == Qt::LeftButton) {
        sendMouse(EventType::MouseDown, event);
    }
    event->accept();
}

void ViewHostWidget::mouseMoveEvent(QMouseEvent* event) {
    sendMouse((event->buttons() & Qt::LeftButton) ? EventType::MouseDragged : EventType::MouseMoved,
              event);
    event->accept();
}

void ViewHostWidget::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        sendMouse(EventType::MouseUp, event);
    }
    event->accept();
}

void ViewHostWidget::leaveEvent(QEvent*) {
    router_->pointerLeft(Transaction::now());
    update();
}

void ViewHostWidget::wheelEvent(QWheelEvent* event) {
    // A wheel no view took goes on to the parent.
    event->setAccepted(sendWheel(event));
}

bool ViewHostWidget::sendWheel(QWheelEvent* event) {
    Event e;
    e.type = EventType::ScrollWheel;
    e.locationInWindow = toModel(event->position());
    QPoint pixels = event->pixelDelta();
    QPointF delta = pixels.isNull() ? QPointF(event->angleDelta()) / 4.0 : QPointF(pixels);
    e.scrollDeltaX = delta.x();
    e.scrollDeltaY = delta.y();
    const bool taken = router_->dispatch(e);
    update();
    return taken;
}

void ViewHostWidget::setMenuHighlight(bool highlighted) {
    if (highlighted != menuHighlight_) {
        menuHighlight_ = highlighted;
        update();
    }
}

bool ViewHostWidget::sendKey(QKeyEvent* event) {
    Event e;
    e.type = EventType::KeyDown;
    e.keyCode = keyCode(event->key());
    e.characters = event->text().toStdString();
    e.modifiers = modifiers(event->modifiers());
    const bool taken = router_->dispatch(e);
    update();
    return taken;
}

void ViewHostWidget::keyPressEvent(QKeyEvent* event) {
    if (!sendKey(event)) {
        QWidget::keyPressEvent(event);
    }
}

void ViewHostWidget::keyReleaseEvent(QKeyEvent* event) {
    Event e;
    e.type = EventType::KeyUp;
    e.keyCode = keyCode(event->key());
    e.characters = event->text().toStdString();
    router_->dispatch(e);
}

void ViewHostWidget::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (root_ && (window_ == nullptr || window_->contentView() != root_)) {
        Rect f = root_->frame();
        if (f.width() != width() || f.height() != height()) {
            root_->setFrame({f.minX(), f.minY(), double(width()), double(height())});
        }
    }
}

bool ViewHostWidget::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip && root_) {
        auto* help = static_cast<QHelpEvent*>(event);
        for (View* v = root_->hitTest(toModel(help->pos())); v; v = v->superview()) {
            if (!v->toolTip().empty()) {
                QToolTip::showText(help->globalPos(), QString::fromStdString(v->toolTip()), this);
                return true;
            }
        }
        QToolTip::hideText();
        event->ignore();
        return true;
    }
    return QWidget::event(event);
}

}  // namespace corvix
