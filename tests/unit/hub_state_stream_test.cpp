#include <gtest/gtest.h>

#include "HubTestSupport.h"
#include "hub/MacControlStateStreamClient.h"
#include "hub/StateStreamParser.h"

namespace corvix {
namespace {

using namespace std::chrono_literals;
using testing::HeadlessPlatform;

std::vector<StateStreamParser::Event> parse(const std::vector<std::string>& chunks,
                                            bool finish = false) {
    std::vector<StateStreamParser::Event> events;
    StateStreamParser parser([&](const StateStreamParser::Event& e) { events.push_back(e); }, 64);
    for (const auto& chunk : chunks) {
        parser.feed(chunk);
    }
    if (finish) {
        parser.finish();
    }
    return events;
}

TEST(StateStreamParserTest, ReadsNamesDataAndLineEndings) {
    auto lf = parse({"event: State \ndata: {}\n\n"});
    ASSERT_EQ(lf.size(), 1u);
    EXPECT_EQ(lf[0].name, "state");
    EXPECT_EQ(lf[0].data, "{}");

    // CR LF gives the same lines, also when split between chunks.
    auto crlf = parse({"event: State \r", "\ndata: {}\r\n\r", "\n"});
    ASSERT_EQ(crlf.size(), 1u);
    EXPECT_EQ(crlf[0].name, lf[0].name);
    EXPECT_EQ(crlf[0].data, lf[0].data);

    auto multi = parse({"data: a\ndata:b\nid: 7\nretry: 10\n: comment\n\n"});
    ASSERT_EQ(multi.size(), 1u);
    EXPECT_EQ(multi[0].name, "");
    EXPECT_EQ(multi[0].data, "a\nb");

    auto later = parse({"event: one\nevent:\ttwo\t\n\n"});
    EXPECT_EQ(later.at(0).name, "two");

    EXPECT_TRUE(parse({"data: pending"}).empty());
    auto atEnd = parse({"event: x\ndata: pending"}, true);
    ASSERT_EQ(atEnd.size(), 1u);
    EXPECT_EQ(atEnd[0].data, "pending");
}

TEST(StateStreamParserTest, OverlongLinesAndDataAreCutOffNotBuffered) {
    // Limit 64 bytes in this parser: the long line is dropped whole, the stream goes on.
    auto events =
        parse({"data: " + std::string(40, 'x'), std::string(40, 'y') + "\n", "event: after\n\n"});
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].name, "after");
    EXPECT_EQ(events[0].data, "");

    // Data growing past the limit over many lines still counts as an event with data.
    std::vector<std::string> chunks(20, "data: " + std::string(30, 'z') + "\n");
    chunks.push_back("\n");
    auto big = parse(chunks);
    ASSERT_EQ(big.size(), 1u);
    EXPECT_FALSE(big[0].data.empty());
    EXPECT_LE(big[0].data.size(), 64u);
}

class StateStreamClientTest : public ::testing::Test {
  protected:
    StateStreamClientTest() : client(platform.makeClient()) {
        stream =
            std::make_unique<MacControlStateStreamClient>(*client, [this] { ++invalidations; });
    }

    std::shared_ptr<FakeHttpClient::Transfer> openStream() {
        platform.loop.runUntilIdle();
        auto open = platform.http.open();
        EXPECT_EQ(open.size(), 1u);
        if (open.empty()) {
            return nullptr;
        }
        EXPECT_TRUE(open.back()->streaming);
        return open.back();
    }

    std::int64_t counter(const char* name) {
        auto counters = RuntimeDiagnostics::menuBar().counters();
        auto it = counters.find(name);
        return it == counters.end() ? 0 : it->second;
    }

    HeadlessPlatform platform;
    std::unique_ptr<OrbeluneClient> client;
    std::unique_ptr<MacControlStateStreamClient> stream;
    int invalidations = 0;
};

