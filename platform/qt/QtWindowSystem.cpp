#include "platform/qt/QtWindowSystem.h"

#include <QCloseEvent>
#include <QEasingCurve>
#include <QGuiApplication>
#include <QPointer>
#include <QPropertyAnimation>
#include <QScreen>
#include <QWindow>

#ifdef CORVIX_QT_XCB
#include <QtGui/qguiapplication_platform.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>
#endif

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

#ifdef CORVIX_QT_XCB
xcb_atom_t internAtom(xcb_connection_t* connection, const char* name) {
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, std::uint16_t(std::strlen(name)), name),
        nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return atom;
}

/// Sends an EWMH request about `window` to the root window (how a mapped window asks the
/// window manager for a state or a desktop).
void sendRootMessage(xcb_connection_t* connection, xcb_window_t window, xcb_atom_t type,
                     std::uint32_t d0, std::uint32_t d1, std::uint32_t d2) {
    const xcb_setup_t* setup = xcb_get_setup(connection);
    xcb_screen_t* screen = xcb_setup_roots_iterator(setup).data;
    if (!screen || type == XCB_ATOM_NONE) {
        return;
    }
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = type;
    event.data.data32[0] = d0;
    event.data.data32[1] = d1;
    event.data.data32[2] = d2;
    event.data.data32[3] = 1;  // a normal application
    xcb_send_event(connection, 0, screen->root,
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&event));
}

/// Keeps a shown floating panel out of the task bar and the pager and on every desktop.
void markFloatingPanel(QWidget* host, bool allDesktops) {
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !host->windowHandle() || QGuiApplication::platformName() != QLatin1String("xcb")) {
        return;
    }
    xcb_connection_t* connection = x11->connection();
    if (!connection) {
        return;
    }
    const auto window = xcb_window_t(host->winId());
    const xcb_atom_t state = internAtom(connection, "_NET_WM_STATE");
    const xcb_atom_t skipTaskbar = internAtom(connection, "_NET_WM_STATE_SKIP_TASKBAR");
    const xcb_atom_t skipPager = internAtom(connection, "_NET_WM_STATE_SKIP_PAGER");
    const xcb_atom_t desktop = internAtom(connection, "_NET_WM_DESKTOP");
    constexpr std::uint32_t kAllDesktops = 0xFFFFFFFFu;
    // The properties, for a window manager that starts later and reads them; the messages, for
    // one that runs now and owns them.
    std::vector<xcb_atom_t> states;
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        connection, xcb_get_property(connection, 0, window, state, XCB_ATOM_ATOM, 0, 64), nullptr);
    if (reply) {
        const auto* atoms = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply));
        states.assign(atoms, atoms + xcb_get_property_value_length(reply) / 4);
        std::free(reply);
    }
    for (xcb_atom_t atom : {skipTaskbar, skipPager}) {
        if (std::find(states.begin(), states.end(), atom) == states.end()) {
            states.push_back(atom);
        }
    }
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, state, XCB_ATOM_ATOM, 32,
                        std::uint32_t(states.size()), states.data());
    constexpr std::uint32_t kAdd = 1;
    sendRootMessage(connection, window, state, kAdd, skipTaskbar, skipPager);
    if (allDesktops) {
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, desktop, XCB_ATOM_CARDINAL,
                            32, 1, &kAllDesktops);
        sendRootMessage(connection, window, desktop, kAllDesktops, 0, 0);
    }
    xcb_flush(connection);
}
#endif

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
#ifdef CORVIX_QT_XCB
        if (window_.style() & WindowStyleNonactivatingPanel) {
            markFloatingPanel(host_, window_.canJoinAllSpaces());
        }
#endif
    }
    void orderOut() override {
        host_->hide();
    }
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
    void setNeedsDisplay() override {
        host_->update();
    }
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
