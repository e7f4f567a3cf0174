#pragma once

#include <QMenu>
#include <QPoint>
#include <QPointer>
#include <memory>
#include <optional>
#include <vector>

#include "platform/ui/Menu.h"
#include "platform/ui/Window.h"

namespace corvix {

class ViewHostWidget;

/// A model menu shown as a Qt popup. Rows with custom views are QWidgetActions hosting the
/// view; submenus are nested popups. Closing requests from Qt (a click outside, Escape) go
/// through the model's `cancelTracking`, which may keep the menu open. The popup's model
/// window (frame, visibility) is what the row views see as their window.
///
/// A menu taller than the screen's available area scrolls in one column (arrows, wheel,
/// keyboard). The keyboard walks every row, view rows included: a key goes first to the
/// model's first responder inside a row, and only a key no view takes moves the highlight,
/// opens or closes a submenu, or presses the row. A row whose view keeps a focus of its own
/// (the app grid) takes the keyboard when the highlight reaches it, or on Tab, Return or Space,
/// and hands it back when its focus runs off an end.
///
/// A submenu's popup makes its rows when it is first shown.
class QtMenuPopup final : public QMenu, public MenuSession {
  public:
    explicit QtMenuPopup(std::shared_ptr<Menu> menu, QWidget* parent = nullptr);
    ~QtMenuPopup() override;

    /// Opens the menu at a global Qt position.
    void popupAt(const QPoint& globalPos);
    /// Makes the rows from the model. A submenu's popup makes them when it is first shown, so
    /// that the rows of submenus nobody opens (and the model's own, see
    /// `Menu::fillWhenNeeded`) are never made.
    void ensureBuilt();
    const std::shared_ptr<Menu>& model() const { return menu_; }
    Window& modelWindow() { return *window_; }
    /// The host of the row showing `item`, or null (hidden items, separators, title rows).
    ViewHostWidget* hostOf(const MenuItem& item) const;
    /// The item a row of this popup shows, or null (separators, or an item already gone).
    std::shared_ptr<MenuItem> itemOf(const QAction* action) const;
    /// The popup of the submenu of the row showing `item`, or null.
    QtMenuPopup* submenuOf(const MenuItem& item) const;
    /// The item of the highlighted row, or null.
    MenuItem* highlightedItem() const;
    /// How many columns the rows take (one: a tall menu scrolls).
    using QMenu::columnCount;

    void close(bool animated) override;
    void itemChanged(MenuItem& item) override;
    void itemsChanged() override;

  protected:
    bool event(QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    struct Row {
        MenuItem* item;
        std::weak_ptr<MenuItem> model;  // the item may be gone before a queued rebuild
        QString title;
        QAction* action;
        ViewHostWidget* host;
        QtMenuPopup* viewSubmenu;  // the submenu of a row drawn by its own view
        bool highlighted = false;
    };
    /// Where a scrolled menu was looking, to come back to after its rows were rebuilt.
    struct ViewAnchor {
        int highlighted = -1;  // row index
        int bottom = -1;       // row index of the last row in view
        bool scrollable = false;
        bool keyboardEntered = false;  // a view of the highlighted row had the keyboard
    };

    void build();
    void syncWindowFrame();
    /// Whether a global point is inside this popup or an open submenu popup.
    bool insideAnyPopup(const QPoint& global) const;
    QtMenuPopup* parentPopup() const;
    const Row* rowOf(const QAction* action) const;
    int rowIndexOf(const QAction* action) const;

    /// Rows drawn by a view get no submenu handling from QMenu: open theirs on hover and click,
    /// and close it when the pointer moves to another row.
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showViewSubmenu(const Row& row);
    void hideViewSubmenus(const QtMenuPopup* except);
    /// A submenu saw the pointer leave it over this menu: follow it to the row beneath.
    void pointerMovedTo(const QPoint& global);

    // Keyboard.
    bool handleMenuKey(QKeyEvent* event);
    /// Runs what a click on the row runs: the first view of the row that takes an
    /// accessibility press, or the item's action.
    void pressRow(const Row& row);
    void openSubmenuFromKeyboard(const Row& row);
    /// Offers the keyboard to the view of `row` (see `View::acceptKeyboardEntry`); true when a
    /// view in it took the focus.
    bool enterRow(const Row& row, bool forward);
    /// Takes back a focus given by `enterRow` unless it lies in the row hosted by `except`.
    void releaseEnteredFocus(const ViewHostWidget* except);
    void highlightFirstRow();
    /// Moves the highlight to the enabled row `index` as the arrow keys would, scrolling it
    /// into view.
    void walkTo(int index);
    /// Moves the highlight to the next enabled row after the highlighted one whose title
    /// starts with `letter`, wrapping around; false when none does.
    bool typeAhead(QChar letter);
    /// Shows the highlight on the row QMenu holds as active, or whose submenu is open.
    void syncHighlight();
    /// Rows moving under a resting pointer (scrolling) must not open their submenus.
    void holdHoverUntilPointerMoves();

    /// The height all rows take, scrolled or not, with the menu's margins.
    int rowSpan() const;
    ViewAnchor viewAnchor() const;
    /// After a rebuild of a visible menu: size and scroll state for the new rows, back to the
    /// anchor's place.
    void refit(const ViewAnchor& anchor);
    void restoreAnchor(const ViewAnchor& anchor);

    std::shared_ptr<Menu> menu_;
    std::shared_ptr<Window> window_;
    std::vector<Row> rows_;
    std::vector<QtMenuPopup*> submenus_;
    bool rebuildPending_ = false;
    bool built_ = false;
    std::optional<QPoint> hoverHeldAt_;
    /// The row a view of which took the keyboard from the menu.
    QPointer<ViewHostWidget> enteredHost_;
};

}  // namespace corvix
