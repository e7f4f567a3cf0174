// The status menu in Qt popups on a screen smaller than the menu: scrolling in one column, the
// pointer on scrolled rows, rebuilds while scrolled, and the keyboard.

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QKeyEvent>
#include <QScreen>
#include <QWheelEvent>
#include <functional>
#include <string>

#include "MenuTestSupport.h"
#include "QtTestSupport.h"
#include "controls/InlineColorControls.h"
#include "menu/MediaAppGridView.h"
#include "platform/qt/QtMenuPopup.h"
#include "platform/qt/ViewHostWidget.h"
#include "platform/ui/Slider.h"

namespace corvix {
namespace {

using testing::itemTitled;
using testing::MenuHarness;
using testing::stateFromText;

// A home of `rooms` rooms without devices and `scenes` scenes: far taller than the screen.
std::string bigHome(int rooms, int scenes = 2) {
    std::string text = R"({"rooms":[)";
    for (int i = 1; i <= rooms; ++i) {
        text += (i > 1 ? "," : "") + std::string(R"({"id":"room-)") + std::to_string(i) +
                R"(","name":"Room )" + std::to_string(i) + R"(","devices":[]})";
    }
    text +=
        R"(],"programScenes":[{"id":"item-dinner","label":"Dinner","programBuilderType":"scene"},)"
        R"({"id":"item-movie","label":"Movie","programBuilderType":"scene"})";
    for (int i = 3; i <= scenes; ++i) {
        text += R"(,{"id":"item-scene-)" + std::to_string(i) + R"(","label":"Scene )" +
                std::to_string(i) + R"(","programBuilderType":"scene"})";
    }
    return text + "]}";
}

// A small home: a pinned switch, a room with a sensor reading, two scenes.
constexpr const char* kSmallHome = R"({
  "pinned":[{"id":"pin-porch","label":"Porch Light","icon":"light","toggle":{"capable":true}}],
  "rooms":[{"id":"room-kitchen","name":"Kitchen","devices":[],
            "sensors":{"temperatures":[21]}}],
  "programScenes":[{"id":"item-dinner","label":"Dinner","programBuilderType":"scene"},
                   {"id":"item-movie","label":"Movie","programBuilderType":"scene"}]})";

bool waitFor(const std::function<bool()>& done, int milliseconds = 2000) {
    QElapsedTimer guard;
    guard.start();
    while (!done() && guard.elapsed() < milliseconds) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return done();
}

// Whether the whole row is shown: inside the popup and not under a scroll arrow.
bool fullyShown(QtMenuPopup& popup, ViewHostWidget* host) {
    if (!host) {
        return false;
    }
    const QRect frame(host->mapTo(&popup, QPoint(0, 0)), host->size());
    return popup.rect().contains(frame) && popup.childAt(frame.topLeft() + QPoint(20, 1)) == host &&
           popup.childAt(frame.bottomLeft() + QPoint(20, -1)) == host;
}

void key(int code, const QString& text = {}) {
    QWidget* target = QApplication::activePopupWidget();
    ASSERT_NE(target, nullptr);
    QKeyEvent press(QEvent::KeyPress, code, Qt::NoModifier, text);
    QCoreApplication::sendEvent(target, &press);
}

