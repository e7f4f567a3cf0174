#include <gtest/gtest.h>

#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QImage>
#include <QMouseEvent>
#include <algorithm>
#include <memory>
#include <thread>

#include "QtTestSupport.h"
#include "controls/OrbeluneToggleSwitch.h"
#include "platform/qt/QtGraphicsContext.h"
#include "platform/qt/QtMenuPopup.h"
#include "platform/qt/QtServices.h"
#include "platform/qt/ViewHostWidget.h"
#include "platform/ui/ButtonTarget.h"
#include "platform/ui/Menu.h"
#include "platform/ui/Symbols.h"
#include "platform/ui/ViewRenderer.h"

namespace corvix {
namespace {

using testing::app;
using testing::click;
using testing::send;

class QtHostTest : public ::testing::Test {
  protected:
    void SetUp() override {
        app();
        Color::setCurrentScheme(ColorScheme::Light);
    }
};

// A 326 × 32 switch row as the menu builds it.
struct SwitchRow {
    std::shared_ptr<View> row = std::make_shared<View>(Rect(0, 0, 326, 32));
    std::shared_ptr<OrbeluneToggleSwitch> sw =
        std::make_shared<OrbeluneToggleSwitch>(Rect(268, 4, 44, 24));
    SwitchRow() { row->addSubview(sw); }
};

TEST_F(QtHostTest, ClickOnAHostedSwitchFlipsItAndSendsTheAction) {
    SwitchRow r;
    auto menuWindow = std::make_shared<Window>(Rect(0, 0, 326, 32), WindowStyleBorderless);
    ViewHostWidget host(r.row, menuWindow.get());
    int sent = 0;
    auto target = ButtonTarget::make([&] { ++sent; });
    r.sw->setTarget(target);
    host.show();
    // Qt's y runs down: the switch's centre (290, 16) from the bottom is (290, 16) from the top.
    click(host, QPoint(290, 16));
    EXPECT_TRUE(r.sw->isOn());
    EXPECT_EQ(sent, 1);
    click(host, QPoint(100, 16));  // beside it: nothing
    EXPECT_TRUE(r.sw->isOn());
    EXPECT_EQ(sent, 1);
}

TEST_F(QtHostTest, HostedRowShowsTheGreenTrackOnlyWhenOn) {
    for (bool on : {true, false}) {
        SwitchRow r;
        r.sw->setOn(on);
        ViewHostWidget host(r.row, nullptr);
        QImage image = host.grab().toImage();
        ASSERT_EQ(image.size(), QSize(326, 32));
        // Left part of the track, clear of the knob when on.
        QColor c = image.pixelColor(276, 16);
        bool green = c.green() > 150 && c.red() < 120 && c.blue() < 150;
        EXPECT_EQ(green, on) << c.name().toStdString();
    }
}

TEST_F(QtHostTest, FlippedViewsAndSymbolsDrawWhereTheModelSays) {
    // A symbol at the top left of a flipped root lands at the top left of the image.
    class Flipped : public View {
      public:
        using View::View;
        bool isFlipped() const override { return true; }
    };
    auto root = std::make_shared<Flipped>(Rect(0, 0, 40, 40));
    auto icon = std::make_shared<ImageView>(Rect(0, 0, 20, 20));
    icon->setImage(systemSymbolImage("house.fill"));
    icon->setImageScaling(ImageScaling::ProportionallyUpOrDown);
    icon->setContentTintColor(Color::black());
    root->addSubview(icon);
    ViewHostWidget host(root, nullptr);
    QImage image = host.grab().toImage().convertToFormat(QImage::Format_ARGB32);
    int top = 0, bottom = 0;
    for (int y = 0; y < 40; ++y) {
        for (int x = 0; x < 40; ++x) {
            if (qAlpha(image.pixel(x, y)) > 128 && qGray(image.pixel(x, y)) < 80) {
                (y < 20 ? top : bottom)++;
            }
        }
    }
    EXPECT_GT(top, 20) << "the glyph should be drawn from the icon font";
    EXPECT_EQ(bottom, 0);
}

TEST_F(QtHostTest, TheSymbolFontIsFoundByItsFamilyAndTheHouseIsDrawnWithoutIt) {
    // Installed with the program's dependencies, and found wherever its package put it.
    EXPECT_EQ(symbolFontFamily(), QStringLiteral("Material Icons"));

    // Without the font the tray still gets the house: a roof at the top, a body with a door.
    const QImage house = drawnFallbackSymbol("house.fill", QSize(22, 22), Qt::black);
    auto inked = [&](int x, int y) { return qAlpha(house.pixel(x, y)) > 128; };
    EXPECT_TRUE(inked(11, 6));    // the roof
    EXPECT_FALSE(inked(2, 4));    // beside the roof
    EXPECT_TRUE(inked(6, 16));    // the body
    EXPECT_FALSE(inked(11, 18));  // the door
    EXPECT_FALSE(inked(11, 21));  // below the house
    // Other symbols stay empty rather than showing something wrong.
    const QImage play = drawnFallbackSymbol("play.fill", QSize(22, 22), Qt::black);
    for (int y = 0; y < 22; ++y) {
        for (int x = 0; x < 22; ++x) {
            ASSERT_EQ(qAlpha(play.pixel(x, y)), 0);
        }
    }
}

TEST_F(QtHostTest, DecodesAndRedrawsImagesWithoutADisplay) {
    QImage source(40, 20, QImage::Format_ARGB32);
    source.fill(QColor(255, 0, 0));
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    source.save(&buffer, "PNG");
    QtImageService images;
    auto image = images.decode(std::vector<std::uint8_t>(png.begin(), png.end()));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->size(), (Size{40, 20}));
    EXPECT_EQ(images.decode({1, 2, 3}), nullptr);
    // Larger than the service takes: refused, whatever the file's own size.
    EXPECT_EQ(QtImageService(40 * 20 - 1).decode({png.begin(), png.end()}), nullptr);
    EXPECT_TRUE(QtImageService(40 * 20).decode({png.begin(), png.end()}));

