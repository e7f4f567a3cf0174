// Fetching and reading the state document: the client's fetch, envelope and parse plus a walk
// over every member the menu reads, next to a bare Boost.JSON parse of the same bytes.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>

#include "hub/OrbeluneClient.h"
#include "platform/Environment.h"
#include "platform/testing/FakeHttpClient.h"
#include "platform/testing/VirtualRunLoop.h"
#include "state/StateAccessors.h"

namespace corvix {
namespace {

/// A generated home of about 1 MB: rooms full of devices with commands, and automations.
std::string generatedState() {
    json::array rooms;
    int id = 0;
    for (int r = 0; rooms.size() < 40; ++r) {
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

void BM_RawBoostJsonParse(benchmark::State& state) {
    const std::string& bytes = stateBytes();
    for (auto _ : state) {
        json::value value = json::parse(bytes);
        benchmark::DoNotOptimize(value);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(BM_RawBoostJsonParse)->Unit(benchmark::kMillisecond);

void BM_FetchParseAndWalk(benchmark::State& state) {
    const std::string& bytes = stateBytes();
    VirtualRunLoop loop;
    FakeHttpClient http(loop);
    http.responder = [&](const HttpRequest&) -> std::optional<Result<HttpResponse>> {
        return Result<HttpResponse>(HttpResponse{200, {}, bytes});
    };
    MapEnvironment env;
    const auto token = std::filesystem::temp_directory_path() / "corvix-bench-token";
    std::ofstream(token) << "bench";
    env.set("ORBELUNE_MAC_CONTROL_TOKEN_FILE", token.string());
    OrbeluneClient client(env, http, loop);
    for (auto _ : state) {
        std::size_t touched = 0;
        client.fetchState([&](Result<JsonObject> result) { touched = walk(result.value()); });
        loop.runUntilIdle();
        benchmark::DoNotOptimize(touched);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(BM_FetchParseAndWalk)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace corvix

BENCHMARK_MAIN();