TEST_F(StateStreamClientTest, RequestsTheStreamAndDebouncesEvents) {
    stream->start();
    stream->start();  // already running: no second connection
    auto connection = openStream();
    ASSERT_TRUE(connection);
    EXPECT_EQ(connection->request.url, "http://127.0.0.1:8080/app/os/mac-control/state/stream");
    EXPECT_EQ(connection->request.header("Accept"), "text/event-stream");
    EXPECT_EQ(connection->request.header("Cache-Control"), "no-cache");
    EXPECT_EQ(connection->request.header("X-Mac-Control-Token"), "secret-token");
    EXPECT_DOUBLE_EQ(connection->request.timeoutSeconds, 300);
    EXPECT_EQ(RuntimeDiagnostics::menuBar().gauges().at("state_stream_active"), 1);

    platform.http.streamHead(connection, 200);
    // The opened stream asks once for what changed before it (see the next test).
    platform.loop.advance(1s);
    ASSERT_EQ(invalidations, 1);
    invalidations = 0;
    platform.http.streamData(connection, "event: ping\n\n: keep-alive\n\n");
    platform.loop.advance(1s);
    EXPECT_EQ(invalidations, 0);

    platform.http.streamData(connection, "event: state\ndata: {}\n\n");
    platform.loop.advance(149ms);
    EXPECT_EQ(invalidations, 0);
    platform.loop.advance(1ms);
    EXPECT_EQ(invalidations, 1);

    // Ten events within 100 ms: one callback, nine coalesced.
    for (int i = 0; i < 10; ++i) {
        platform.http.streamData(connection, "data: " + std::to_string(i) + "\n\n");
        platform.loop.advance(10ms);
    }
    platform.loop.advance(200ms);
    EXPECT_EQ(invalidations, 2);
    EXPECT_EQ(counter("state_stream_event_coalesced"), 9);
    EXPECT_EQ(counter("state_stream_event"), 11);
}

TEST_F(StateStreamClientTest, EachOpenedStreamAsksOnceForWhatChangedWithoutIt) {
    // A change made before the hub had the stream open is never announced on it: every stream
    // that opens asks for one refresh, debounced like an event, and counted as none.
    stream->start();
    auto first = openStream();
    platform.http.streamHead(first, 200);
    platform.http.streamData(first, "data: a\n\n");
    platform.loop.advance(150ms);
    EXPECT_EQ(invalidations, 1);
    EXPECT_EQ(counter("state_stream_event"), 1);
    // The event joined the refresh the opening asked for.
    EXPECT_EQ(counter("state_stream_event_coalesced"), 1);

    // The hub goes away and comes back: the reconnected stream asks again.
    platform.http.streamEnd(first);
    platform.loop.advance(1s);
    auto second = openStream();
    ASSERT_TRUE(second);
    platform.loop.advance(10s);
    EXPECT_EQ(invalidations, 1);  // nothing before the answer's head
    platform.http.streamHead(second, 200);
    platform.loop.advance(150ms);
    EXPECT_EQ(invalidations, 2);

    // A refused stream asks for nothing.
    platform.http.streamEnd(second);
    platform.loop.advance(2s);
    auto third = openStream();
    ASSERT_TRUE(third);
    platform.http.streamHead(third, 503);
    platform.loop.advance(1s);
    EXPECT_EQ(invalidations, 2);
}

TEST_F(StateStreamClientTest, RejectedStreamBacksOffUpToThirtySeconds) {
    stream->start();
    std::vector<double> waits;
    Duration lastStart = platform.loop.now();
    for (int attempt = 0; attempt < 8; ++attempt) {
        auto connection = openStream();
        ASSERT_TRUE(connection);
        if (attempt > 0) {
            waits.push_back(std::chrono::duration<double>(platform.loop.now() - lastStart).count());
        }
        lastStart = platform.loop.now();
        platform.http.streamHead(connection, 401);
        platform.http.streamData(connection, "event: state\ndata: unauthorised\n\n");
        platform.loop.runUntilIdle();
        // The rejected connection was cancelled and its body never read.
        EXPECT_TRUE(connection->task->isCancelled());
        // Step through the wait to find when the next attempt starts.
        while (platform.http.open().empty()) {
            platform.loop.advance(1ms);
        }
    }
    EXPECT_EQ(waits, (std::vector<double>{1, 2, 4, 8, 16, 30, 30}));
    EXPECT_EQ(invalidations, 0);
}

TEST_F(StateStreamClientTest, EndOfStreamDispatchesThePendingEventThenReconnects) {
    stream->start();
    auto first = openStream();
    platform.http.streamHead(first, 200);
    platform.http.streamData(first, "event: state\ndata: last");
    platform.http.streamEnd(first);
    platform.loop.advance(150ms);
    EXPECT_EQ(invalidations, 1);
    EXPECT_TRUE(platform.http.open().empty());
    platform.loop.advance(850ms);  // the first wait is one second
    auto second = openStream();
    ASSERT_TRUE(second);
    EXPECT_NE(second, first);

    // A network failure is silent and waits the doubled delay.
    platform.http.streamEnd(second, Error{kUrlErrorDomain, kUrlErrorNetworkConnectionLost, "lost"});
    platform.loop.advance(1999ms);
    EXPECT_TRUE(platform.http.open().empty());
    platform.loop.advance(1ms);
    EXPECT_EQ(platform.http.open().size(), 1u);
}

