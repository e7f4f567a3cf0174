// The cost of a refresh, piece by piece, next to a bare Boost.JSON parse of the same bytes: the
// client's fetch with envelope, status check and a walk over every member the menu reads; the
// structure signature; the full menu build of a big home, whose rooms make their rows when first
// opened. The ratios to the goals are measured at the end of the run in alternating rounds, so
// both sides see the same load.
#include <benchmark/benchmark.h>

#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <vector>

#include "BenchPlatform.h"
#include "HomeModel.h"
#include "app/StructureSignature.h"
#include "hub/OrbeluneClient.h"
#include "menu/MenuBuilder.h"
#include "menu/StayOpenMenu.h"
#include "state/StateAccessors.h"

namespace corvix {
namespace {

/// A generated home of at least 1 MB: rooms full of devices with commands, and automations.
std::string generatedState() {
    constexpr std::size_t kTargetBytes = 1u << 20;
    constexpr std::size_t kScenesBytes = 20'000;  // the 200 scenes below, about
    json::array rooms;
    std::size_t roomBytes = 0;
    int id = 0;
    for (int r = 0; roomBytes + kScenesBytes < kTargetBytes; ++r) {
        json::array devices;
        for (int d = 0; d < 30; ++d) {
            json::array commands;
            for (int c = 0; c < 6; ++c) {
                commands.push_back(json::object{{"key", "cmd" + std::to_string(c)},
                                                {"label", "Command " + std::to_string(c)},
                                                {"enabled", c % 2 == 0}});
            }
            devices.push_back(json::object{{"id", ++id},
                                           {"name", "Device " + std::to_string(id)},
                                           {"kind", d % 3 == 0 ? "light" : "switch"},
                                           {"isOn", d % 2 == 0},
                                           {"brightness", d * 3},
                                           {"status", "Idle"},
                                           {"commands", std::move(commands)}});
        }
        rooms.push_back(
            json::object{{"id", "room-" + std::to_string(r)},
                         {"name", "Room " + std::to_string(r)},
                         {"devices", std::move(devices)},
                         {"sensors", json::object{{"temperatures", json::array{20.5, "21"}},
                                                  {"humidities", json::array{40}}}}});
        roomBytes += json::serialize(rooms.back()).size() + 1;
    }
    json::array scenes;
    for (int s = 0; s < 200; ++s) {
        scenes.push_back(json::object{{"id", "scene-" + std::to_string(s)},
                                      {"label", "Scene " + std::to_string(s)},
                                      {"toggle", json::object{{"capable", s % 2 == 0}}}});
    }
    json::object state{{"rooms", std::move(rooms)}, {"programScenes", std::move(scenes)}};
    return json::serialize(json::object{{"status", true}, {"data", std::move(state)}});
}

const std::string& stateBytes() {
    static const std::string bytes = generatedState();
    return bytes;
}

std::size_t walk(const JsonObject& state) {
    std::size_t touched = 0;
    for (const JsonObject* room : array(state, "rooms")) {
        touched += string(*room, "name", "Room").size();
        const JsonObject* sensors = objectMember(*room, "sensors");
        if (sensors) {
            touched += numberArray(*sensors, "temperatures").size();
            touched += numberArray(*sensors, "humidities").size();
        }
        for (const JsonObject* device : array(*room, "devices")) {
            touched += string(*device, "id").size() + string(*device, "name").size() +
                       string(*device, "kind").size();
            touched += bool_(*device, "isOn") ? 1 : 0;
            touched += optionalDouble(*device, "brightness").has_value();
            for (const JsonObject* command : array(*device, "commands")) {
                touched += string(*command, "key").size() + string(*command, "label").size();
                touched += bool_(*command, "enabled", true);
            }
        }
    }
    for (const JsonObject* scene : array(state, "programScenes")) {
        touched += string(*scene, "id").size() + string(*scene, "label").size();
    }
    return touched;
}

/// The simulator's generated big home as the hub serves it: 100 rooms of 42 devices.
const std::string& bigHomeBytes() {
    static const std::string bytes = [] {
        hubsim::HomeModel home(hubsim::scaledHome(100, 42), 0, 30);
        return json::serialize(
            json::object{{"status", true}, {"data", home.state(0, "http://127.0.0.1:8080")}});
    }();
    return bytes;
}

const std::string& bytesOf(int document) {
    return document == 0 ? stateBytes() : bigHomeBytes();
}

std::shared_ptr<const JsonObject> parsedState(int document) {
    auto state = OrbeluneClient::unwrapEnvelope(bytesOf(document));
    return std::make_shared<const JsonObject>(std::move(state.value()));
}

void BM_Parse(benchmark::State& state) {
    const std::string& bytes = bytesOf(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        json::value value = json::parse(bytes);
        benchmark::DoNotOptimize(value);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
    state.counters["bytes"] = static_cast<double>(bytes.size());
}
BENCHMARK(BM_Parse)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_FetchEnvelopeStatusAndWalk(benchmark::State& state) {
    const std::string& bytes = bytesOf(static_cast<int>(state.range(0)));
    BenchPlatform platform;
    platform.http.responder = [&](const HttpRequest&) -> std::optional<Result<HttpResponse>> {
        return Result<HttpResponse>(HttpResponse{200, {}, bytes});
    };
    OrbeluneClient client(platform.environment, platform.http, platform.loop);
    for (auto _ : state) {
        std::size_t touched = 0;
        client.fetchState([&](Result<JsonObject> result) { touched = walk(result.value()); });
        platform.loop.runUntilIdle();
        benchmark::DoNotOptimize(touched);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(BM_FetchEnvelopeStatusAndWalk)->Arg(0)->Unit(benchmark::kMillisecond);

void BM_StructureSignature(benchmark::State& state) {
    const auto document = parsedState(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        std::string signature = menuStructureSignature(*document);
        benchmark::DoNotOptimize(signature);
    }
    state.counters["signature_bytes"] =
        static_cast<double>(menuStructureSignature(*document).size());
}
BENCHMARK(BM_StructureSignature)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_FullMenuBuild(benchmark::State& state) {
    BenchMenu bench;
    auto& menu = bench.menu;
    MenuBuilder& builder = bench.builder;
    const auto document = parsedState(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        builder.build(*menu, document);
        benchmark::DoNotOptimize(menu->itemArray().size());
    }
    state.counters["top_level_rows"] = static_cast<double>(menu->itemArray().size());
}
BENCHMARK(BM_FullMenuBuild)->Arg(1)->Unit(benchmark::kMillisecond);

/// Opens every room of a built menu: the rows a build used to make at once.
std::size_t openEveryRoom(const Menu& menu) {
    std::size_t rows = 0;
    for (const auto& item : menu.itemArray()) {
        if (item->submenu() && item->submenu()->hasPendingFill()) {
            rows += item->submenu()->itemArray().size();
        }
    }
    return rows;
}

void BM_FullMenuBuildAndEveryRoomOpened(benchmark::State& state) {
    BenchMenu bench;
    auto& menu = bench.menu;
    MenuBuilder& builder = bench.builder;
    const auto document = parsedState(static_cast<int>(state.range(0)));
    std::size_t roomRows = 0;
    for (auto _ : state) {
        builder.build(*menu, document);
        roomRows = openEveryRoom(*menu);
        benchmark::DoNotOptimize(roomRows);
    }
    state.counters["room_rows"] = static_cast<double>(roomRows);
}
BENCHMARK(BM_FullMenuBuildAndEveryRoomOpened)->Arg(1)->Unit(benchmark::kMillisecond);

double threadCpuSeconds() {
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

struct Ratio {
    double ratio = 0;
    /// Medians of the two sides, in milliseconds.
    double parseMs = 0;
    double measuredMs = 0;
};

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

/// The cost of `measured` over a bare parse of `document`'s bytes, in alternating rounds so both
/// see the same machine: each round parses and frees the bytes, then runs `measured` on a
/// document of its own (as a refresh does). `measured` answers the document when it took it
/// over, so that it is freed outside its time. The median of the per-round ratios of thread CPU
/// time.
///
/// A taken-down menu leaves thousands of freed small blocks, which malloc merges on the next
/// large request: a parse right after a teardown paid for that (up to four times its cost), so
/// a large allocation before each parse settles the heap first. A parse on a thread of its own
/// avoided that but cost two to three times the same parse here, for reasons of that thread's
/// heap, and flattered every ratio.
template <typename Measured, typename Reset = void (*)()>
Ratio ratioToParse(
    int document, Measured measured, Reset reset = [] {}, int rounds = 41) {
    const std::string& bytes = bytesOf(document);
    std::vector<double> ratios, parses, measures;
    for (int i = -1; i < rounds; ++i) {  // one round to warm up
        {
            // A large request makes malloc merge the freed small blocks first (without giving
            // memory back), so the parse meets a settled heap.
            void* large = std::malloc(1 << 20);
            benchmark::DoNotOptimize(large);
            std::free(large);
        }
        const double p0 = threadCpuSeconds();
        {
            json::value parsed = json::parse(bytes);
            benchmark::DoNotOptimize(parsed);
        }
        const double parseSeconds = threadCpuSeconds() - p0;
        auto value = std::make_unique<json::value>(json::parse(bytes));
        const double t0 = threadCpuSeconds();
        auto kept = measured(*value);
        const double t1 = threadCpuSeconds();
        value.reset();
        kept = {};
        reset();
        if (i >= 0) {
            ratios.push_back((t1 - t0) / parseSeconds);
            parses.push_back(parseSeconds * 1e3);
            measures.push_back((t1 - t0) * 1e3);
        }
    }
    return {median(ratios), median(parses), median(measures)};
}

/// A ratio with its goal, or with none (a figure for comparison).
void printRatio(const char* what, const Ratio& ratio, std::optional<double> goal) {
    char verdict[48] = "(for comparison)";
    if (goal) {
        std::snprintf(verdict, sizeof verdict, "(goal <= %.1fx) %-7s", *goal,
                      ratio.ratio <= *goal ? "met" : "NOT MET");
    }
    std::printf("%-60s %5.2fx %-24s parse %5.2f ms, measured %6.2f ms\n", what, ratio.ratio,
                verdict, ratio.parseMs, ratio.measuredMs);
}

std::shared_ptr<const JsonObject> stateOf(json::value& parsed) {
    auto state = OrbeluneClient::unwrapEnvelope(Result<json::value>(std::move(parsed)));
    return std::make_shared<const JsonObject>(std::move(state.value()));
}

void printRatios() {
    // No memory goes back to the system during the rounds: neither side pays page faults
    // for what the other freed.
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
    mallopt(M_MMAP_THRESHOLD, 64 << 20);
    std::printf("\nratios (alternating rounds in this run, median of thread CPU time ratios)\n");
    {
        BenchPlatform platform;
        platform.http.responder = [](const HttpRequest&) -> std::optional<Result<HttpResponse>> {
            return Result<HttpResponse>(HttpResponse{200, {}, bytesOf(0)});
        };
        OrbeluneClient client(platform.environment, platform.http, platform.loop);
        auto fetch = [&](json::value&) {
            std::size_t touched = 0;
            client.fetchState([&](Result<JsonObject> result) { touched = walk(result.value()); });
            platform.loop.runUntilIdle();
            benchmark::DoNotOptimize(touched);
            return std::shared_ptr<const JsonObject>();
        };
        printRatio("fetch + envelope + status + walk / parse (1 MB state)", ratioToParse(0, fetch),
                   1.3);
    }
    for (int document : {0, 1}) {
        auto signature = [](json::value& parsed) {
            auto state = stateOf(parsed);
            std::string text = menuStructureSignature(*state);
            benchmark::DoNotOptimize(text);
            return state;
        };
        printRatio(document == 0 ? "structure signature / parse (1 MB state)"
                                 : "structure signature / parse (big home)",
                   ratioToParse(document, signature), 0.2);
    }
    {
        BenchMenu bench;
        auto& menu = bench.menu;
        MenuBuilder& builder = bench.builder;
        auto build = [&](json::value& parsed) {
            auto state = stateOf(parsed);
            builder.build(*menu, state);
            return state;
        };
        // Built each time from the placeholder menu, as after launch or an offline spell; taking
        // down the menu built before is not part of it.
        auto placeholder = [&] { builder.buildLoading(*menu, "Loading"); };
        printRatio("full menu build / parse (big home)", ratioToParse(1, build, placeholder), 1.0);
        auto buildAndOpenAll = [&](json::value& parsed) {
            auto state = build(parsed);
            benchmark::DoNotOptimize(openEveryRoom(*menu));
            return state;
        };
        printRatio("full menu build, every room opened / parse (big home)",
                   ratioToParse(1, buildAndOpenAll, placeholder), std::nullopt);

        // What the user waits for when a room opens the first time (42 devices).
        std::vector<double> openings;
        for (int round = 0; round < 41; ++round) {
            builder.build(*menu, parsedState(1));
            std::vector<Menu*> rooms;
            for (const auto& item : menu->itemArray()) {
                if (item->submenu() && item->submenu()->hasPendingFill()) {
                    rooms.push_back(item->submenu().get());
                }
            }
            Menu* room = rooms.at(rooms.size() / 2);
            const double t0 = threadCpuSeconds();
            benchmark::DoNotOptimize(room->itemArray().size());
            openings.push_back((threadCpuSeconds() - t0) * 1e3);
        }
        std::printf("%-60s %6.2f ms\n", "first opening of one room (median)", median(openings));
    }
}

}  // namespace
}  // namespace corvix

int main(int argc, char** argv) {
    using namespace corvix;
    benchmark::Initialize(&argc, argv);
    std::printf("documents: generated state %zu bytes, big home (100 x 42) %zu bytes\n",
                stateBytes().size(), bigHomeBytes().size());
    benchmark::RunSpecifiedBenchmarks();
    printRatios();
    benchmark::Shutdown();
    return 0;
}
