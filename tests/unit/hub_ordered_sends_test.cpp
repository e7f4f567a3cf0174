#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hub/OrderedSends.h"
#include "platform/Error.h"

namespace corvix {
namespace {

/// Requests that stay open until the test answers them, each recorded with its target.
struct Hub {
    bool refuse = false;
    std::vector<std::pair<std::string, JsonObject>> sent;
    std::vector<OrderedSend::Done> open;
    std::vector<std::pair<std::string, Result<void>>> outcomes;

    /// A value for `target` as an owner makes it: its own target, payload, send and outcome.
    OrderedSend value(const std::string& target, JsonObject payload, bool repeats = false) {
        OrderedSend send;
        send.operation = "set_level";
        send.payload = payload;
        send.start = [this, target, payload](OrderedSend::Done done) {
            if (refuse) {
                return false;
            }
            sent.emplace_back(target, payload);
            open.push_back(std::move(done));
            return true;
        };
        send.outcome = [this, target](Result<void> result) {
            outcomes.emplace_back(target, std::move(result));
        };
        send.repeats = repeats;
        return send;
    }
    void answer(Result<void> result) {
        auto done = std::move(open.front());
        open.erase(open.begin());
        done(std::move(result));
    }
};

JsonObject level(int value) {
    return JsonObject{{"level", value}};
}

const SendKey kLampLevel{"lamp", "brightness"};

TEST(OrderedSendsTest, ValuesGoOutOneAtATimeAndOnlyTheNewestWaits) {
    Hub hub;
    OrderedSends sends;
    EXPECT_FALSE(sends.busy(kLampLevel));
    EXPECT_TRUE(sends.send(kLampLevel, hub.value("lamp", level(10))));
    EXPECT_FALSE(sends.send(kLampLevel, hub.value("lamp", level(20))));
    EXPECT_FALSE(sends.send(kLampLevel, hub.value("lamp", level(30))));
    EXPECT_TRUE(sends.busy(kLampLevel));
    ASSERT_NE(sends.newest(kLampLevel), nullptr);
    EXPECT_EQ(sends.newest(kLampLevel)->payload, level(30));
    ASSERT_EQ(hub.sent.size(), 1u);

    // The first answer is superseded, failure or not: only the newest value follows it.
    hub.answer(Error{"test", 1, "Failed"});
    ASSERT_EQ(hub.sent.size(), 2u);
    EXPECT_EQ(hub.sent[1].second, level(30));
    EXPECT_TRUE(hub.outcomes.empty());

    hub.answer(Result<void>());
    ASSERT_EQ(hub.outcomes.size(), 1u);
    EXPECT_TRUE(hub.outcomes[0].second.ok());
    EXPECT_FALSE(sends.busy(kLampLevel));
    EXPECT_EQ(sends.newest(kLampLevel), nullptr);

    // The value already on its way again: nothing waits behind it.
    EXPECT_TRUE(sends.send(kLampLevel, hub.value("lamp", level(40))));
    EXPECT_FALSE(sends.send(kLampLevel, hub.value("lamp", level(50))));
    EXPECT_FALSE(sends.send(kLampLevel, hub.value("lamp", level(40))));
    hub.answer(Result<void>());
    EXPECT_EQ(hub.sent.size(), 3u);
    EXPECT_FALSE(sends.busy(kLampLevel));

    // A press is asked again even when it equals the one on its way.
    EXPECT_TRUE(sends.send(kLampLevel, hub.value("lamp", level(60), true)));
    EXPECT_FALSE(sends.send(kLampLevel, hub.value("lamp", level(60), true)));
    hub.answer(Result<void>());
    EXPECT_EQ(hub.sent.size(), 5u);
}

TEST(OrderedSendsTest, KeysAreIndependentAndEachValueGoesToItsOwnTarget) {
    Hub hub;
    OrderedSends sends;
    const SendKey lounge{"lounge", "volume"};
    const SendKey kitchen{"kitchen", "volume"};
    EXPECT_TRUE(sends.send(lounge, hub.value("lounge", level(30))));
    EXPECT_TRUE(sends.send(kitchen, hub.value("kitchen", level(30))));
    EXPECT_TRUE(sends.send(SendKey{"lounge", "seek"}, hub.value("lounge", level(1))));
    EXPECT_EQ(hub.sent.size(), 3u);

    // Two owners' values under one key: each is sent through its own start, to its target.
    const SendKey shared{"player", "volume"};
    EXPECT_TRUE(sends.send(shared, hub.value("menu", level(10))));
    EXPECT_FALSE(sends.send(shared, hub.value("notch", level(20))));
    hub.answer(Result<void>());
    hub.answer(Result<void>());
    hub.answer(Result<void>());
    hub.answer(Result<void>());
    ASSERT_EQ(hub.sent.size(), 5u);
    EXPECT_EQ(hub.sent[4], std::make_pair(std::string("notch"), level(20)));
    hub.answer(Result<void>());
    EXPECT_EQ(hub.outcomes.back().first, "notch");
    EXPECT_EQ(hub.outcomes.size(), 4u);  // the menu's superseded answer is dropped
}

TEST(OrderedSendsTest, AValueThatCannotBeSentLeavesTheKeyFree) {
    Hub hub;
    OrderedSends sends;
    hub.refuse = true;
    EXPECT_FALSE(sends.send(kLampLevel, hub.value("lamp", level(10))));
    EXPECT_FALSE(sends.busy(kLampLevel));

    // The waiting value cannot go (its sender went away): the last answer is the outcome, and
    // the control shows the hub's values again.
    hub.refuse = false;
    sends.send(kLampLevel, hub.value("lamp", level(20)));
    sends.send(kLampLevel, hub.value("lamp", level(30)));
    hub.refuse = true;
    hub.answer(Error{"test", 1, "Failed"});
    ASSERT_EQ(hub.outcomes.size(), 1u);
    EXPECT_FALSE(hub.outcomes[0].second.ok());
    EXPECT_FALSE(sends.busy(kLampLevel));
    EXPECT_EQ(hub.sent.size(), 1u);
}

TEST(OrderedSendsTest, AnAnswerAfterTheSendsAreGoneDoesNothing) {
    Hub hub;
    auto sends = std::make_unique<OrderedSends>();
    sends->send(kLampLevel, hub.value("lamp", level(10)));
    sends->send(kLampLevel, hub.value("lamp", level(20)));
    sends.reset();
    hub.answer(Result<void>());
    EXPECT_EQ(hub.sent.size(), 1u);
    EXPECT_TRUE(hub.outcomes.empty());
}

TEST(OrderedSendsTest, AnAnswerGivenAtOnceFreesTheKey) {
    OrderedSends sends;
    int outcomes = 0;
    OrderedSend value;
    value.start = [](OrderedSend::Done done) {
        done(Result<void>());
        return true;
    };
    value.outcome = [&outcomes](Result<void>) { ++outcomes; };
    EXPECT_TRUE(sends.send(kLampLevel, value));
    EXPECT_TRUE(sends.send(kLampLevel, value));
    EXPECT_FALSE(sends.busy(kLampLevel));
    EXPECT_EQ(outcomes, 2);
}

TEST(OrderedSendsTest, APlayersTargetIsItsTargetTypeAndId) {
    const JsonObject lounge{{"id", "a"},
                            {"serviceKey", "sonos"},
                            {"targetType", "room"},
                            {"targetId", "lounge"},
                            {"volume", 20}};
    // The same player as the players list has it: other members, no service.
    const JsonObject listed{
        {"id", "a"}, {"targetType", "room"}, {"targetId", "lounge"}, {"volume", 70}};
    JsonObject kitchen = lounge;
    kitchen["targetId"] = "kitchen";
    JsonObject otherType = lounge;
    otherType["targetType"] = "speaker";
    EXPECT_EQ(musicSendTarget(lounge), musicSendTarget(listed));
    EXPECT_NE(musicSendTarget(lounge), musicSendTarget(kitchen));
    EXPECT_NE(musicSendTarget(lounge), musicSendTarget(otherType));
    // The parts cannot run into each other.
    EXPECT_NE(musicSendTarget(JsonObject{{"targetType", "a"}, {"targetId", "bc"}}),
              musicSendTarget(JsonObject{{"targetType", "ab"}, {"targetId", "c"}}));
}

}  // namespace
}  // namespace corvix
