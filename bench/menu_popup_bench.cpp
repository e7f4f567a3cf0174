// Opening the status menu of a big home (the simulator's 100 rooms of 42 devices) on Qt's
// offscreen platform: the popup with its row widgets, from a menu just built, as after a
// structural refresh.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QCoreApplication>
#include <QEnterEvent>
#include <memory>

#include "BenchPlatform.h"
#include "HomeModel.h"
#include "hub/OrbeluneClient.h"
#include "menu/MenuBuilder.h"
#include "menu/StayOpenMenu.h"
#include "platform/qt/QtMenuPopup.h"
#include "platform/qt/ViewHostWidget.h"

namespace corvix {
namespace {

std::shared_ptr<const JsonObject> bigHome() {
    hubsim::HomeModel home(hubsim::scaledHome(100, 42), 0, 30);
    return std::make_shared<const JsonObject>(home.state(0, "http://127.0.0.1:8080"));
}

void BM_OpenBigHomeMenu(benchmark::State& state) {
    BenchMenu bench;
    auto& menu = bench.menu;
    MenuBuilder& builder = bench.builder;
    const auto document = bigHome();
    for (auto _ : state) {
        state.PauseTiming();
        builder.build(*menu, document);
        state.ResumeTiming();
        auto popup = std::make_unique<QtMenuPopup>(menu);
        popup->popupAt(QPoint(900, 0));
        QCoreApplication::processEvents();
        benchmark::DoNotOptimize(popup->isVisible());
        state.PauseTiming();
        popup->hide();
        popup.reset();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_OpenBigHomeMenu)->Unit(benchmark::kMillisecond);

/// The pointer entering a room's row of the open menu: its submenu opens with 42 device rows.
void BM_OpenOneRoomOfTheOpenMenu(benchmark::State& state) {
    BenchMenu bench;
    auto& menu = bench.menu;
    MenuBuilder& builder = bench.builder;
    const auto document = bigHome();
    std::size_t rows = 0;
    for (auto _ : state) {
        state.PauseTiming();
        builder.build(*menu, document);
        auto popup = std::make_unique<QtMenuPopup>(menu);
        popup->popupAt(QPoint(900, 0));
        QCoreApplication::processEvents();
        MenuItem* room = nullptr;
        for (const auto& item : menu->itemArray()) {
            if (item->title() == "Room 50") {
                room = item.get();
            }
        }
        QWidget* row = room ? popup->hostOf(*room) : nullptr;
        if (!row) {
            state.SkipWithError("no row for Room 50");
            break;
        }
        state.ResumeTiming();
        QEnterEvent enter(QPointF(10, 10), QPointF(10, 10), QPointF(910, 10));
        QCoreApplication::sendEvent(row, &enter);
        QCoreApplication::processEvents();
        QtMenuPopup* submenu = popup->submenuOf(*room);
        rows = submenu && submenu->isVisible() ? submenu->actions().size() : 0;
        state.PauseTiming();
        popup->hide();
        popup.reset();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
    state.counters["room_rows"] = static_cast<double>(rows);
}
BENCHMARK(BM_OpenOneRoomOfTheOpenMenu)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace corvix

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
