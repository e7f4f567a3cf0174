// What a screen reader finds in an open menu: rows named by their views, their switches and
// sliders with the model's roles and values, and actions that reach the model.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QAccessibleValueInterface>

#include "QtTestSupport.h"
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

}  // namespace
}  // namespace corvix
