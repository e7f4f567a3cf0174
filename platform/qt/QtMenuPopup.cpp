#include "platform/qt/QtMenuPopup.h"

#include <QAbstractNativeEventFilter>
#include <QActionEvent>
#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScreen>
#include <QTimer>
#include <QWidgetAction>
#include <cstdint>

#include "platform/qt/QtGraphicsContext.h"
#include "platform/qt/QtWindowSystem.h"
#include "platform/qt/ViewHostWidget.h"

namespace corvix {

namespace {

constexpr int kReopenDelayMs = 60;

// The model window behind a popup: drawing requests repaint the popup's rows.
class PopupPeer final : public WindowPeer {
  public:
    explicit PopupPeer(QMenu& menu) : menu_(menu) {}
    void orderFront() override {}
    void orderOut() override {}
    void frameChanged(const Rect&, const std::optional<WindowAnimation>&) override {}
    void propertiesChanged() override {}
    void setNeedsDisplay() override {
        for (auto* w : menu_.findChildren<ViewHostWidget*>()) {
            w->update();
        }
    }
    void makeKey() override {}

  private:
    QMenu& menu_;
};

// While a menu is open its popup holds the pointer and keyboard grabs, so an X11 focus-out
// says nothing about the user leaving the program. Without a window manager the server sends
// one when a popup's rows are replaced, Qt then takes the program as deactivated and closes
// every popup, the open menu included. Those focus-outs are dropped while a popup is open;
// a click outside still reaches the menu, whose model decides whether it closes.
class FocusOutFilter final : public QAbstractNativeEventFilter {
  public:
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override {
        constexpr std::uint8_t kXcbFocusOut = 10;
        if (!QApplication::activePopupWidget() || eventType != "xcb_generic_event_t" || !message) {
            return false;
        }
        const auto responseType = *static_cast<const std::uint8_t*>(message) & 0x7f;
        return responseType == kXcbFocusOut;
    }
};

void installFocusOutFilter() {
    static FocusOutFilter filter;
    static bool installed = false;
    if (!installed && QCoreApplication::instance()) {
        QCoreApplication::instance()->installNativeEventFilter(&filter);
        installed = true;
    }
}

}  // namespace

QtMenuPopup::QtMenuPopup(std::shared_ptr<Menu> menu, QWidget* parent)
    : QMenu(parent),
      menu_(std::move(menu)),
      window_(std::make_shared<Window>(Rect(0, 0, 1, 1), WindowStyleBorderless)) {
    installFocusOutFilter();
    window_->setLevel(WindowLevel::PopUpMenu);
    window_->setPeer(std::make_unique<PopupPeer>(*this));
    connect(this, &QMenu::hovered, this, [this](QAction*) { hideViewSubmenus(nullptr); });
    build();
}

QtMenuPopup::~QtMenuPopup() {
    if (menu_ && menu_->session() == this) {
        menu_->didClose();
    }
    // The row hosts draw through `window_` and may still get a leave event while QMenu tears
    // them down; remove them while this object (and so the window) is whole.
    rows_.clear();
    clear();
}

void QtMenuPopup::build() {
    // Submenus of the old rows go once the current event is over. Showing a new popup while
    // an open old one is torn down makes X11 report the program as deactivated, and Qt then
    // closes every popup, the menu included; so a submenu is reopened only afterwards.
    for (auto* sub : submenus_) {
        sub->deleteLater();
    }
    submenus_.clear();
    rows_.clear();
    clear();
    for (const auto& item : menu_->itemArray()) {
        if (item->isHidden()) {
            continue;
        }
        if (item->isSeparatorItem()) {
            addSeparator();
            continue;
        }
        QAction* action = nullptr;
        ViewHostWidget* host = nullptr;
        QtMenuPopup* viewSubmenu = nullptr;
        if (item->view()) {
            auto* widgetAction = new QWidgetAction(this);
            host = new ViewHostWidget(item->view(), window_.get());
            widgetAction->setDefaultWidget(host);
            action = widgetAction;
            addAction(action);
            host->installEventFilter(this);
            // Keys go to the popup; a row host holding the focus would hand it to nothing when
            // a rebuild removes it, and the program would count as deactivated.
            host->setFocusPolicy(Qt::NoFocus);
            if (item->submenu()) {
                auto* sub = new QtMenuPopup(item->submenu(), this);
                submenus_.push_back(sub);
                viewSubmenu = sub;
            }
        } else if (item->submenu()) {
            auto* sub = new QtMenuPopup(item->submenu(), this);
            sub->setTitle(QString::fromStdString(item->title()));
            submenus_.push_back(sub);
            action = addMenu(sub);
        } else {
            action = addAction(QString::fromStdString(item->title()));
            std::weak_ptr<MenuItem> weak = item;
            connect(action, &QAction::triggered, this, [weak] {
                if (auto i = weak.lock()) {
                    i->performAction();
                }
            });
            if (item->image()) {
                QImage img = renderImage(*item->image(), {32, 32}, std::nullopt);
                action->setIcon(QIcon(QPixmap::fromImage(img)));
            }
            action->setCheckable(item->state() == ControlState::On);
            action->setChecked(item->state() == ControlState::On);
        }
        action->setEnabled(item->isEnabled());
        action->setToolTip(QString::fromStdString(item->toolTip()));
        rows_.push_back({item.get(), action, host, viewSubmenu});
    }
    setToolTipsVisible(true);
}

bool QtMenuPopup::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Enter || event->type() == QEvent::MouseButtonPress) {
        for (const auto& row : rows_) {
            if (row.host != watched) {
                continue;
            }
            hideViewSubmenus(row.viewSubmenu);
            if (row.viewSubmenu && row.action->isEnabled()) {
                showViewSubmenu(row);
            }
            break;
        }
    }
    return QMenu::eventFilter(watched, event);
}