// A wheel turn at the middle of the popup, delivered to the row under it as Qt does.
void wheel(QtMenuPopup& popup, int notches) {
    const QPoint middle(popup.width() / 2, popup.height() / 2);
    QWidget* under = popup.childAt(middle);
    QWidget& target = under ? *under : popup;
    const QPointF at(target.mapFrom(&popup, middle));
    QWheelEvent event(at, target.mapToGlobal(at), QPoint(), QPoint(0, 120 * notches), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(&target, &event);
}

// The pointer arriving over a row, as Qt reports it: an entry, then a move.
void hover(QWidget& host) {
    const QPoint centre(host.width() / 2, host.height() / 2);
    const QPointF local(centre);
    QEnterEvent enter(local, local, QPointF(host.mapToGlobal(centre)));
    QCoreApplication::sendEvent(&host, &enter);
    testing::move(host, centre);
}

std::string highlighted(const QtMenuPopup& popup) {
    MenuItem* item = popup.highlightedItem();
    return item ? item->title() : "(none)";
}

class QtMenuPopupTest : public ::testing::Test {
  protected:
    void SetUp() override {
        testing::app();
        Color::setCurrentScheme(ColorScheme::Light);
    }
    QRect available() const { return QGuiApplication::primaryScreen()->availableGeometry(); }
    void open(QtMenuPopup& popup) {
        popup.popupAt(QPoint(900, 0));
        ASSERT_TRUE(popup.isVisible());
    }
    ViewHostWidget* host(QtMenuPopup& popup, std::string_view title) {
        MenuItem* item = itemTitled(*menu.root, title);
        return item ? popup.hostOf(*item) : nullptr;
    }

    MenuHarness menu;
};

TEST_F(QtMenuPopupTest, ATallMenuScrollsInOneColumnAndTheWheelBringsQuitIntoReach) {
    menu.builder->build(*menu.root, stateFromText(bigHome(60)));
    QtMenuPopup popup(menu.root);
    open(popup);
    ASSERT_EQ(available().size(), QSize(testing::kScreenWidth, testing::kScreenHeight));
    EXPECT_EQ(popup.columnCount(), 1);
    EXPECT_TRUE(available().contains(popup.geometry()));
    EXPECT_GT(popup.sizeHint().height(), available().height());
    for (const auto& item : menu.root->itemArray()) {
        if (ViewHostWidget* row = popup.hostOf(*item)) {
            EXPECT_EQ(row->width(), 326) << item->title();
        }
    }

    ViewHostWidget* quit = host(popup, "Quit");
    ASSERT_NE(quit, nullptr);
    EXPECT_FALSE(fullyShown(popup, quit));
    // The wheel over any row scrolls the menu, one row a notch.
    for (int i = 0; i < 200 && !fullyShown(popup, quit); ++i) {
        wheel(popup, -1);
    }
    ASSERT_TRUE(fullyShown(popup, quit));
    EXPECT_FALSE(fullyShown(popup, host(popup, "Room 1")));
    testing::click(*quit, QPoint(100, 15));
    EXPECT_EQ(menu.quits, 1);
}

TEST_F(QtMenuPopupTest, ASubmenuOfARowInAScrolledMenuOpensBesideThatRow) {
    menu.builder->build(*menu.root, stateFromText(bigHome(60)));
    QtMenuPopup popup(menu.root);
    open(popup);
    for (int i = 0; i < 30; ++i) {
        wheel(popup, -1);
    }
    ViewHostWidget* row = host(popup, "Room 40");
    ASSERT_TRUE(fullyShown(popup, row));
    EXPECT_FALSE(fullyShown(popup, host(popup, "Room 1")));
    // Opening the menu made no room's rows, neither the popups' nor the model's.
    const std::shared_ptr<Menu>& room40 = itemTitled(*menu.root, "Room 40")->submenu();
    for (const auto& item : menu.root->itemArray()) {
        if (item->submenu() && item->title().starts_with("Room ")) {
            EXPECT_TRUE(item->submenu()->hasPendingFill()) << item->title();
        }
    }
    hover(*row);
    QtMenuPopup* submenu = popup.submenuOf(*itemTitled(*menu.root, "Room 40"));
    ASSERT_NE(submenu, nullptr);
    ASSERT_TRUE(submenu->isVisible());
    EXPECT_FALSE(room40->hasPendingFill());
    EXPECT_EQ(submenu->actions().size(), room40->numberOfItems());
    EXPECT_TRUE(itemTitled(*menu.root, "Room 41")->submenu()->hasPendingFill());
    const QRect frame = submenu->geometry();
    EXPECT_TRUE(frame.left() == popup.geometry().right() + 1 ||
                frame.right() + 1 == popup.geometry().left());
    EXPECT_NEAR(frame.top(), row->mapToGlobal(QPoint(0, 0)).y() - 4, 1);
    EXPECT_EQ(highlighted(popup), "Room 40");

    // The menu closing takes its open submenu, a window of its own, along.
    menu.root->cancelTracking();
    EXPECT_FALSE(popup.isVisible());
    EXPECT_FALSE(submenu->isVisible());
}

TEST_F(QtMenuPopupTest, ARebuildWhileScrolledKeepsTheHighlightedRowInReach) {
    const auto state = stateFromText(bigHome(60));
    menu.builder->build(*menu.root, state);
    QtMenuPopup popup(menu.root);
    open(popup);
    key(Qt::Key_End);
    EXPECT_EQ(highlighted(popup), "Quit");
    ASSERT_TRUE(fullyShown(popup, host(popup, "Quit")));

    ViewHostWidget* before = host(popup, "Quit");
    const QRect frame = popup.geometry();
    menu.builder->build(*menu.root, state);  // as a refresh does
    ASSERT_TRUE(waitFor([&] { return host(popup, "Quit") && host(popup, "Quit") != before; }));
    ASSERT_TRUE(popup.isVisible());
    EXPECT_EQ(popup.geometry(), frame);
    EXPECT_EQ(popup.columnCount(), 1);
    EXPECT_TRUE(available().contains(popup.geometry()));
    EXPECT_EQ(highlighted(popup), "Quit");
    ASSERT_TRUE(fullyShown(popup, host(popup, "Quit")));
    key(Qt::Key_Up);
    EXPECT_EQ(highlighted(popup), "Refresh");
    testing::click(*host(popup, "Quit"), QPoint(100, 15));
    EXPECT_EQ(menu.quits, 1);
}

TEST_F(QtMenuPopupTest, TheKeyboardWalksRowsOpensAndClosesSubmenusAndRunsAScene) {
    menu.builder->build(*menu.root, stateFromText(kSmallHome));
    QtMenuPopup popup(menu.root);
    open(popup);
    // Down from the top passes only enabled rows, view rows included, to the room.
    std::vector<std::string> walked;
    for (int i = 0; i < 10 && highlighted(popup) != "Kitchen"; ++i) {
        key(Qt::Key_Down);
        walked.push_back(highlighted(popup));
    }
    EXPECT_EQ(walked, (std::vector<std::string>{"Porch Light", "Kitchen"}));
    // A row without a hover look of its own gets the standard highlight.
    EXPECT_TRUE(host(popup, "Kitchen")->showsMenuHighlight());
    EXPECT_FALSE(host(popup, "Porch Light")->showsMenuHighlight());
    const QColor lit = host(popup, "Kitchen")->grab().toImage().pixelColor(10, 15);
    const QColor plain = host(popup, "Porch Light")->grab().toImage().pixelColor(10, 15);
    EXPECT_NE(lit, plain);

    key(Qt::Key_Right);
    QtMenuPopup* kitchen = popup.submenuOf(*itemTitled(*menu.root, "Kitchen"));
    ASSERT_TRUE(kitchen && kitchen->isVisible());
    EXPECT_EQ(QApplication::activePopupWidget(), kitchen);
    EXPECT_EQ(highlighted(*kitchen), "Temperature 21");
    key(Qt::Key_Escape);
    EXPECT_FALSE(kitchen->isVisible());
    ASSERT_TRUE(popup.isVisible());
    EXPECT_EQ(highlighted(popup), "Kitchen");

    key(Qt::Key_Down);
    EXPECT_EQ(highlighted(popup), "Scenes");
    key(Qt::Key_Return);
    QtMenuPopup* scenes = popup.submenuOf(*itemTitled(*menu.root, "Scenes"));
    ASSERT_TRUE(scenes && scenes->isVisible());
    EXPECT_EQ(highlighted(*scenes), "Dinner");
    key(Qt::Key_Return);
    ASSERT_EQ(menu.platform.http.transfers().size(), 1u);
    EXPECT_TRUE(menu.platform.http.last()->request.url.ends_with("/items/item-dinner/run"));

    // The run rebuilds the menu: the scenes submenu comes back, its highlight on a usable row.
    ASSERT_TRUE(waitFor([&] {
        QtMenuPopup* now = popup.submenuOf(*itemTitled(*menu.root, "Scenes"));
        return now && now != scenes && now->isVisible();
    }));
    scenes = popup.submenuOf(*itemTitled(*menu.root, "Scenes"));
    EXPECT_EQ(highlighted(*scenes), "Movie");  // "Dinner" is disabled while it runs
    EXPECT_TRUE(popup.isVisible());
    key(Qt::Key_Left);
    EXPECT_FALSE(scenes->isVisible());
    EXPECT_EQ(highlighted(popup), "Scenes");
}

TEST_F(QtMenuPopupTest, ARunFromAScrolledSubmenuBringsItBackScrolledToTheSameRow) {
    menu.builder->build(*menu.root, stateFromText(bigHome(60, 40)));
    QtMenuPopup popup(menu.root);
    open(popup);
    key(Qt::Key_End);
    for (int i = 0; i < 4; ++i) {
        key(Qt::Key_Up);
    }
    ASSERT_EQ(highlighted(popup), "Scenes");
    key(Qt::Key_Right);
    QtMenuPopup* scenes = popup.submenuOf(*itemTitled(*menu.root, "Scenes"));
    ASSERT_TRUE(scenes && scenes->isVisible());
    EXPECT_TRUE(available().contains(scenes->geometry()));
    key(Qt::Key_End);
    key(Qt::Key_Up);
    ASSERT_EQ(highlighted(*scenes), "Scene 39");
    key(Qt::Key_Return);
    ASSERT_EQ(menu.platform.http.transfers().size(), 1u);
    ASSERT_TRUE(waitFor([&] {
        QtMenuPopup* now = popup.submenuOf(*itemTitled(*menu.root, "Scenes"));
        return now && now != scenes && now->isVisible();
    }));
    scenes = popup.submenuOf(*itemTitled(*menu.root, "Scenes"));
    EXPECT_TRUE(available().contains(scenes->geometry()));
    EXPECT_EQ(highlighted(*scenes), "Scene 40");  // "Scene 39" is disabled while it runs
    Menu& model = *scenes->model();
    ViewHostWidget* last = scenes->hostOf(*model.itemAt(model.numberOfItems() - 1));
    ASSERT_TRUE(fullyShown(*scenes, last));
    // Scrolled to its end, not past it.
    EXPECT_LT(scenes->height() - (last->mapTo(scenes, QPoint(0, 0)).y() + last->height()), 10);
}

TEST_F(QtMenuPopupTest, AnOpenRoomComesBackAcrossARebuildWithTheNewDocumentsRows) {
    menu.builder->build(*menu.root, stateFromText(kSmallHome));
    QtMenuPopup popup(menu.root);
    open(popup);
    hover(*host(popup, "Kitchen"));
    QtMenuPopup* kitchen = popup.submenuOf(*itemTitled(*menu.root, "Kitchen"));
    ASSERT_TRUE(kitchen && kitchen->isVisible());
    ASSERT_NE(itemTitled(*kitchen->model(), "Temperature 21"), nullptr);

    // A new structure (another room) with a new reading: the room reopens on its new row,
    // made from the new document, not left empty by the menu it replaced.
    std::string text = kSmallHome;
    const std::string reading = R"("temperatures":[21]}})";
    text.replace(text.find(reading), reading.size(),
                 R"("temperatures":[22]}},{"id":"room-den","name":"Den","devices":[]})");
    menu.builder->build(*menu.root, stateFromText(text));
    ASSERT_TRUE(waitFor([&] {
        QtMenuPopup* now = popup.submenuOf(*itemTitled(*menu.root, "Kitchen"));
        return now && now != kitchen && now->isVisible();
    }));
    kitchen = popup.submenuOf(*itemTitled(*menu.root, "Kitchen"));
    EXPECT_NE(itemTitled(*kitchen->model(), "Temperature 22"), nullptr);
    EXPECT_EQ(kitchen->actions().size(), kitchen->model()->numberOfItems());
    EXPECT_NE(itemTitled(*menu.root, "Den"), nullptr);
}

TEST_F(QtMenuPopupTest, HomeEndAndTypeAheadReachRowsAndSpaceFlipsASwitch) {
    menu.builder->build(*menu.root, stateFromText(bigHome(60)));
    QtMenuPopup popup(menu.root);
    open(popup);
    struct Step {
        int key;
        QString text;
        std::string expected;
    };
    const Step steps[] = {
        {Qt::Key_R, "r", "Room 1"},  // "Rooms" is a title: not a row to stop on
        {Qt::Key_R, "r", "Room 2"},      {Qt::Key_Q, "q", "Quit"},
        {Qt::Key_Home, {}, "Room 1"},    {Qt::Key_End, {}, "Quit"},
        {Qt::Key_S, "S", "Scenes"},      {Qt::Key_S, "s", "Settings..."},
        {Qt::Key_X, "x", "Settings..."},
    };
    for (const auto& step : steps) {
        key(step.key, step.text);
        EXPECT_EQ(highlighted(popup), step.expected) << step.text.toStdString();
        EXPECT_TRUE(fullyShown(popup, host(popup, step.expected))) << step.expected;
    }

    menu.builder->build(*menu.root, stateFromText(kSmallHome));
    ASSERT_TRUE(waitFor([&] { return host(popup, "Porch Light") != nullptr; }));
    key(Qt::Key_Home);
    EXPECT_EQ(highlighted(popup), "Porch Light");
    key(Qt::Key_Space);
    ASSERT_EQ(menu.platform.http.transfers().size(), 1u);
    EXPECT_TRUE(menu.platform.http.last()->request.url.ends_with("/items/pin-porch/run"));
}

TEST_F(QtMenuPopupTest, AFocusedControlInARowTakesItsKeysBeforeTheMenu) {
    auto root = std::make_shared<Menu>();
    auto row = std::make_shared<View>(Rect(0, 0, 326, 30));
    auto slider = std::make_shared<Slider>(Rect(40, 5, 200, 20));
    slider->setDoubleValue(0.5);
    row->addSubview(slider);
    auto sliderItem = MenuItem::make("Volume");
    sliderItem->setView(row);
    root->addItem(sliderItem);
    root->addItem(MenuItem::make("Next"));
    QtMenuPopup popup(root);
    open(popup);
    key(Qt::Key_Down);
    EXPECT_EQ(highlighted(popup), "Volume");
    ASSERT_TRUE(popup.modelWindow().makeFirstResponder(slider.get()));
    key(Qt::Key_Down);  // the slider steps down; the highlight stays
    EXPECT_LT(slider->doubleValue(), 0.5);
    EXPECT_EQ(highlighted(popup), "Volume");
    key(Qt::Key_Escape);  // not the slider's: the menu closes
    EXPECT_FALSE(popup.isVisible());
}

TEST_F(QtMenuPopupTest, AnOpenColourPickerInALightRowTakesTheArrowKeys) {
    auto root = std::make_shared<Menu>();
    auto row = std::make_shared<View>(Rect(0, 0, 326, 90));
    std::vector<double> hues;
    auto picker = std::make_shared<InlineColorPickerView>(
        180, 0.5, [&](double hue, double, bool) { hues.push_back(hue); });
    picker->setFrame(Rect(55, 4, 216, 48));
    row->addSubview(picker);
    auto lightItem = MenuItem::make("Ceiling Light");
    lightItem->setView(row);
    root->addItem(lightItem);
    root->addItem(MenuItem::make("Next"));
    QtMenuPopup popup(root);
    open(popup);
    key(Qt::Key_Down);
    ASSERT_TRUE(popup.modelWindow().makeFirstResponder(picker.get()));
    key(Qt::Key_Right);  // the picker's hue steps on; the menu's highlight stays
    ASSERT_FALSE(hues.empty());
    EXPECT_GT(picker->hue(), 180);
    EXPECT_EQ(highlighted(popup), "Ceiling Light");
    key(Qt::Key_Down);  // the picker's saturation, not the next row
    EXPECT_EQ(highlighted(popup), "Ceiling Light");
    key(Qt::Key_Escape);  // not the picker's: the menu closes
    EXPECT_FALSE(popup.isVisible());
}

TEST_F(QtMenuPopupTest, TheKeyboardWalksIntoTheAppGridAcrossItsTilesAndOut) {
    std::vector<MediaAppTileModel> models;
    for (int i = 0; i < 4; ++i) {
        models.push_back({std::to_string(i), "App " + std::to_string(i), "", nullptr, "app.fill"});
    }
    std::vector<std::string> launched;
    auto grid = std::make_shared<MediaAppGridView>(
        326, models, [&](const std::string& id) { launched.push_back(id); });
    auto root = std::make_shared<Menu>();
    root->addItem(MenuItem::make("Before"));
    auto apps = MenuItem::make("Apps");
    apps->setView(grid);
    root->addItem(apps);
    root->addItem(MenuItem::make("After"));
    QtMenuPopup popup(root);
    open(popup);
    Window& window = popup.modelWindow();
    auto press = [](int code, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QKeyEvent event(QEvent::KeyPress, code, modifiers);
        QCoreApplication::sendEvent(QApplication::activePopupWidget(), &event);
    };
    press(Qt::Key_Down);
    EXPECT_EQ(highlighted(popup), "Before");
    EXPECT_EQ(window.firstResponder(), nullptr);
    press(Qt::Key_Down);  // the grid's row takes the keyboard at its first tile
    EXPECT_EQ(highlighted(popup), "Apps");
    EXPECT_EQ(window.firstResponder(), grid->tile("0"));
    press(Qt::Key_Right);
    press(Qt::Key_Tab);
    EXPECT_EQ(window.firstResponder(), grid->tile("2"));
    EXPECT_EQ(highlighted(popup), "Apps");
    // The ring shows on screen, in the host of the row.
    const QImage picture = popup.hostOf(*apps)->grab().toImage();
    const Rect tile = grid->tile("2")->frame();
    const QColor ring = picture.pixelColor(int(tile.midX()), int(tile.minY()) + 1);
    const QColor plain =
        picture.pixelColor(int(grid->tile("1")->frame().midX()), int(tile.minY()) + 1);
    EXPECT_NE(ring, plain);
    press(Qt::Key_Return);
    EXPECT_EQ(launched, (std::vector<std::string>{"2"}));
    press(Qt::Key_Down);  // onto the short last row, then out of the grid
    EXPECT_EQ(window.firstResponder(), grid->tile("3"));
    press(Qt::Key_Down);
    EXPECT_EQ(highlighted(popup), "After");
    EXPECT_EQ(window.firstResponder(), nullptr);
    press(Qt::Key_Up);  // back in from below: the last tile
    EXPECT_EQ(window.firstResponder(), grid->tile("3"));
    press(Qt::Key_Backtab, Qt::ShiftModifier);
    press(Qt::Key_Backtab, Qt::ShiftModifier);
    press(Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(window.firstResponder(), grid->tile("0"));
    press(Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(highlighted(popup), "Before");
    EXPECT_EQ(window.firstResponder(), nullptr);
    // The pointer taking the highlight elsewhere takes the keyboard out of the grid too.
    press(Qt::Key_Tab);
    ASSERT_EQ(window.firstResponder(), grid->tile("0"));
    popup.setActiveAction(popup.actions().front());
    EXPECT_EQ(window.firstResponder(), nullptr);
    EXPECT_EQ(launched.size(), 1u);
}

TEST_F(QtMenuPopupTest, ThePointerLeavingAnOpenSubmenuForAnotherRowMovesTheHighlightThere) {
    menu.builder->build(*menu.root, stateFromText(bigHome(3)));
    QtMenuPopup popup(menu.root);
    open(popup);
    hover(*host(popup, "Room 3"));
    QtMenuPopup* submenu = popup.submenuOf(*itemTitled(*menu.root, "Room 3"));
    ASSERT_TRUE(submenu && submenu->isVisible());

    // The open submenu has the pointer; it jumps straight onto another row of this menu.
    ViewHostWidget* other = host(popup, "Room 1");
    const QPoint global = other->mapToGlobal(QPoint(other->width() / 2, other->height() / 2));
    QMouseEvent jump(QEvent::MouseMove, QPointF(submenu->mapFromGlobal(global)), QPointF(global),
                     Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(submenu, &jump);

    EXPECT_FALSE(submenu->isVisible());
    std::vector<std::string> lit;
    for (const auto& item : menu.root->itemArray()) {
        if (item->isHighlighted()) {
            lit.push_back(item->title());
        }
    }
    EXPECT_EQ(lit, std::vector<std::string>{"Room 1"});
}

}  // namespace
}  // namespace corvix
