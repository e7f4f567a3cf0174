#include <gtest/gtest.h>

#include <vector>

#include "hub/CommandSequence.h"
#include "platform/Error.h"

namespace corvix {
namespace {

/// A sender whose requests stay open until the test answers them.
struct Sender {
    bool refuse = false;
    std::vector<JsonObject> sent;
    std::vector<std::function<void(Result<void>)>> open;
    std::vector<Result<void>> outcomes;

    SendCommand send() {
        return [this](const JsonObject& payload, std::function<void(Result<void>)> done) {
            if (refuse) {
                return false;
            }
            sent.push_back(payload);
            open.push_back(std::move(done));
            return true;
        };
    }
    std::function<void(Result<void>)> outcome() {
        return [this](Result<void> result) { outcomes.push_back(std::move(result)); };
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

TEST(CommandSequenceTest, ValuesGoOutOneAtATimeAndOnlyTheNewestWaits) {
    Sender sender;
    auto sequence = std::make_shared<CommandSequence>();
    EXPECT_TRUE(sendInOrder(sequence, level(10), sender.send(), sender.outcome()));
    EXPECT_FALSE(sendInOrder(sequence, level(20), sender.send(), sender.outcome()));
    EXPECT_FALSE(sendInOrder(sequence, level(30), sender.send(), sender.outcome()));
    EXPECT_TRUE(sequence->busy());
    ASSERT_EQ(sender.sent.size(), 1u);

    // The first answer is superseded, failure or not: only the newest value follows it.
    sender.answer(Error{"test", 1, "Failed"});
    ASSERT_EQ(sender.sent.size(), 2u);
    EXPECT_EQ(sender.sent[1], level(30));
    EXPECT_TRUE(sender.outcomes.empty());

    sender.answer(Result<void>());
    ASSERT_EQ(sender.outcomes.size(), 1u);
    EXPECT_TRUE(sender.outcomes[0].ok());
    EXPECT_FALSE(sequence->busy());

    // The value already on its way again: nothing waits behind it.
    EXPECT_TRUE(sendInOrder(sequence, level(40), sender.send(), sender.outcome()));
    EXPECT_FALSE(sendInOrder(sequence, level(40), sender.send(), sender.outcome()));
    sender.answer(Result<void>());
    EXPECT_EQ(sender.sent.size(), 3u);
    EXPECT_FALSE(sequence->busy());
}

TEST(CommandSequenceTest, AValueThatCannotBeSentLeavesTheSequenceFree) {
    Sender sender;
    auto sequence = std::make_shared<CommandSequence>();
    sender.refuse = true;
    EXPECT_FALSE(sendInOrder(sequence, level(10), sender.send(), sender.outcome()));
    EXPECT_FALSE(sequence->busy());

    // The waiting value cannot go (the player went away): the last answer is the outcome, and
    // the control shows the hub's values again.
    sender.refuse = false;
    sendInOrder(sequence, level(20), sender.send(), sender.outcome());
    sendInOrder(sequence, level(30), sender.send(), sender.outcome());
    sender.refuse = true;
    sender.answer(Error{"test", 1, "Failed"});
    ASSERT_EQ(sender.outcomes.size(), 1u);
    EXPECT_FALSE(sender.outcomes[0].ok());
    EXPECT_FALSE(sequence->busy());
    EXPECT_EQ(sender.sent.size(), 1u);
}

TEST(CommandSequenceTest, EachNameHasOneSequence) {
    CommandSequences sequences;
    const auto seek = sequences.of("seek");
    EXPECT_EQ(sequences.of("seek"), seek);
    EXPECT_NE(sequences.of("set_volume"), seek);
    EXPECT_EQ(sequences.all().size(), 2u);
}

}  // namespace
}  // namespace corvix
