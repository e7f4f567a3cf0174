#include "platform/qt/QtMenuPopup.h"

#include <QAbstractNativeEventFilter>
#include <QActionEvent>
#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPointer>
#include <QProxyStyle>
#include <QScreen>
#include <QSignalBlocker>
#include <QTimer>
#include <QWheelEvent>
#include <QWidgetAction>
#include <cstdint>

#include "platform/qt/QtGraphicsContext.h"
#include "platform/qt/QtWindowSystem.h"
#include "platform/qt/ViewHostWidget.h"
#include "platform/ui/Transaction.h"

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

// The application's style, except that a menu taller than the screen scrolls in one column
// instead of being laid out in columns.
class MenuStyle final : public QProxyStyle {
  public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        switch (hint) {
            case SH_Menu_Scrollable:
                return 1;
            case SH_Menu_SelectionWrap:
                return 0;  // the arrows stop at the first and last rows
            default:
                return QProxyStyle::styleHint(hint, option, widget, returnData);
        }
    }
    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override {
        if (element == CE_MenuScroller) {
            // The arrows sit over the rows scrolled beneath them: give them the menu's ground.
            QProxyStyle::drawPrimitive(PE_PanelMenu, option, painter, widget);
        }
        QProxyStyle::drawControl(element, option, painter, widget);
    }
    int pixelMetric(PixelMetric metric, const QStyleOption* option,
                    const QWidget* widget) const override {
        if (metric == PM_MenuScrollerHeight) {
            return 16;  // an easy target for the pointer
        }
        return QProxyStyle::pixelMetric(metric, option, widget);
    }
};

QStyle* menuStyle() {
    static MenuStyle* style = new MenuStyle;  // shared by every popup, for the program's life
    return style;
}

// Runs what a click runs, on the first view (depth first) that takes an accessibility press.
bool pressFirstPressable(View& view) {
    if (view.isHidden()) {
        return false;
    }
    auto keep = view.shared_from_this();
    if (view.accessibilityPerformPress()) {
        return true;
    }
    const auto subviews = view.subviews();
    for (const auto& subview : subviews) {
        if (pressFirstPressable(*subview)) {
            return true;
        }
    }
    return false;
}

bool isActivationKey(int key) {
    return key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space;
}

}  // namespace

QtMenuPopup::QtMenuPopup(std::shared_ptr<Menu> menu, QWidget* parent)
    : QMenu(parent),
      menu_(std::move(menu)),
      window_(std::make_shared<Window>(Rect(0, 0, 1, 1), WindowStyleBorderless)) {
    installFocusOutFilter();
    setStyle(menuStyle());
    window_->setLevel(WindowLevel::PopUpMenu);
    window_->setPeer(std::make_unique<PopupPeer>(*this));
    connect(this, &QMenu::hovered, this, [this](QAction* action) {
        const Row* row = rowOf(action);
        hideViewSubmenus(row ? row->viewSubmenu : nullptr);
        releaseEnteredFocus(row ? row->host : nullptr);
        syncHighlight();
    });
    if (parentPopup()) {
        // QMenu asks before it measures the popup.
        connect(this, &QMenu::aboutToShow, this, &QtMenuPopup::ensureBuilt);
    } else {
        build();
    }
}

void QtMenuPopup::ensureBuilt() {
    if (!built_) {
        build();
    }
}

QtMenuPopup::~QtMenuPopup() {
    if (menu_ && menu_->session() == this) {
        menu_->didClose();
    }
    for (auto& row : rows_) {
        if (auto item = row.model.lock(); item && row.highlighted) {
            item->setHighlighted(false);
        }
    }
    // The row hosts draw through `window_` and may still get a leave event while QMenu tears
    // them down; remove them while this object (and so the window) is whole.
    rows_.clear();
    clear();
}

