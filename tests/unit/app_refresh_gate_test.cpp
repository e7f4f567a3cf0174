#include <gtest/gtest.h>

#include "app/LaunchConfiguration.h"
#include "app/MenuRefreshGate.h"
#include "app/StructureSignature.h"
#include "platform/Environment.h"

namespace corvix {
namespace {

using namespace std::chrono_literals;
using Kind = MenuRefreshRequest::Kind;

TEST(MenuRefreshGateTest, FollowsTheStateTable) {
    MenuRefreshGate gate;
    // Idle: the first request waits nothing (no fetch yet), forced or not.
    EXPECT_EQ(gate.request(false, false, 100s), MenuRefreshRequest::schedule(0s, false));
    // Scheduled: plain requests are served by the waiting start; a forced one replaces it.
    EXPECT_EQ(gate.request(false, false, 100s), MenuRefreshRequest::coalescedScheduled());
    EXPECT_EQ(gate.request(true, false, 100s), MenuRefreshRequest::schedule(0s, true));
    EXPECT_TRUE(gate.begin(100s));
    EXPECT_FALSE(gate.refreshScheduled);
    EXPECT_FALSE(gate.refreshPending);
    // In flight: everything is coalesced and leaves one follow-up pending.
    EXPECT_EQ(gate.request(false, true, 101s), MenuRefreshRequest::coalescedInFlight());
    EXPECT_EQ(gate.request(true, true, 101s), MenuRefreshRequest::coalescedInFlight());
    EXPECT_FALSE(gate.begin(101s));
    EXPECT_TRUE(gate.finish());
    // The follow-up waits out the hidden interval from the previous start.
    EXPECT_EQ(gate.request(false, false, 103s), MenuRefreshRequest::schedule(17s, false));
    EXPECT_TRUE(gate.begin(120s));
    EXPECT_FALSE(gate.finish());
    // Visible: 1 s spacing; later than that, no wait.
    EXPECT_EQ(gate.request(false, true, 120250ms), MenuRefreshRequest::schedule(750ms, false));
    gate.cancelScheduled();
    EXPECT_EQ(gate.request(false, true, 125s), MenuRefreshRequest::schedule(0s, false));
    EXPECT_EQ(gate.request(true, false, 125s).kind, Kind::Schedule);
}

TEST(StructureSignatureTest, ChangesWithStructureOnly) {
    auto parse = [](const char* text) { return parseJson(text).value().as_object(); };
    const auto base = parse(R"({
        "pinned":[{"id":"p1","label":"Movie"},{"label":"No id"}],
        "rooms":[{"id":"r1","name":"Living","devices":[{"id":"d1","name":"Lamp","kind":"light","isOn":false}]},
                 {"name":"Garage","devices":[]}],
        "programScenes":[{"id":"s1","label":"Evening"}],
        "avFlows":[{"id":"f1","label":"Cinema"}],
        "musicPlayer":{"available":true,"activePlayer":{"id":"pl","targetId":"t","targetType":"airplay"},"position":3}})");
    const std::string signature = menuStructureSignature(base);
    EXPECT_EQ(signature, "p1,No id#r1[d1:Lamp:light]|Garage[]#s1#f1#1:pl:t:airplay");

    auto lightOn = base;
    lightOn["rooms"].as_array()[0].as_object()["devices"].as_array()[0].as_object()["isOn"] = true;
    lightOn["musicPlayer"].as_object()["position"] = 99;
    EXPECT_EQ(menuStructureSignature(lightOn), signature);

    auto deviceAdded = base;
    deviceAdded["rooms"].as_array()[1].as_object()["devices"].as_array().push_back(
        json::object{{"id", "d2"}, {"name", "Fan"}, {"kind", "switch"}});
    EXPECT_NE(menuStructureSignature(deviceAdded), signature);

    auto otherPlayer = base;
    otherPlayer["musicPlayer"].as_object()["activePlayer"].as_object()["id"] = "other";
    EXPECT_NE(menuStructureSignature(otherPlayer), signature);

    EXPECT_EQ(menuStructureSignature(JsonObject()), "####0:::");
}

TEST(StructureSignatureTest, MembersOfEveryKindReadAsTheTextAccessorReadsThem) {
    auto parse = [](const char* text) { return parseJson(text).value().as_object(); };
    const std::pair<const char*, const char*> cases[] = {
        // Numbers, booleans, null and nested values as `string` describes them.
        {R"({"pinned":[{"id":7},{"id":-2.5},{"id":18446744073709551615},{"id":true},{"id":null}]})",
         "7,-2.5,18446744073709551615,1,<null>####0:::"},
        {R"({"rooms":[{"id":[1,{"a":2}],"devices":[{"id":3.0,"name":false,"kind":{}}]}]})",
         "#[1,{\"a\":2}][3:0:{}]###0:::"},
        // A list that is not all objects counts as no list at all.
        {R"({"pinned":[{"id":"a"},"b"],"rooms":[{"id":"r","devices":[{"id":"d"},2]}]})",
         "#r[]###0:::"},
        {R"({"rooms":{"id":"r"},"musicPlayer":{"available":"yes"}})", "####1:::"},
        {R"({"musicPlayer":{"available":0,"activePlayer":{"targetType":"x"}}})", "####0:::x"},
    };
    for (const auto& [document, signature] : cases) {
        EXPECT_EQ(menuStructureSignature(parse(document)), signature) << document;
    }
}

TEST(LaunchConfigurationTest, ParentPidForms) {
    const std::pair<std::optional<std::string_view>, std::int32_t> cases[] = {
        {"1234", 1234},
        {"+42", 42},
        {"-5", -5},
        {"12a", 0},
        {" 12", 0},
        {"12 ", 0},
        {"", 0},
        {"+", 0},
        {"-", 0},
        {"+-5", 0},
        {"-+5", 0},
        {"++5", 0},
        {"0x10", 0},
        {"007", 7},
        {"2147483647", 2147483647},
        {"2147483648", 0},
        {"-2147483648", -2147483647 - 1},
        {"99999999999999999999", 0},
        {std::nullopt, 0},
    };
    for (const auto& [text, pid] : cases) {
        EXPECT_EQ(LaunchConfiguration::parsePid(text), pid) << text.value_or("(absent)");
    }
}

TEST(LaunchConfigurationTest, IconTemplateWordsAndDashboardDefault) {
    MapEnvironment env;
    EXPECT_TRUE(LaunchConfiguration::iconIsTemplate(env));
    const std::pair<const char*, bool> words[] = {
        {"TrUe", true}, {"1", true},      {"yes", true}, {"on", true},
        {"0", false},   {"false", false}, {"", false},   {"enabled", false},
    };
    for (const auto& [word, expected] : words) {
        env.set("ORBELUNE_MENUBAR_ICON_TEMPLATE", word);
        EXPECT_EQ(LaunchConfiguration::iconIsTemplate(env), expected) << word;
    }
    EXPECT_EQ(LaunchConfiguration::dashboardURL(env), "http://127.0.0.1:8080/os");
    env.set("ORBELUNE_DASHBOARD_URL", "");
    EXPECT_EQ(LaunchConfiguration::dashboardURL(env), "");
    EXPECT_EQ(LaunchConfiguration::iconPath(env), std::nullopt);
    env.set("ORBELUNE_MENUBAR_ICON_PATH", "");
    EXPECT_EQ(LaunchConfiguration::iconPath(env), std::nullopt);
}

}  // namespace
}  // namespace corvix
