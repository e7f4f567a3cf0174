#include "platform/qt/QtAccessibility.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QAccessibleValueInterface>
#include <QAccessibleWidget>
#include <QApplication>
#include <QMenu>
#include <QPointer>
#include <QWidgetAction>
#include <map>
#include <memory>
#include <vector>

#include "platform/qt/QtMenuPopup.h"
#include "platform/qt/ViewHostWidget.h"
#include "platform/ui/Control.h"
#include "platform/ui/MenuItem.h"
#include "platform/ui/Slider.h"
#include "platform/ui/Stepper.h"
#include "platform/ui/TextField.h"
#include "platform/ui/View.h"

namespace corvix {
namespace {

QAccessible::Role qtRole(AccessibilityRole role) {
    switch (role) {
        case AccessibilityRole::Button:
        case AccessibilityRole::ColorWell:
            return QAccessible::Button;
        case AccessibilityRole::CheckBox:
            return QAccessible::CheckBox;
        case AccessibilityRole::Slider:
            return QAccessible::Slider;
        case AccessibilityRole::Stepper:
            return QAccessible::SpinBox;
        case AccessibilityRole::StaticText:
            return QAccessible::StaticText;
        case AccessibilityRole::Image:
            return QAccessible::Graphic;
        case AccessibilityRole::RadioGroup:
            return QAccessible::PageTabList;
        case AccessibilityRole::ScrollArea:
            return QAccessible::Pane;
        case AccessibilityRole::MenuItem:
            return QAccessible::MenuItem;
        case AccessibilityRole::Group:
        case AccessibilityRole::None:
            break;
    }
    return QAccessible::Grouping;
}

QString valueText(const AccessibilityValue& value) {
    if (const auto* number = std::get_if<double>(&value)) {
        return QString::number(*number, 'g', 12);
    }
    if (const auto* text = std::get_if<std::string>(&value)) {
        return QString::fromStdString(*text);
    }
    return {};
}

/// The nearest accessibility elements below `view` (not below those elements), in tree order.
void collectElements(const View& view, std::vector<std::weak_ptr<View>>& out) {
    for (const auto& child : view.subviews()) {
        if (child->isHidden()) {
            continue;
        }
        if (child->isAccessibilityElement()) {
            out.push_back(child);
        } else {
            collectElements(*child, out);
        }
    }
}

/// A view's rectangle on the screen, through the widget hosting its tree.
QRect screenRect(const View& view, const ViewHostWidget& host) {
    const Rect r = view.convertRectToView(view.bounds(), host.root().get());
    const double top = host.root()->isFlipped() ? r.origin.y : host.height() - r.maxY();
    const QPoint origin = host.mapToGlobal(QPoint(int(r.origin.x), int(top)));
    return {origin, QSize(int(r.size.width), int(r.size.height))};
}

/// The model item a row of one of our popups shows, or null.
std::shared_ptr<MenuItem> itemOf(const QAction* action) {
    auto* popup = action ? dynamic_cast<QtMenuPopup*>(action->parent()) : nullptr;
    return popup ? popup->itemOf(action) : nullptr;
}

/// A row that cannot be chosen and holds nothing to use (a section heading, the queue line,
/// "Loading..."): it is text, and a screen reader should read it as such, not offer to press it.
bool isTextRow(const MenuItem& item) {
    if (item.isEnabled() || item.hasSubmenu() || item.target()) {
        return false;
    }
    if (!item.view()) {
        return true;
    }
    std::vector<std::weak_ptr<View>> elements;
    collectElements(*item.view(), elements);
    return !item.view()->isAccessibilityElement() && elements.empty();
}

/// One accessibility element of a hosted view tree.
class ViewAccessible final : public QAccessibleInterface,
                             public QAccessibleActionInterface,
                             public QAccessibleValueInterface {
  public:
    ViewAccessible(std::weak_ptr<View> view, QPointer<ViewHostWidget> host,
                   QAccessibleInterface* parent)
        : view_(std::move(view)), host_(std::move(host)), parent_(parent) {}

    bool isValid() const override { return !view_.expired() && host_; }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return parent_ ? parent_->window() : nullptr; }
    QAccessibleInterface* parent() const override { return parent_; }
    int childCount() const override { return 0; }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }

    QString text(QAccessible::Text t) const override {
        auto view = view_.lock();
        if (!view) {
            return {};
        }
        switch (t) {
            case QAccessible::Name:
                if (!view->accessibilityLabel().empty()) {
                    return QString::fromStdString(view->accessibilityLabel());
                }
                if (auto* field = dynamic_cast<const TextField*>(view.get())) {
                    return QString::fromStdString(field->stringValue());
                }
                return QString::fromStdString(view->toolTip());
            case QAccessible::Value: {
                const std::string spoken = view->accessibilityValueDescription();
                return spoken.empty() ? valueText(view->accessibilityValue())
                                      : QString::fromStdString(spoken);
            }
            case QAccessible::Description:
                return QString::fromStdString(view->toolTip());
            default:
                return {};
        }
    }
    void setText(QAccessible::Text, const QString&) override {}

    QRect rect() const override {
        auto view = view_.lock();
        return view && host_ ? screenRect(*view, *host_) : QRect();
    }

    QAccessible::Role role() const override {
        auto view = view_.lock();
        return view ? qtRole(view->accessibilityRole()) : QAccessible::NoRole;
    }

    QAccessible::State state() const override {
        QAccessible::State s;
        auto view = view_.lock();
        if (!view) {
            s.invalid = true;
            return s;
        }
        if (auto* control = dynamic_cast<const Control*>(view.get()); control) {
            s.disabled = !control->isEnabled();
            s.focusable = control->isEnabled();
        }
        if (view->accessibilityRole() == AccessibilityRole::CheckBox) {
            s.checkable = true;
            const auto value = view->accessibilityValue();
            s.checked = std::holds_alternative<double>(value) && std::get<double>(value) != 0;
        }
        return s;
    }

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::ActionInterface) {
            return static_cast<QAccessibleActionInterface*>(this);
        }
        if (type == QAccessible::ValueInterface && hasRange()) {
            return static_cast<QAccessibleValueInterface*>(this);
        }
        return nullptr;
    }

    // Actions.
    QStringList actionNames() const override {
        auto view = view_.lock();
        if (!view) {
            return {};
        }
        switch (view->accessibilityRole()) {
            case AccessibilityRole::Slider:
            case AccessibilityRole::Stepper:
                return {increaseAction(), decreaseAction()};
            case AccessibilityRole::StaticText:
            case AccessibilityRole::Image:
            case AccessibilityRole::Group:
            case AccessibilityRole::None:
                return {};
            case AccessibilityRole::CheckBox:
                return {toggleAction(), pressAction()};
            default:
                return {pressAction()};
        }
    }
    void doAction(const QString& name) override {
        auto view = view_.lock();
        if (!view) {
            return;
        }
        // The model's action may rebuild the menu and drop this very interface.
        if (name == pressAction() || name == toggleAction()) {
            view->accessibilityPerformPress();
        } else if (name == increaseAction()) {
            view->accessibilityPerformIncrement();
        } else if (name == decreaseAction()) {
            view->accessibilityPerformDecrement();
        }
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

    // Values, for sliders and steppers.
    QVariant currentValue() const override {
        auto view = view_.lock();
        return view ? QVariant(number(view->accessibilityValue())) : QVariant();
    }
    void setCurrentValue(const QVariant& value) override {
        bool isNumber = false;
        const double number = value.toDouble(&isNumber);
        // The model's action may rebuild the menu and drop this very interface.
        if (auto view = view_.lock(); view && isNumber) {
            view->accessibilityPerformSetValue(number);
        }
    }
    QVariant maximumValue() const override { return range().second; }
    QVariant minimumValue() const override { return range().first; }
    QVariant minimumStepSize() const override { return 1.0; }

    /// Whether this element stands for `view` (or holds it).
    bool represents(const View& view) const {
        auto own = view_.lock();
        return own && (own.get() == &view || view.isDescendantOf(*own));
    }

  private:
    static double number(const AccessibilityValue& value) {
        const auto* n = std::get_if<double>(&value);
        return n ? *n : 0;
    }
    bool hasRange() const {
        auto view = view_.lock();
        return view && (dynamic_cast<const Slider*>(view.get()) ||
                        dynamic_cast<const Stepper*>(view.get()));
    }
    std::pair<double, double> range() const {
        auto view = view_.lock();
        if (auto* slider = dynamic_cast<const Slider*>(view.get())) {
            return {slider->minValue(), slider->maxValue()};
        }
        if (auto* stepper = dynamic_cast<const Stepper*>(view.get())) {
            return {stepper->minValue(), stepper->maxValue()};
        }
        return {0, 0};
    }

    std::weak_ptr<View> view_;
    QPointer<ViewHostWidget> host_;
    QAccessibleInterface* parent_;
};