void QtMenuPopup::build() {
    built_ = true;
    // Submenus of the old rows go once the current event is over. Showing a new popup while
    // an open old one is torn down makes X11 report the program as deactivated, and Qt then
    // closes every popup, the menu included; so a submenu is reopened only afterwards.
    for (auto* sub : submenus_) {
        sub->deleteLater();
    }
    submenus_.clear();
    for (auto& row : rows_) {
        if (auto item = row.model.lock(); item && row.highlighted) {
            item->setHighlighted(false);
        }
    }
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
        const QString title = QString::fromStdString(item->title());
        QAction* action = nullptr;
        ViewHostWidget* host = nullptr;
        QtMenuPopup* viewSubmenu = nullptr;
        if (item->view()) {
            auto* widgetAction = new QWidgetAction(this);
            host = new ViewHostWidget(item->view(), window_.get());
            widgetAction->setDefaultWidget(host);
            widgetAction->setText(title);  // not drawn; read by accessibility
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
            sub->setTitle(title);
            submenus_.push_back(sub);
            action = addMenu(sub);
        } else {
            action = addAction(title);
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
        rows_.push_back({item.get(), item, title, action, host, viewSubmenu});
    }
    setToolTipsVisible(true);
}

QtMenuPopup* QtMenuPopup::parentPopup() const {
    return dynamic_cast<QtMenuPopup*>(parentWidget());
}

const QtMenuPopup::Row* QtMenuPopup::rowOf(const QAction* action) const {
    const int index = rowIndexOf(action);
    return index < 0 ? nullptr : &rows_[static_cast<std::size_t>(index)];
}