TEST_F(StateStreamClientTest, StopCancelsTheConnectionAndTheDebounce) {
    stream->start();
    auto connection = openStream();
    platform.http.streamHead(connection, 200);
    platform.http.streamData(connection, "data: x\n\n");
    platform.loop.advance(50ms);
    stream->stop();
    platform.loop.advance(10s);
    EXPECT_EQ(invalidations, 0);
    EXPECT_TRUE(connection->task->isCancelled());
    EXPECT_TRUE(platform.http.open().empty());
    EXPECT_EQ(platform.http.transfers().size(), 1u);
    EXPECT_EQ(RuntimeDiagnostics::menuBar().gauges().at("state_stream_active"), 0);
}

TEST_F(StateStreamClientTest, RestartingAConnectedStreamKeepsExactlyOne) {
    // What a wake does, twice in a row, while the stream is connected: the cancelled
    // connections' completions arrive after the restart.
    stream->start();
    auto first = openStream();
    platform.http.streamHead(first, 200);
    platform.http.streamData(first, "data: a");  // half a line when the computer sleeps
    platform.loop.runUntilIdle();
    stream->stop();
    stream->start();
    auto second = openStream();
    ASSERT_TRUE(second);
    stream->stop();
    stream->start();
    auto third = openStream();
    ASSERT_TRUE(third);
    EXPECT_TRUE(first->task->isCancelled());
    EXPECT_TRUE(second->task->isCancelled());

    // No late completion schedules another connection.
    platform.loop.advance(2min);
    EXPECT_EQ(platform.http.open(), (std::vector{third}));
    EXPECT_EQ(platform.http.transfers().size(), 3u);

    // The new connection reads with a parser of its own: the old half line is not continued.
    platform.http.streamHead(third, 200);
    platform.http.streamData(third, "bc\n\n");
    platform.loop.advance(1s);
    EXPECT_EQ(counter("state_stream_event"), 0);
    EXPECT_EQ(invalidations, 1);  // the one refresh every opened stream asks for
    platform.http.streamData(third, "event: state\n\n");
    platform.loop.advance(1s);
    EXPECT_EQ(counter("state_stream_event"), 1);
    EXPECT_EQ(invalidations, 2);

    // The current stream's end is still noticed, after the first delay.
    platform.http.streamEnd(third);
    platform.loop.advance(999ms);
    EXPECT_TRUE(platform.http.open().empty());
    platform.loop.advance(1ms);
    auto fourth = openStream();
    ASSERT_TRUE(fourth);

    stream->stop();
    platform.loop.advance(2min);
    EXPECT_TRUE(platform.http.open().empty());
    EXPECT_EQ(platform.http.transfers().size(), 4u);
}

TEST_F(StateStreamClientTest, RestartDuringTheWaitOpensOneAtOnce) {
    stream->start();
    auto rejected = openStream();
    platform.http.streamHead(rejected, 503);
    platform.loop.runUntilIdle();
    EXPECT_TRUE(platform.http.open().empty());
    stream->stop();
    stream->start();
    auto now = openStream();
    ASSERT_TRUE(now);
    // The wait that was running when the stream restarted ends without a second connection.
    platform.loop.advance(5s);
    EXPECT_EQ(platform.http.open(), (std::vector{now}));
    EXPECT_EQ(platform.http.transfers().size(), 2u);
}

TEST_F(StateStreamClientTest, MissingTokenRetriesWithoutSendingAnything) {
    platform.environment.set("ORBELUNE_MAC_CONTROL_TOKEN_FILE", "");
    auto tokenless = platform.makeClient();
    MacControlStateStreamClient quiet(*tokenless, [this] { ++invalidations; });
    quiet.start();
    platform.loop.advance(100s);
    EXPECT_TRUE(platform.http.transfers().empty());
    EXPECT_EQ(quiet.reconnectDelayNs(), MacControlStateStreamClient::kMaxReconnectDelayNs);
    // The token appears: the next attempt connects.
    platform.temp.write("home/.orbelune/mac-control/token", "late");
    platform.loop.advance(30s);
    ASSERT_EQ(platform.http.open().size(), 1u);
    EXPECT_EQ(platform.http.last()->request.header("X-Mac-Control-Token"), "late");
    quiet.stop();
}

TEST_F(StateStreamClientTest, SurvivesArbitraryBytesAndBursts) {
    stream->start();
    auto connection = openStream();
    platform.http.streamHead(connection, 200);
    std::string noise;
    for (int i = 0; i < 5000; ++i) {
        noise += static_cast<char>((i * 7919) % 256);
    }
    platform.http.streamData(connection, noise);
    platform.http.streamData(connection, std::string(3 << 20, 'x'));  // one 3 MiB line
    for (int i = 0; i < 1000; ++i) {
        platform.http.streamData(connection, "event: state\n\n");
    }
    platform.loop.advance(1s);
    EXPECT_EQ(invalidations, 1);
}

}  // namespace
}  // namespace corvix