void QtMenuPopup::showViewSubmenu(const Row& row) {
    if (row.viewSubmenu->isVisible()) {
        return;
    }
    // Beside the menu, level with the row: on the right when it fits, else on the left.
    const QSize size = row.viewSubmenu->sizeHint();
    const QRect available = screen() ? screen()->availableGeometry() : QRect();
    const QRect menuFrame = geometry();
    QPoint position(menuFrame.right() + 1, row.host->mapToGlobal(QPoint(0, 0)).y() - 4);
    if (available.isValid() && position.x() + size.width() > available.right()) {
        position.setX(menuFrame.left() - size.width());
    }
    row.viewSubmenu->popup(position);
}

void QtMenuPopup::pointerMovedTo(const QPoint& global) {
    for (const auto& row : rows_) {
        if (!row.host || !row.host->isVisible()) {
            continue;
        }
        const QRect rowFrame(row.host->mapToGlobal(QPoint(0, 0)), row.host->size());
        if (rowFrame.contains(global)) {
            hideViewSubmenus(row.viewSubmenu);
            if (row.viewSubmenu && row.action->isEnabled()) {
                showViewSubmenu(row);
            }
            return;
        }
    }
}

void QtMenuPopup::mouseMoveEvent(QMouseEvent* event) {
    // While a submenu is open it receives every pointer move; those over the menu that opened
    // it decide which row's submenu is shown, as a platform menu does.
    if (!rect().contains(event->position().toPoint())) {
        if (auto* parentMenu = dynamic_cast<QtMenuPopup*>(parentWidget());
            parentMenu && parentMenu->isVisible()) {
            const QPoint global = event->globalPosition().toPoint();
            if (parentMenu->geometry().contains(global)) {
                parentMenu->pointerMovedTo(global);
                return;
            }
        }
    }
    QMenu::mouseMoveEvent(event);
}

void QtMenuPopup::hideViewSubmenus(const QtMenuPopup* except) {
    for (const auto& row : rows_) {
        if (row.viewSubmenu && row.viewSubmenu != except && row.viewSubmenu->isVisible()) {
            row.viewSubmenu->hide();
        }
    }
}

void QtMenuPopup::popupAt(const QPoint& globalPos) {
    popup(globalPos);
}