    auto ctx = images.makeBitmapContext(10, 5);
    ASSERT_TRUE(ctx);
    ctx->setCompositingOperation(CompositingOperation::Copy);
    ctx->drawImage(*image, {0, 0, 10, 5}, CompositingOperation::Copy, 1.0, std::nullopt);
    auto small = ctx->makeImage();
    ASSERT_EQ(small->bitmaps().size(), 1u);
    const BitmapRep& rep = small->bitmaps()[0];
    EXPECT_EQ(rep.pixelsWide, 10);
    EXPECT_EQ(rep.pixelsHigh, 5);
    EXPECT_EQ(rep.pixels[0], 255);  // red
    EXPECT_EQ(rep.pixels[1], 0);
}

TEST_F(QtHostTest, RunLoopRunsPostedWorkFromOtherThreadsAndDueTimersInOrder) {
    QtRunLoop loop;
    std::vector<std::string> order;
    Timer cancelled = loop.after(Duration{0}, [&] { order.push_back("cancelled"); });
    loop.after(Duration{0}, [&] { order.push_back("timer"); });
    cancelled.cancel();
    std::thread worker([&] { loop.post([&] { order.push_back("posted"); }); });
    worker.join();
    QElapsedTimer guard;
    guard.start();
    while (order.size() < 2 && guard.elapsed() < 2000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    std::sort(order.begin(), order.end());
    EXPECT_EQ(order, (std::vector<std::string>{"posted", "timer"}));
    EXPECT_TRUE(loop.isMainThread());
}

// A menu that stays open while asked to.
class StickyMenu : public Menu {
  public:
    bool stay = true;
    void cancelTracking() override {
        if (!stay) {
            Menu::cancelTracking();
        }
    }
};

TEST_F(QtHostTest, PopupRowsHostTheirViewsAndTheMenuMayRefuseToClose) {
    auto menu = std::make_shared<StickyMenu>();
    auto item = MenuItem::make("Lamp");
    SwitchRow r;
    item->setView(r.row);
    menu->addItem(item);
    menu->addItem(MenuItem::separator());
    menu->addItem(MenuItem::make("Quit"));
    QtMenuPopup popup(menu);
    popup.popupAt(QPoint(100, 100));
    ASSERT_TRUE(popup.isVisible());
    EXPECT_TRUE(menu->isOpen());
    EXPECT_EQ(r.row->window(), &popup.modelWindow());
    EXPECT_TRUE(popup.modelWindow().isVisible());

    // A click far outside asks the model, which keeps the menu open.
    QPoint outside = popup.mapFromGlobal(QPoint(900, 900));
    send(popup, QEvent::MouseButtonPress, outside);
    EXPECT_TRUE(popup.isVisible());
    menu->stay = false;
    send(popup, QEvent::MouseButtonPress, outside);
    EXPECT_FALSE(popup.isVisible());
    EXPECT_FALSE(menu->isOpen());
}

}  // namespace
}  // namespace corvix
