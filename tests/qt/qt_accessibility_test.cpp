// What a screen reader finds in an open menu: rows named by their views, their switches and
// sliders with the model's roles and values, actions that reach the model, lines of text read
// as text, and the value changes the model posts.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QAccessibleValueInterface>
#include <string>
#include <utility>
#include <vector>

#include "QtTestSupport.h"
#include "controls/InlineColorControls.h"
#include "controls/OrbeluneToggleSwitch.h"
#include "platform/qt/QtAccessibility.h"
#include "platform/qt/QtMenuPopup.h"
#include "platform/ui/ButtonTarget.h"
#include "platform/ui/Menu.h"
#include "platform/ui/MenuItem.h"
#include "platform/ui/Slider.h"
#include "platform/ui/TextField.h"

namespace corvix {
namespace {

TEST(QtAccessibility, MenuRowsExposeTheirModelControlsAndTheirActions) {
    testing::app();
    installModelAccessibility();

    // A light's row: its name, a switch, and a brightness slider.
    auto row = std::make_shared<View>(Rect(0, 0, 326, 34));
    auto name = TextField::label("Floor Lamp");
    name->setFrame(Rect(36, 8, 120, 18));
    row->addSubview(name);
    auto slider = Slider::make(40, 0, 100);
    slider->setFrame(Rect(160, 8, 100, 18));
    slider->setAccessibilityLabel("Brightness");
    row->addSubview(slider);
    auto power = std::make_shared<OrbeluneToggleSwitch>(Rect(268, 5, 44, 24));
    power->setAccessibilityLabel("Floor Lamp power");
    row->addSubview(power);
    int flips = 0;
    auto target = ButtonTarget::make([&] { ++flips; });
    power->setTarget(target);
    int slides = 0;
    auto slideTarget = ButtonTarget::make([&] { ++slides; });
    slider->setTarget(slideTarget);

    auto menu = std::make_shared<Menu>();
    auto item = MenuItem::make("");
    item->setView(row);
    menu->addItem(item);
    menu->addItem(MenuItem::make("Quit"));
    QtMenuPopup popup(menu);
    popup.popupAt(QPoint(100, 100));

    QAccessibleInterface* menuFace = QAccessible::queryAccessibleInterface(&popup);
    ASSERT_TRUE(menuFace);
    ASSERT_EQ(menuFace->childCount(), 2);
    QAccessibleInterface* rowFace = menuFace->child(0);
    ASSERT_TRUE(rowFace);
    EXPECT_EQ(rowFace->role(), QAccessible::MenuItem);
    EXPECT_EQ(rowFace->text(QAccessible::Name), "Floor Lamp") << "named by its text";
    EXPECT_EQ(rowFace->parent(), menuFace);
    EXPECT_EQ(menuFace->child(1)->text(QAccessible::Name), "Quit");

    // Its text names the row; the controls are its children.
    ASSERT_EQ(rowFace->childCount(), 2);
    QAccessibleInterface* sliderFace = rowFace->child(0);
    EXPECT_EQ(sliderFace->role(), QAccessible::Slider);
    EXPECT_EQ(sliderFace->text(QAccessible::Name), "Brightness");
    ASSERT_TRUE(sliderFace->valueInterface());
    EXPECT_DOUBLE_EQ(sliderFace->valueInterface()->currentValue().toDouble(), 40);
    EXPECT_DOUBLE_EQ(sliderFace->valueInterface()->maximumValue().toDouble(), 100);
    EXPECT_EQ(rowFace->indexOfChild(sliderFace), 0);
    EXPECT_EQ(sliderFace->parent(), rowFace);

    QAccessibleInterface* switchFace = rowFace->child(1);
    EXPECT_EQ(switchFace->role(), QAccessible::CheckBox);
    EXPECT_EQ(switchFace->text(QAccessible::Name), "Floor Lamp power");
    EXPECT_TRUE(switchFace->state().checkable);
    EXPECT_FALSE(switchFace->state().checked);
    // The switch sits at the row's right end, on the screen where the row is.
    EXPECT_TRUE(rowFace->rect().contains(switchFace->rect()));
    EXPECT_GT(switchFace->rect().left(), rowFace->rect().center().x());

    // Pressing through the bridge is the model's own press: it flips and sends its action.
    ASSERT_TRUE(switchFace->actionInterface());
    switchFace->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    EXPECT_TRUE(power->isOn());
    EXPECT_EQ(flips, 1);
    EXPECT_TRUE(switchFace->state().checked);
    EXPECT_EQ(switchFace->text(QAccessible::Value), "1");

    sliderFace->actionInterface()->doAction(QAccessibleActionInterface::increaseAction());
    EXPECT_GT(slider->doubleValue(), 40);
    EXPECT_EQ(slides, 1);

    // A switch that cannot be used says so.
    power->setEnabled(false);
    EXPECT_TRUE(switchFace->state().disabled);
}

/// The value-changed events Qt is handed while it lives, with the value each carried.
struct ValueEvents {
    // Qt hands events on only while an assistive technology is said to listen.
    ValueEvents() {
        previous = QAccessible::installUpdateHandler(&ValueEvents::record);
        wasActive = QAccessible::isActive();
        QAccessible::setActive(true);
    }
    ~ValueEvents() {
        QAccessible::setActive(wasActive);
        QAccessible::installUpdateHandler(previous);
        seen().clear();
    }
    struct Seen {
        QAccessibleInterface* face;
        QVariant value;
    };
    static std::vector<Seen>& seen() {
        static std::vector<Seen> list;
        return list;
    }
    static void record(QAccessibleEvent* event) {
        if (event->type() == QAccessible::ValueChanged) {
            seen().push_back({event->accessibleInterface(),
                              static_cast<QAccessibleValueChangeEvent*>(event)->value()});
        }
    }
    QAccessible::UpdateHandler previous = nullptr;
    bool wasActive = false;
};

TEST(QtAccessibility, ValueChangesReachAssistiveTechnologiesAndValuesCanBeSet) {
    testing::app();
    installModelAccessibility();

    // A light's colour row and a timeline row.
    auto colorRow = std::make_shared<View>(Rect(0, 0, 326, 48));
    auto picker = std::make_shared<InlineColorPickerView>(180, 40, nullptr);
    picker->setFrame(Rect(90, 0, 216, 48));
    colorRow->addSubview(picker);
    auto timelineRow = std::make_shared<View>(Rect(0, 0, 326, 40));
    auto timeline = Slider::make(60000, 0, 214000);
    timeline->setFrame(Rect(66, 10, 194, 22));
    timeline->setAccessibilityLabel("Position");
    timeline->setAccessibilityValueDescriber([](const Slider& s) {
        return std::to_string(int(s.doubleValue() / 1000)) + " of " +
               std::to_string(int(s.maxValue() / 1000)) + " seconds";
    });
    timelineRow->addSubview(timeline);
    std::vector<double> seeks;
    auto seekTarget = ButtonTarget::make([&] { seeks.push_back(timeline->doubleValue()); });
    timeline->setTarget(seekTarget);

    auto menu = std::make_shared<Menu>();
    const std::pair<const char*, std::shared_ptr<View>> rows[] = {{"Color", colorRow},
                                                                  {"Music timeline", timelineRow}};
    for (const auto& [title, row] : rows) {
        auto item = MenuItem::make(title);
        item->setView(row);
        menu->addItem(item);
    }
    QtMenuPopup popup(menu);
    popup.popupAt(QPoint(100, 100));
    ValueEvents events;

    // A key in the picker is announced on its element, which the bridge makes even before a
    // screen reader walked down to it. (Qt hands the event on only while an assistive
    // technology listens; the AT-SPI check hears it.)
    QAccessibleInterface* pickerFace = accessibleInterfaceFor(*picker);
    ASSERT_TRUE(pickerFace);
    EXPECT_EQ(pickerFace->role(), QAccessible::Slider);
    EXPECT_EQ(pickerFace->text(QAccessible::Name), "Color");
    Event right;
    right.type = EventType::KeyDown;
    right.keyCode = KeyCode::RightArrow;
    picker->keyDown(right);
    EXPECT_EQ(pickerFace->text(QAccessible::Value), "185 degrees hue, 40 percent saturation");
    QAccessibleInterface* menuFace = QAccessible::queryAccessibleInterface(&popup);
    EXPECT_EQ(pickerFace, menuFace->child(0)->child(0));
    EXPECT_EQ(accessibleInterfaceFor(*colorRow), menuFace->child(0)) << "a row stands for itself";
    pickerFace->actionInterface()->doAction(QAccessibleActionInterface::increaseAction());
    EXPECT_EQ(pickerFace->text(QAccessible::Value), "190 degrees hue, 40 percent saturation");
    if (QAccessible::isActive()) {
        ASSERT_EQ(ValueEvents::seen().size(), 2u);
        EXPECT_EQ(ValueEvents::seen()[0].face, pickerFace);
        EXPECT_EQ(ValueEvents::seen()[1].value.toString(),
                  "190 degrees hue, 40 percent saturation");
    }

    // A value set through the bridge reaches the model and the control's action, and is
    // said in the model's words.
    QAccessibleInterface* timelineFace = menuFace->child(1)->child(0);
    ASSERT_TRUE(timelineFace && timelineFace->valueInterface());
    EXPECT_EQ(timelineFace->text(QAccessible::Name), "Position");
    EXPECT_EQ(timelineFace->text(QAccessible::Value), "60 of 214 seconds");
    timelineFace->valueInterface()->setCurrentValue(102000.0);
    EXPECT_DOUBLE_EQ(timeline->doubleValue(), 102000);
    EXPECT_EQ(seeks, std::vector<double>{102000});
    EXPECT_EQ(timelineFace->text(QAccessible::Value), "102 of 214 seconds");
    EXPECT_EQ(accessibleInterfaceFor(*timeline), timelineFace);

    // A disabled slider takes nothing.
    timeline->setEnabled(false);
    timelineFace->valueInterface()->setCurrentValue(5000.0);
    EXPECT_DOUBLE_EQ(timeline->doubleValue(), 102000);
    EXPECT_EQ(seeks.size(), 1u);

    // A view outside any open menu is announced nowhere.
    auto stray = std::make_shared<InlineTemperaturePickerView>(300, 153, 500, nullptr);
    EXPECT_EQ(accessibleInterfaceFor(*stray), nullptr);
    popup.hide();
    EXPECT_EQ(accessibleInterfaceFor(*picker), nullptr) << "nor is one in a closed menu";
}

TEST(QtAccessibility, LinesOfTextReadAsTextAndKeepTheirPlaceAmongTheRows) {
    testing::app();
    installModelAccessibility();

    // A section heading drawn by a view, a queue line, a command, and a submenu.
    auto heading = std::make_shared<View>(Rect(0, 0, 326, 30));
    auto title = TextField::label("Rooms");
    title->setFrame(Rect(14, 7, 298, 16));
    heading->addSubview(title);
    auto menu = std::make_shared<Menu>();
    auto headingItem = MenuItem::make("Rooms");
    headingItem->setView(heading);
    headingItem->setEnabled(false);
    menu->addItem(headingItem);
    auto queue = MenuItem::make("7 items in queue");
    queue->setEnabled(false);
    menu->addItem(queue);
    menu->addItem(MenuItem::separator());
    int refreshes = 0;
    auto target = ButtonTarget::make([&] { ++refreshes; });
    auto refresh = MenuItem::make("Refresh");
    refresh->setTarget(target);
    menu->addItem(refresh);
    auto outputs = MenuItem::make("Outputs");
    auto outputMenu = std::make_shared<Menu>();
    outputMenu->addItem(MenuItem::make("Kitchen"));
    outputs->setSubmenu(outputMenu);
    menu->addItem(outputs);
    QtMenuPopup popup(menu);
    popup.popupAt(QPoint(100, 100));

    QAccessibleInterface* menuFace = QAccessible::queryAccessibleInterface(&popup);
    ASSERT_TRUE(menuFace);
    EXPECT_EQ(menuFace->role(), QAccessible::PopupMenu);
    ASSERT_EQ(menuFace->childCount(), 5);
    struct Expected {
        QAccessible::Role role;
        QString name;
        bool pressable;
    } expected[] = {
        {QAccessible::StaticText, "Rooms", false},
        {QAccessible::StaticText, "7 items in queue", false},
        {QAccessible::Separator, "", false},
        {QAccessible::MenuItem, "Refresh", true},
        {QAccessible::MenuItem, "Outputs", true},
    };
    for (int i = 0; i < 5; ++i) {
        QAccessibleInterface* row = menuFace->child(i);
        ASSERT_TRUE(row) << i;
        EXPECT_EQ(row->role(), expected[i].role) << i;
        EXPECT_EQ(row->text(QAccessible::Name), expected[i].name) << i;
        EXPECT_EQ(row->parent(), menuFace) << i;
        // Every row, text or not, knows its place: screen readers ask for it.
        EXPECT_EQ(menuFace->indexOfChild(row), i);
        const bool pressable =
            row->actionInterface() && !row->actionInterface()->actionNames().isEmpty();
        EXPECT_EQ(pressable, expected[i].pressable) << i;
        if (expected[i].role == QAccessible::StaticText) {
            EXPECT_FALSE(row->state().disabled) << "text is not a dimmed command";
            EXPECT_FALSE(row->state().focusable);
        }
    }
    EXPECT_TRUE(menuFace->child(0)->rect().intersects(popup.geometry()));
    EXPECT_GT(menuFace->child(1)->rect().top(), menuFace->child(0)->rect().top());

    menuFace->child(3)->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(refreshes, 1);

    // The submenu hangs off its row, and back.
    QAccessibleInterface* outputsFace = menuFace->child(4);
    ASSERT_EQ(outputsFace->childCount(), 1);
    QAccessibleInterface* submenuFace = outputsFace->child(0);
    ASSERT_TRUE(submenuFace);
    EXPECT_EQ(submenuFace->role(), QAccessible::PopupMenu);
    EXPECT_EQ(submenuFace->parent(), outputsFace);
    EXPECT_EQ(outputsFace->indexOfChild(submenuFace), 0);
}

}  // namespace
}  // namespace corvix