int QtMenuPopup::rowIndexOf(const QAction* action) const {
    if (!action) {
        return -1;
    }
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        if (rows_[i].action == action) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

std::shared_ptr<MenuItem> QtMenuPopup::itemOf(const QAction* action) const {
    const Row* row = rowOf(action);
    return row ? row->model.lock() : nullptr;
}

ViewHostWidget* QtMenuPopup::hostOf(const MenuItem& item) const {
    for (const auto& row : rows_) {
        if (row.item == &item) {
            return row.host;
        }
    }
    return nullptr;
}

QtMenuPopup* QtMenuPopup::submenuOf(const MenuItem& item) const {
    for (const auto& row : rows_) {
        if (row.item == &item) {
            return row.viewSubmenu ? row.viewSubmenu
                                   : dynamic_cast<QtMenuPopup*>(row.action->menu());
        }
    }
    return nullptr;
}

MenuItem* QtMenuPopup::highlightedItem() const {
    for (const auto& row : rows_) {
        if (row.highlighted) {
            return row.model.lock().get();
        }
    }
    return nullptr;
}

bool QtMenuPopup::eventFilter(QObject* watched, QEvent* event) {
    const auto type = event->type();
    if (type == QEvent::Wheel) {
        // A turn no view of the row takes scrolls the menu (Qt would not pass on a synthetic
        // one, so it is not left to propagation).
        auto* host = dynamic_cast<ViewHostWidget*>(watched);
        auto* turn = static_cast<QWheelEvent*>(event);
        if (host && !host->sendWheel(turn)) {
            QWheelEvent mapped(host->mapTo(this, turn->position()), turn->globalPosition(),
                               turn->pixelDelta(), turn->angleDelta(), turn->buttons(),
                               turn->modifiers(), turn->phase(), turn->inverted());
            wheelEvent(&mapped);
        }
        return true;
    }
    if (type == QEvent::Enter || type == QEvent::MouseButtonPress || type == QEvent::MouseMove) {
        for (const auto& row : rows_) {
            if (row.host != watched) {
                continue;
            }
            if (type == QEvent::MouseMove) {
                auto* move = static_cast<QMouseEvent*>(event);
                const QPoint global = move->globalPosition().toPoint();
                const bool held = hoverHeldAt_.has_value();
                if (held && *hoverHeldAt_ == global) {
                    break;  // the row moved under a resting pointer
                }
                hoverHeldAt_.reset();
                if (move->buttons() == Qt::NoButton) {
                    // The highlight follows the pointer over view rows as over QMenu's own.
                    QMouseEvent mapped(QEvent::MouseMove, row.host->mapTo(this, move->position()),
                                       move->globalPosition(), Qt::NoButton, Qt::NoButton,
                                       move->modifiers());
                    QMenu::mouseMoveEvent(&mapped);
                }
                if (!held) {
                    break;  // its entry already opened the row's submenu
                }
                // The first move after scrolling does what the held entry did not.
            } else if (type == QEvent::Enter && hoverHeldAt_) {
                break;
            }
            hideViewSubmenus(row.viewSubmenu);
            if (row.viewSubmenu && row.action->isEnabled()) {
                showViewSubmenu(row);
            }
            break;
        }
    }
    const bool taken = QMenu::eventFilter(watched, event);
    if (type != QEvent::Paint) {
        syncHighlight();
    }
    return taken;
}

void QtMenuPopup::showViewSubmenu(const Row& row) {
    if (row.viewSubmenu->isVisible()) {
        return;
    }
    row.viewSubmenu->ensureBuilt();
    // Beside the menu, level with the row: on the right when it fits, else on the left.
    const QSize size = row.viewSubmenu->sizeHint();
    const QRect available = screen() ? screen()->availableGeometry() : QRect();
    const QRect menuFrame = geometry();
    QPoint position(menuFrame.right() + 1, row.host->mapToGlobal(QPoint(0, 0)).y() - 4);
    if (available.isValid() && position.x() + size.width() > available.right()) {
        position.setX(menuFrame.left() - size.width());
    }
    row.viewSubmenu->popup(position);
    syncHighlight();
}

void QtMenuPopup::pointerMovedTo(const QPoint& global) {
    // The widget under the pointer, so that rows scrolled beneath the scroll arrows don't count.
    QWidget* under = childAt(mapFromGlobal(global));
    for (const auto& row : rows_) {
        if (!row.host || !row.host->isVisible() || !under) {
            continue;
        }
        if (under == row.host || row.host->isAncestorOf(under)) {
            // The highlight comes along, as when the move reaches the row itself: the row the
            // pointer left must not stay lit beside it.
            const QPoint local = mapFromGlobal(global);
            QMouseEvent move(QEvent::MouseMove, QPointF(local), QPointF(global), Qt::NoButton,
                             Qt::NoButton, Qt::NoModifier);
            QMenu::mouseMoveEvent(&move);
            hideViewSubmenus(row.viewSubmenu);
            if (row.viewSubmenu && row.action->isEnabled()) {
                showViewSubmenu(row);
            }
            syncHighlight();
            return;
        }
    }
    if (under && !dynamic_cast<ViewHostWidget*>(under)) {
        // Over a scroll arrow: this menu takes the pointer back and scrolls.
        hideViewSubmenus(nullptr);
    }
}

void QtMenuPopup::mouseMoveEvent(QMouseEvent* event) {
    // While a submenu is open it receives every pointer move; those over the menu that opened
    // it decide which row's submenu is shown, as a platform menu does.
    if (!rect().contains(event->position().toPoint())) {
        if (auto* parentMenu = parentPopup(); parentMenu && parentMenu->isVisible()) {
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

void QtMenuPopup::holdHoverUntilPointerMoves() {
    hoverHeldAt_ = QCursor::pos();
}

void QtMenuPopup::syncHighlight() {
    const bool visible = isVisible();
    const QAction* active = visible ? activeAction() : nullptr;
    for (auto& row : rows_) {
        const bool submenuOpen = row.viewSubmenu && row.viewSubmenu->isVisible();
        const bool on = visible && (row.action == active || submenuOpen);
        if (on == row.highlighted) {
            continue;
        }
        row.highlighted = on;
        if (row.host) {
            row.host->setMenuHighlight(on && !row.host->root()->drawsMenuItemHighlight());
            if (!on) {
                // The highlight moved away from under a resting pointer: so does its hover.
                row.host->router().pointerLeft(Transaction::now());
            }
        }
        if (auto item = row.model.lock()) {
            item->setHighlighted(on);
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
        row.title = QString::fromStdString(item.title());
        row.action->setText(row.title);
        // Makes the popup re-measure its rows.
        QActionEvent changed(QEvent::ActionChanged, row.action);
        QCoreApplication::sendEvent(this, &changed);
        syncHighlight();
        return;
    }
}

void QtMenuPopup::itemsChanged() {
    // A rebuild of the model arrives as many changes (remove all, then add each item); the
    // rows are rebuilt once, after the model is done, and never inside a row's own event. Rows
    // not made yet are made from the model as it is then.
    if (rebuildPending_ || !built_) {
        return;
    }
    rebuildPending_ = true;
    QTimer::singleShot(0, this, [this] {
        rebuildPending_ = false;
        std::optional<std::size_t> openRow;
        ViewAnchor openSubmenuAnchor;
        for (std::size_t i = 0; i < rows_.size(); ++i) {
            if (rows_[i].viewSubmenu && rows_[i].viewSubmenu->isVisible()) {
                openRow = i;
                openSubmenuAnchor = rows_[i].viewSubmenu->viewAnchor();
            }
        }
        const ViewAnchor anchor = isVisible() ? viewAnchor() : ViewAnchor{};
        build();
        if (!isVisible()) {
            return;
        }
        refit(anchor);
        syncHighlight();
        if (openRow) {
            // The submenu that was open opens again on its new row, once the old popup is
            // gone (see build), scrolled and highlighted as it was.
            QTimer::singleShot(kReopenDelayMs, this, [this, openRow, openSubmenuAnchor] {
                if (isVisible() && *openRow < rows_.size() && rows_[*openRow].viewSubmenu) {
                    showViewSubmenu(rows_[*openRow]);
                    rows_[*openRow].viewSubmenu->restoreAnchor(openSubmenuAnchor);
                }
            });
        }
    });
}

QtMenuPopup::ViewAnchor QtMenuPopup::viewAnchor() const {
    ViewAnchor anchor;
    anchor.highlighted = rowIndexOf(activeAction());
    anchor.scrollable = rowSpan() > height();
    if (enteredHost_ && enteredHost_->root()) {
        View* responder = window_->firstResponder();
        anchor.keyboardEntered = responder && responder->isDescendantOf(*enteredHost_->root());
    }
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        const QRect frame = actionGeometry(rows_[i].action);
        if (frame.isValid() && frame.top() >= 0 && frame.bottom() < height()) {
            anchor.bottom = static_cast<int>(i);
        }
    }
    return anchor;
}

int QtMenuPopup::rowSpan() const {
    // QMenu's size hint stops at the screen; the rows' own frames tell how tall they are.
    std::optional<QRect> span;
    for (QAction* action : actions()) {
        const QRect frame = actionGeometry(action);
        if (frame.isValid()) {
            span = span ? span->united(frame) : frame;
        }
    }
    const int margin = style()->pixelMetric(QStyle::PM_MenuVMargin, nullptr, this) +
                       style()->pixelMetric(QStyle::PM_MenuPanelWidth, nullptr, this);
    return span ? span->height() + 2 * margin : 0;
}

void QtMenuPopup::refit(const ViewAnchor& anchor) {
    const QRect available = screen() ? screen()->availableGeometry() : QRect();
    const int wanted = rowSpan();
    if (anchor.scrollable || (available.isValid() && y() + wanted > available.bottom() + 1)) {
        // Only QMenu's own placement sets up scrolling for rows taller than the screen; asked
        // again where the menu is, it keeps its place and starts from the top.
        popup(geometry().topLeft());
    } else {
        adjustSize();
    }
    restoreAnchor(anchor);
}

void QtMenuPopup::restoreAnchor(const ViewAnchor& anchor) {
    const int count = static_cast<int>(rows_.size());
    auto enabled = [this](int i) { return rows_[static_cast<std::size_t>(i)].action->isEnabled(); };
    // The highlighted row, or the nearest usable one (a row may now be disabled: a pending run).
    int highlight = -1;
    if (anchor.highlighted >= 0 && count > 0) {
        const int from = std::min(anchor.highlighted, count - 1);
        for (int i = from; i < count && highlight < 0; ++i) {
            highlight = enabled(i) ? i : -1;
        }
        for (int i = from - 1; i >= 0 && highlight < 0; --i) {
            highlight = enabled(i) ? i : -1;
        }
    }
    // Without one, the row that was last in view comes back into view.
    int target = highlight;
    if (target < 0 && anchor.bottom >= 0 && rowSpan() > height()) {
        for (int i = std::min(anchor.bottom, count - 1); i >= 0 && target < 0; --i) {
            target = enabled(i) ? i : -1;
        }
    }
    if (target >= 0) {
        walkTo(target);
    }
    if (highlight < 0 && activeAction()) {
        setActiveAction(nullptr);
    }
    if (highlight >= 0 && anchor.keyboardEntered) {
        enterRow(rows_[static_cast<std::size_t>(highlight)], true);
    }
    syncHighlight();
}

void QtMenuPopup::walkTo(int index) {
    // QMenu scrolls a row into view right only when the arrow keys reach it.
    QAction* target = rows_[static_cast<std::size_t>(index)].action;
    const QSignalBlocker quiet(this);
    holdHoverUntilPointerMoves();
    if (rowIndexOf(activeAction()) < 0) {
        QKeyEvent home(QEvent::KeyPress, Qt::Key_Home, Qt::NoModifier);
        QMenu::keyPressEvent(&home);
    }
    for (std::size_t step = 0; step <= rows_.size() && activeAction() != target; ++step) {
        const int at = rowIndexOf(activeAction());
        if (at < 0) {
            break;
        }
        QKeyEvent arrow(QEvent::KeyPress, at < index ? Qt::Key_Down : Qt::Key_Up, Qt::NoModifier);
        const QAction* before = activeAction();
        QMenu::keyPressEvent(&arrow);
        if (activeAction() == before) {
            break;
        }
    }
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

bool QtMenuPopup::event(QEvent* event) {
    const bool taken = QMenu::event(event);
    // QMenu moves its active action on keys, pointer moves, timers and leaving; the rows show it.
    if (event->type() != QEvent::Paint && event->type() != QEvent::DeferredDelete) {
        syncHighlight();
    }
    return taken;
}

void QtMenuPopup::keyPressEvent(QKeyEvent* event) {
    // A control in a row that has the model's focus gets the key first.
    bool fromRowFocus = false;
    if (View* responder = window_->firstResponder()) {
        for (const auto& row : rows_) {
            if (row.host && row.host->root() && responder->isDescendantOf(*row.host->root())) {
                if (row.host->sendKey(event)) {
                    event->accept();
                    return;
                }
                fromRowFocus = true;
                break;
            }
        }
    }
    // The highlight moves rows under the pointer; they must not open their submenus.
    holdHoverUntilPointerMoves();
    QPointer<QtMenuPopup> alive(this);
    const int before = rowIndexOf(activeAction());
    const int key = event->key();
    // Into a highlighted row that keeps a focus of its own; not with the key its focus just let
    // go of, which moves on.
    if (!fromRowFocus && before >= 0 && (key == Qt::Key_Tab || isActivationKey(key)) &&
        enterRow(rows_[static_cast<std::size_t>(before)], true)) {
        event->accept();
        return;
    }
    if (handleMenuKey(event)) {
        event->accept();
    } else {
        QMenu::keyPressEvent(event);
    }
    if (!alive) {
        return;
    }
    // The keyboard reached another row: a view in it that keeps a focus of its own takes it.
    const int after = rowIndexOf(activeAction());
    if (after >= 0 && after != before) {
        enterRow(rows_[static_cast<std::size_t>(after)], before < 0 || after > before);
    }
    syncHighlight();
}

bool QtMenuPopup::handleMenuKey(QKeyEvent* event) {
    const int key = event->key();
    const Row* row = rowOf(activeAction());
    auto* parentMenu = parentPopup();
    if (key == Qt::Key_Escape || (key == Qt::Key_Left && parentMenu)) {
        if (parentMenu) {
            // Closes this submenu only; the row that opened it stays highlighted.
            hide();
        } else {
            menu_->cancelTracking();
        }
        return true;
    }
    if (row && row->viewSubmenu && (key == Qt::Key_Right || isActivationKey(key))) {
        if (row->action->isEnabled()) {
            openSubmenuFromKeyboard(*row);
        }
        return true;
    }
    if (row && row->host && isActivationKey(key)) {
        pressRow(*row);
        return true;
    }
    if (key == Qt::Key_Space) {
        // Space presses a titled row as Return does.
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, event->modifiers());
        QMenu::keyPressEvent(&enter);
        return true;
    }
    const QString text = event->text();
    const auto modifiers = event->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier);
    if (text.size() == 1 && text[0].isPrint() && !text[0].isSpace() &&
        modifiers == Qt::NoModifier) {
        // Type-ahead; a letter never stands for a row's mnemonic (which would close the menu).
        typeAhead(text[0]);
        return true;
    }
    return false;
}

void QtMenuPopup::pressRow(const Row& row) {
    if (!row.action->isEnabled()) {
        return;
    }
    std::shared_ptr<View> root = row.host->root();
    std::weak_ptr<MenuItem> item = row.model;
    // The press may rebuild the menu (queued) or end the program's menu (Quit).
    if (!root || !pressFirstPressable(*root)) {
        if (auto i = item.lock()) {
            i->performAction();
        }
    }
}

void QtMenuPopup::openSubmenuFromKeyboard(const Row& row) {
    showViewSubmenu(row);
    row.viewSubmenu->highlightFirstRow();
}

bool QtMenuPopup::enterRow(const Row& row, bool forward) {
    if (!row.host || !row.host->root() || !row.action->isEnabled()) {
        return false;
    }
    std::shared_ptr<View> root = row.host->root();
    if (!root->acceptKeyboardEntry(forward)) {
        return false;
    }
    enteredHost_ = row.host;
    row.host->update();
    return true;
}

void QtMenuPopup::releaseEnteredFocus(const ViewHostWidget* except) {
    if (!enteredHost_ || enteredHost_ == except) {
        return;
    }
    // Keys must not go on reaching a row the highlight has left.
    View* responder = window_->firstResponder();
    if (responder && enteredHost_->root() && responder->isDescendantOf(*enteredHost_->root())) {
        window_->makeFirstResponder(nullptr);
        enteredHost_->update();
    }
    enteredHost_ = nullptr;
}

void QtMenuPopup::highlightFirstRow() {
    QKeyEvent home(QEvent::KeyPress, Qt::Key_Home, Qt::NoModifier);
    QMenu::keyPressEvent(&home);
    syncHighlight();
}

bool QtMenuPopup::typeAhead(QChar letter) {
    const int count = static_cast<int>(rows_.size());
    const int start = rowIndexOf(activeAction());
    for (int step = 1; step <= count; ++step) {
        const int index = ((start < 0 ? -1 : start) + step + count) % count;
        const Row& row = rows_[static_cast<std::size_t>(index)];
        if (row.action->isEnabled() && row.action->isVisible() &&
            row.title.startsWith(letter, Qt::CaseInsensitive)) {
            walkTo(index);
            return true;
        }
    }
    return false;
}

void QtMenuPopup::wheelEvent(QWheelEvent* event) {
    // A wheel over the menu that opened this submenu scrolls that menu.
    if (!rect().contains(event->position().toPoint())) {
        auto* parentMenu = parentPopup();
        const QPoint global = event->globalPosition().toPoint();
        if (parentMenu && parentMenu->isVisible() && parentMenu->geometry().contains(global)) {
            parentMenu->hideViewSubmenus(nullptr);
            QWheelEvent forwarded(parentMenu->mapFromGlobal(event->globalPosition()),
                                  event->globalPosition(), event->pixelDelta(), event->angleDelta(),
                                  event->buttons(), event->modifiers(), event->phase(),
                                  event->inverted());
            QCoreApplication::sendEvent(parentMenu, &forwarded);
            event->accept();
            return;
        }
    }
    holdHoverUntilPointerMoves();
    QMenu::wheelEvent(event);
    event->accept();
}

void QtMenuPopup::showEvent(QShowEvent* event) {
    QMenu::showEvent(event);
    syncWindowFrame();
    window_->orderFront();
    menu_->willOpen(this);
    if (auto* parentMenu = parentPopup()) {
        parentMenu->syncHighlight();
    }
}

void QtMenuPopup::hideEvent(QHideEvent* event) {
    // A submenu is a window of its own: left alone it would stay on screen without its menu.
    hideViewSubmenus(nullptr);
    releaseEnteredFocus(nullptr);
    QMenu::hideEvent(event);
    hoverHeldAt_.reset();
    syncHighlight();
    window_->orderOut();
    if (menu_->session() == this) {
        menu_->didClose();
    }
    if (auto* parentMenu = parentPopup()) {
        parentMenu->syncHighlight();
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
