#include "platform/qt/QtWindowSystem.h"

#include <QCloseEvent>
#include <QEasingCurve>
#include <QGuiApplication>
#include <QPointer>
#include <QPropertyAnimation>
#include <QScreen>

#include "platform/qt/QtGraphicsContext.h"
#include "platform/qt/ViewHostWidget.h"

namespace corvix {

namespace {

int primaryHeight() {
    QScreen* s = QGuiApplication::primaryScreen();
    return s ? s->geometry().height() : 0;
}

// The top-level host: reports activation and closing to the model window.
class WindowHost final : public ViewHostWidget {
  public:
    WindowHost(Window& window) : ViewHostWidget(window.contentView(), &window), window_(window) {}

  protected:
    void changeEvent(QEvent* event) override {
        if (event->type() == QEvent::ActivationChange) {
            window_.setKeyState(isActiveWindow());
        }
        ViewHostWidget::changeEvent(event);
    }
    void closeEvent(QCloseEvent* event) override {
        event->ignore();
        window_.performClose();
    }
    void paintEvent(QPaintEvent* event) override {
        if (auto bg = window_.backgroundColor(); bg && window_.isOpaque()) {
            QPainter p(this);
            p.fillRect(rect(), toQColor(*bg));
        }
        ViewHostWidget::paintEvent(event);
    }

  private:
    Window& window_;
};

class QtWindowPeer final : public WindowPeer {
  public:
    explicit QtWindowPeer(Window& window) : window_(window) { rebuild(); }
    ~QtWindowPeer() override { delete host_; }

    void orderFront() override {
        apply();
        // Opened again while minimised: back on screen, in front.
        if (host_->isMinimized()) {
            host_->setWindowState(host_->windowState() & ~Qt::WindowMinimized);
        }
        host_->show();
        host_->raise();
    }
    void orderOut() override { host_->hide(); }
    void frameChanged(const Rect& frame, const std::optional<WindowAnimation>& anim) override {
        QRect target = toQtScreenRect(frame);
        if (anim && anim->duration > 0 && host_->isVisible()) {
            auto* a = new QPropertyAnimation(host_, "geometry", host_);
            a->setDuration(int(anim->duration * 1000));
            QEasingCurve curve(QEasingCurve::BezierSpline);
            curve.addCubicBezierSegment({anim->timing.c1x, anim->timing.c1y},
                                        {anim->timing.c2x, anim->timing.c2y}, {1, 1});
            a->setEasingCurve(curve);
            a->setEndValue(target);
            a->start(QAbstractAnimation::DeleteWhenStopped);
        } else {
            setGeometry(target);
        }
    }
    void propertiesChanged() override {
        bool visible = host_->isVisible();
        if (host_->root() != window_.contentView()) {
            rebuild();
        }
        apply();
        if (visible) {
            host_->show();
        }
    }
    void setNeedsDisplay() override { host_->update(); }
    void makeKey() override {
        host_->activateWindow();
        host_->raise();
    }

  private:
    void rebuild() {
        delete host_;
        host_ = new WindowHost(window_);
    }
    void apply() {
        Qt::WindowFlags flags;
        unsigned style = window_.style();
        if (style & WindowStyleTitled) {
            // Only the buttons asked for: without the customise hint Qt adds maximise.
            flags = Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                    Qt::WindowCloseButtonHint;
            if (style & WindowStyleResizable) {
                flags |= Qt::WindowMaximizeButtonHint;
            }
            if (style & WindowStyleMiniaturizable) {
                flags |= Qt::WindowMinimizeButtonHint;
            }
        } else {
            flags = Qt::Tool | Qt::FramelessWindowHint;
            if (style & WindowStyleNonactivatingPanel) {
                flags |= Qt::WindowDoesNotAcceptFocus;
            }
        }
        if (window_.level() != WindowLevel::Normal || window_.canJoinAllSpaces()) {
            flags |= Qt::WindowStaysOnTopHint;
        }
        if (!window_.hasShadow()) {
            flags |= Qt::NoDropShadowWindowHint;
        }
        if (window_.ignoresMouseEvents()) {
            flags |= Qt::WindowTransparentForInput;
        }
        if (flags != host_->windowFlags()) {
            host_->setWindowFlags(flags);  // re-creates the native window: only on a change
        }
        host_->setAttribute(Qt::WA_TranslucentBackground, !window_.isOpaque());
        // Showing a floating panel must not take the focus from the window the user types in.
        host_->setAttribute(Qt::WA_ShowWithoutActivating,
                            (style & WindowStyleNonactivatingPanel) != 0);
        host_->setWindowTitle(QString::fromStdString(window_.title()));
        setGeometry(toQtScreenRect(window_.frame()));
    }

    /// Titled windows that cannot be resized tell the window manager so with a fixed size.
    void setGeometry(const QRect& target) {
        const unsigned style = window_.style();
        if ((style & WindowStyleTitled) && !(style & WindowStyleResizable)) {
            host_->setFixedSize(target.size());
        } else {
            host_->setMinimumSize(0, 0);
            host_->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        }
        host_->setGeometry(target);
    }

    Window& window_;
    WindowHost* host_ = nullptr;
};

}  // namespace

QRect toQtScreenRect(const Rect& r) {
    return QRect(int(std::lround(r.minX())), int(std::lround(primaryHeight() - r.maxY())),
                 int(std::lround(r.width())), int(std::lround(r.height())));
}

Rect fromQtScreenRect(const QRect& r) {
    return Rect(r.x(), primaryHeight() - (r.y() + r.height()), r.width(), r.height());
}

Point fromQtScreenPoint(const QPoint& p) {
    return {double(p.x()), double(primaryHeight() - p.y())};
}

bool QtWindowSystem::canPlaceFloatingWindows() const {
    return QGuiApplication::platformName() != QLatin1String("wayland");
}

std::unique_ptr<WindowPeer> QtWindowSystem::makePeer(Window& window) {
    return std::make_unique<QtWindowPeer>(window);
}

}  // namespace corvix