/// A menu row drawn by a model view: a menu item named by its view, whose children are the
/// view's accessibility elements. Qt caches it by the row's action and drops it with it.
class RowAccessible final : public QAccessibleInterface, public QAccessibleActionInterface {
  public:
    RowAccessible(QWidgetAction* action, ViewHostWidget* host) : action_(action), host_(host) {}
    ~RowAccessible() override { dropChildren(); }

    bool isValid() const override { return action_ && host_; }
    QObject* object() const override { return action_; }
    QWindow* window() const override {
        return host_ && host_->window() ? host_->window()->windowHandle() : nullptr;
    }
    QAccessibleInterface* parent() const override {
        return action_ ? QAccessible::queryAccessibleInterface(action_->parent()) : nullptr;
    }

    int childCount() const override { return int(children().size()); }
    QAccessibleInterface* child(int index) const override {
        const auto& list = children();
        return index >= 0 && index < int(list.size())
                   ? QAccessible::accessibleInterface(list[index])
                   : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        const auto& list = children();
        for (size_t i = 0; i < list.size(); ++i) {
            if (QAccessible::accessibleInterface(list[i]) == child) {
                return int(i);
            }
        }
        return -1;
    }
    QAccessibleInterface* childAt(int x, int y) const override {
        for (int i = 0; i < childCount(); ++i) {
            if (auto* c = child(i); c && c->rect().contains(x, y)) {
                return c;
            }
        }
        return nullptr;
    }

    QString text(QAccessible::Text t) const override {
        if (t != QAccessible::Name || !host_) {
            return {};
        }
        const auto& root = host_->root();
        if (!root->accessibilityLabel().empty()) {
            return QString::fromStdString(root->accessibilityLabel());
        }
        if (action_ && !action_->text().isEmpty()) {
            return action_->text();
        }
        // A row without a label of its own is named by its first text.
        std::vector<std::weak_ptr<View>> texts;
        collectTexts(*root, texts);
        QStringList parts;
        for (const auto& weak : texts) {
            if (auto view = weak.lock()) {
                parts << QString::fromStdString(static_cast<TextField&>(*view).stringValue());
            }
        }
        return parts.join(QStringLiteral(", "));
    }
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override {
        return host_ ? QRect(host_->mapToGlobal(QPoint(0, 0)), host_->size()) : QRect();
    }
    QAccessible::Role role() const override {
        return isText() ? QAccessible::StaticText : QAccessible::MenuItem;
    }
    QAccessible::State state() const override {
        QAccessible::State s;
        s.invisible = host_ && !host_->isVisible();
        if (isText()) {
            s.readOnly = true;
            return s;
        }
        s.disabled = action_ && !action_->isEnabled();
        s.focusable = !s.disabled;
        return s;
    }
    void* interface_cast(QAccessible::InterfaceType type) override {
        return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this)
                                                    : nullptr;
    }

    QStringList actionNames() const override {
        return isText() ? QStringList() : QStringList{pressAction()};
    }
    void doAction(const QString& name) override {
        if (name == pressAction() && host_) {
            auto root = host_->root();  // kept alive: the action may rebuild the menu
            root->accessibilityPerformPress();
        }
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

    /// The element among this row's children that stands for `view`, or null.
    QAccessibleInterface* childFor(const View& view) const {
        for (int i = 0; i < childCount(); ++i) {
            auto* face = dynamic_cast<ViewAccessible*>(child(i));
            if (face && face->represents(view)) {
                return face;
            }
        }
        return nullptr;
    }

  private:
    bool isText() const {
        const auto item = itemOf(action_);
        return item && isTextRow(*item);
    }

    static void collectTexts(const View& view, std::vector<std::weak_ptr<View>>& out) {
        for (const auto& child : view.subviews()) {
            if (child->isHidden()) {
                continue;
            }
            if (dynamic_cast<const TextField*>(child.get())) {
                out.push_back(child);
            } else {
                collectTexts(*child, out);
            }
        }
    }

    /// The child interfaces, made again when the row's elements changed since last asked.
    const std::vector<QAccessible::Id>& children() const {
        if (!host_) {
            return ids_;
        }
        std::vector<std::weak_ptr<View>> elements;
        collectElements(*host_->root(), elements);
        bool same = elements.size() == views_.size();
        for (size_t i = 0; same && i < elements.size(); ++i) {
            same = elements[i].lock() == views_[i].lock();
        }
        if (!same) {
            dropChildren();
            views_ = elements;
            for (const auto& view : elements) {
                auto* iface = new ViewAccessible(view, host_, const_cast<RowAccessible*>(this));
                ids_.push_back(QAccessible::registerAccessibleInterface(iface));
            }
        }
        return ids_;
    }
    void dropChildren() const {
        for (auto id : ids_) {
            QAccessible::deleteAccessibleInterface(id);
        }
        ids_.clear();
        views_.clear();
    }

    QPointer<QWidgetAction> action_;
    QPointer<ViewHostWidget> host_;
    mutable std::vector<std::weak_ptr<View>> views_;
    mutable std::vector<QAccessible::Id> ids_;
};