void QtMenuPopup::close(bool) {
    // Closing a submenu closes the whole chain, as ending menu tracking does.
    QMenu* top = this;
    while (auto* parentMenu = qobject_cast<QMenu*>(top->parentWidget())) {
        top = parentMenu;
    }
    top->hide();
    hide();
}

void QtMenuPopup::itemChanged(MenuItem& item) {
    for (auto& row : rows_) {
        if (row.item != &item) {
            continue;
        }
        row.action->setEnabled(item.isEnabled());
        if (!row.host || item.view() != row.host->root()) {
            itemsChanged();  // the kind of row changed
            return;
        }
        row.host->syncSize();
        row.action->setText(QString::fromStdString(item.title()));
        // Makes the popup re-measure its rows.
        QActionEvent changed(QEvent::ActionChanged, row.action);
        QCoreApplication::sendEvent(this, &changed);
        return;
    }
}

void QtMenuPopup::itemsChanged() {
    // A rebuild of the model arrives as many changes (remove all, then add each item); the
    // rows are rebuilt once, after the model is done, and never inside a row's own event.
    if (rebuildPending_) {
        return;
    }
    rebuildPending_ = true;
    QTimer::singleShot(0, this, [this] {
        rebuildPending_ = false;
        std::optional<std::size_t> openRow;
        for (std::size_t i = 0; i < rows_.size(); ++i) {
            if (rows_[i].viewSubmenu && rows_[i].viewSubmenu->isVisible()) {
                openRow = i;
            }
        }
        build();
        if (!isVisible()) {
            return;
        }
        adjustSize();
        if (openRow) {
            // The submenu that was open opens again on its new row, once the old popup is
            // gone (see build).
            QTimer::singleShot(kReopenDelayMs, this, [this, openRow] {
                if (isVisible() && *openRow < rows_.size() && rows_[*openRow].viewSubmenu) {
                    showViewSubmenu(rows_[*openRow]);
                }
            });
        }
    });
}

bool QtMenuPopup::insideAnyPopup(const QPoint& global) const {
    if (isVisible() && geometry().contains(global)) {
        return true;
    }
    for (auto* sub : submenus_) {
        if (sub->insideAnyPopup(global)) {
            return true;
        }
    }
    return false;
}

void QtMenuPopup::mousePressEvent(QMouseEvent* event) {
    if (!rect().contains(event->position().toPoint())) {
        QPoint global = event->globalPosition().toPoint();
        QMenu* top = this;
        while (auto* parentMenu = dynamic_cast<QtMenuPopup*>(top->parentWidget())) {
            top = parentMenu;
        }
        auto* root = static_cast<QtMenuPopup*>(top);
        if (root->insideAnyPopup(global)) {
            QMenu::mousePressEvent(event);
            return;
        }
        // A click outside: the model decides whether tracking ends.
        root->menu_->cancelTracking();
        event->accept();
        return;
    }
    QMenu::mousePressEvent(event);
}

void QtMenuPopup::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        menu_->cancelTracking();
        event->accept();
        return;
    }
    QMenu::keyPressEvent(event);
}

void QtMenuPopup::showEvent(QShowEvent* event) {
    QMenu::showEvent(event);
    syncWindowFrame();
    window_->orderFront();
    menu_->willOpen(this);
}

void QtMenuPopup::hideEvent(QHideEvent* event) {
    QMenu::hideEvent(event);
    window_->orderOut();
    if (menu_->session() == this) {
        menu_->didClose();
    }
}

void QtMenuPopup::moveEvent(QMoveEvent* event) {
    QMenu::moveEvent(event);
    syncWindowFrame();
}

void QtMenuPopup::resizeEvent(QResizeEvent* event) {
    QMenu::resizeEvent(event);
    syncWindowFrame();
}

void QtMenuPopup::syncWindowFrame() {
    window_->setFrame(fromQtScreenRect(geometry()));
    // The window's content view is not shown here; the rows are hosted one by one.
    window_->contentView()->setHidden(true);
}

}  // namespace corvix