/// The popup of ours that shows `action` as one of its rows (a submenu's action belongs to the
/// submenu but is shown by its parent), or null.
QtMenuPopup* ownerOf(QAction* action) {
    for (QObject* object : action->associatedObjects()) {
        auto* popup = dynamic_cast<QtMenuPopup*>(object);
        if (popup && popup->actions().contains(action)) {
            return popup;
        }
    }
    return nullptr;
}

/// A row of ours drawn by the menu itself: a title, a submenu's row or a separator. Read as
/// Qt reads menu items, except that a line of text says it is text, and an item that can carry
/// a check mark says it can.
class ActionRowAccessible final : public QAccessibleInterface, public QAccessibleActionInterface {
  public:
    ActionRowAccessible(QAction* action, QtMenuPopup* owner) : action_(action), owner_(owner) {}

    bool isValid() const override { return action_ && owner_; }
    QObject* object() const override { return action_; }
    QWindow* window() const override { return owner_ ? owner_->windowHandle() : nullptr; }
    QAccessibleInterface* parent() const override {
        return QAccessible::queryAccessibleInterface(owner_.data());
    }
    int childCount() const override { return action_ && action_->menu() ? 1 : 0; }
    QAccessibleInterface* child(int index) const override {
        return index == 0 && childCount() ? QAccessible::queryAccessibleInterface(action_->menu())
                                          : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        return child && childCount() && child->object() == action_->menu() ? 0 : -1;
    }
    QAccessibleInterface* childAt(int x, int y) const override {
        auto* sub = child(0);
        return sub && sub->rect().contains(x, y) ? sub : nullptr;
    }

    QString text(QAccessible::Text t) const override {
        if (t != QAccessible::Name || !action_) {
            return {};
        }
        QString name = action_->text();
        return name.replace(QStringLiteral("&&"), QStringLiteral("&"));
    }
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override {
        if (!action_ || !owner_) {
            return {};
        }
        return owner_->actionGeometry(action_).translated(owner_->mapToGlobal(QPoint(0, 0)));
    }
    QAccessible::Role role() const override {
        if (action_ && action_->isSeparator()) {
            return QAccessible::Separator;
        }
        return isText() ? QAccessible::StaticText : QAccessible::MenuItem;
    }
    QAccessible::State state() const override {
        QAccessible::State s;
        if (!action_ || !owner_) {
            s.invalid = true;
            return s;
        }
        s.invisible = !owner_->isVisible() || !action_->isVisible();
        if (isText()) {
            s.readOnly = true;
            return s;
        }
        s.disabled = action_->isSeparator() || !action_->isEnabled();
        s.focusable = !s.disabled;
        s.focused = owner_->activeAction() == action_;
        s.checkable = action_->isCheckable();
        s.checked = action_->isChecked();
        return s;
    }
    void* interface_cast(QAccessible::InterfaceType type) override {
        return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this)
                                                    : nullptr;
    }

    QStringList actionNames() const override {
        if (!action_ || action_->isSeparator() || isText()) {
            return {};
        }
        return {action_->menu() ? showMenuAction() : pressAction()};
    }
    void doAction(const QString& name) override {
        if (!action_ || !owner_ || !action_->isEnabled()) {
            return;
        }
        if (name == pressAction()) {
            action_->trigger();
        } else if (name == showMenuAction() && action_->menu()) {
            if (action_->menu()->isVisible()) {
                action_->menu()->hide();
            } else {
                owner_->setActiveAction(action_);
            }
        }
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

  private:
    bool isText() const {
        const auto item = owner_ ? owner_->itemOf(action_) : nullptr;
        return item && isTextRow(*item);
    }

    QPointer<QAction> action_;
    QPointer<QtMenuPopup> owner_;
};

/// One of our popups. Qt's own menu would not count a row that reads as text among its
/// children; this one counts every row.
class MenuAccessible final : public QAccessibleWidget {
  public:
    explicit MenuAccessible(QtMenuPopup* menu) : QAccessibleWidget(menu, QAccessible::PopupMenu) {}

    int childCount() const override { return int(menu()->actions().size()); }
    QAccessibleInterface* child(int index) const override {
        const auto actions = menu()->actions();
        return index >= 0 && index < actions.size()
                   ? QAccessible::queryAccessibleInterface(actions[index])
                   : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        auto* action = child ? qobject_cast<QAction*>(child->object()) : nullptr;
        return action ? int(menu()->actions().indexOf(action)) : -1;
    }
    QAccessibleInterface* childAt(int x, int y) const override {
        QAction* action = menu()->actionAt(menu()->mapFromGlobal(QPoint(x, y)));
        return action && !action->isSeparator() ? QAccessible::queryAccessibleInterface(action)
                                                : nullptr;
    }
    QAccessibleInterface* parent() const override {
        // A submenu hangs off the row that opens it, where that row is the menu's own.
        QAction* opener = menu()->menuAction();
        if (auto* owner = opener ? ownerOf(opener) : nullptr; owner && owner != menu()) {
            return QAccessible::queryAccessibleInterface(opener);
        }
        return QAccessibleWidget::parent();
    }
    QString text(QAccessible::Text t) const override {
        QString text = QAccessibleWidget::text(t);
        return text.isEmpty() && t == QAccessible::Name ? menu()->title() : text;
    }

  private:
    QMenu* menu() const { return static_cast<QMenu*>(widget()); }
};

QAccessibleInterface* modelAccessibleFactory(const QString&, QObject* object) {
    if (auto* popup = dynamic_cast<QtMenuPopup*>(object)) {
        return new MenuAccessible(popup);
    }
    // Qt asks for every action of a menu; the rows of our popups are ours.
    auto* action = qobject_cast<QAction*>(object);
    if (!action) {
        return nullptr;
    }
    if (auto* widgetAction = qobject_cast<QWidgetAction*>(action)) {
        auto* host = dynamic_cast<QtMenuPopup*>(action->parent())
                         ? dynamic_cast<ViewHostWidget*>(widgetAction->defaultWidget())
                         : nullptr;
        return host ? new RowAccessible(widgetAction, host) : nullptr;
    }
    auto* owner = ownerOf(action);
    return owner ? new ActionRowAccessible(action, owner) : nullptr;
}

}  // namespace

QAccessibleInterface* accessibleInterfaceFor(const View& view) {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* popup = dynamic_cast<QtMenuPopup*>(widget);
        if (!popup || !popup->isVisible()) {
            continue;
        }
        for (QAction* action : popup->actions()) {
            auto* widgetAction = qobject_cast<QWidgetAction*>(action);
            auto* host = widgetAction ? dynamic_cast<ViewHostWidget*>(widgetAction->defaultWidget())
                                      : nullptr;
            if (!host || (host->root().get() != &view && !view.isDescendantOf(*host->root()))) {
                continue;
            }
            auto* row = dynamic_cast<RowAccessible*>(QAccessible::queryAccessibleInterface(action));
            if (!row) {
                return nullptr;
            }
            auto* element = row->childFor(view);
            return element ? element : row;
        }
    }
    return nullptr;
}

namespace {

void announceValueChange(const View& view) {
    QAccessibleInterface* face = accessibleInterfaceFor(view);
    if (!face) {
        return;
    }
    QVariant value;
    if (auto* values = face->valueInterface()) {
        value = values->currentValue();
    } else {
        value = face->text(QAccessible::Value);
    }
    QAccessibleValueChangeEvent event(face, value);
    QAccessible::updateAccessibility(&event);
}

}  // namespace

void installModelAccessibility() {
    static const Subscription installed = [] {
        QAccessible::installFactory(modelAccessibleFactory);
        return View::observeAccessibilityNotifications(
            [](View& view, AccessibilityNotification notification) {
                if (notification == AccessibilityNotification::ValueChanged) {
                    announceValueChange(view);
                }
            });
    }();
    (void)installed;
}

}  // namespace corvix
