#include <gtest/gtest.h>
#include <sys/stat.h>

#include "HubTestSupport.h"

namespace corvix {
namespace {

using testing::HeadlessPlatform;

json::object bodyOf(const HttpRequest& request) {
    return parseJson(request.body.value_or("")).value().as_object();
}

class HubClientTest : public ::testing::Test {
  protected:
    /// Runs `start` against an answer of `status` and `body` and returns what it completed with.
    template <typename T, typename Start>
    Result<T> answer(Start start, int status, std::string body) {
        std::optional<Result<T>> outcome;
        platform.http.responder = [&](const HttpRequest&) -> std::optional<Result<HttpResponse>> {
            return Result<HttpResponse>(HttpResponse{status, {}, body});
        };
        start([&](Result<T> r) { outcome.emplace(std::move(r)); });
        platform.loop.runUntilIdle();
        EXPECT_TRUE(outcome.has_value());
        return outcome ? std::move(*outcome) : Result<T>(Error{"test", -1, "no completion"});
    }

    HeadlessPlatform platform;
};

TEST_F(HubClientTest, BaseUrlWithAndWithoutSlashGivesTheSameRequests) {
    std::vector<std::string> urls;
    for (const char* base : {"http://127.0.0.1:9000/app/os/mac-control",
                             "http://127.0.0.1:9000/app/os/mac-control/"}) {
        platform.environment.set("ORBELUNE_MAC_CONTROL_BASE_URL", base);
        auto client = platform.makeClient();
        urls.push_back(client->makeAuthorizedRequest("state", "GET").value().url);
    }
    EXPECT_EQ(urls[0], "http://127.0.0.1:9000/app/os/mac-control/state");
    EXPECT_EQ(urls[0], urls[1]);

    platform.environment.unset("ORBELUNE_MAC_CONTROL_BASE_URL");
    EXPECT_EQ(platform.makeClient()->baseURL().toString(),
              "http://127.0.0.1:8080/app/os/mac-control/");
    platform.environment.set("ORBELUNE_MAC_CONTROL_BASE_URL", "not a url");
    EXPECT_EQ(platform.makeClient()->baseURL().toString(),
              "http://127.0.0.1:8080/app/os/mac-control/");
}

TEST_F(HubClientTest, RequestHeadersAndCacheControlOnlyForTheEventStream) {
    auto client = platform.makeClient();
    auto plain = client->makeAuthorizedRequest("state", "GET").value();
    EXPECT_EQ(plain.header("X-Mac-Control-Token"), "secret-token");
    EXPECT_EQ(plain.header("Content-Type"), "application/json");
    EXPECT_EQ(plain.header("Accept"), std::nullopt);
    EXPECT_EQ(plain.header("Cache-Control"), std::nullopt);
    EXPECT_FALSE(plain.body.has_value());
    EXPECT_DOUBLE_EQ(plain.timeoutSeconds, 60);
    EXPECT_FALSE(plain.followRedirects);

    auto stream =
        client->makeAuthorizedRequest("state/stream", "GET", std::nullopt, "Text/Event-Stream", 300)
            .value();
    EXPECT_EQ(stream.header("Accept"), "Text/Event-Stream");
    EXPECT_EQ(stream.header("Cache-Control"), "no-cache");
    EXPECT_DOUBLE_EQ(stream.timeoutSeconds, 300);

    auto json = client->makeAuthorizedRequest("x", "GET", std::nullopt, "application/json").value();
    EXPECT_EQ(json.header("Cache-Control"), std::nullopt);
}

TEST_F(HubClientTest, TokenIsTrimmedAndLookupFallsThroughInOrder) {
    platform.temp.write("token", "  abc123 \n\t \n");
    EXPECT_EQ(platform.makeClient()->token().value(), "abc123");

    // An empty or missing configured file falls through to the container, then the home folder.
    platform.temp.write("token", " \n");
    auto home = platform.temp.write("home/.orbelune/mac-control/token", "from-home\n");
    EXPECT_EQ(platform.makeClient()->token().value(), "from-home");

    auto container = platform.temp.write("group/mac-control-token", "from-group");
    OrbeluneClient withGroup(platform.environment, platform.http, platform.loop,
                             [&](std::string_view group) -> std::optional<std::filesystem::path> {
                                 EXPECT_EQ(group, OrbeluneClient::kDefaultGroupIdentifier);
                                 return container.parent_path();
                             });
    EXPECT_EQ(withGroup.token().value(), "from-group");

    platform.environment.set("ORBELUNE_MAC_CONTROL_TOKEN_FILE", "/nonexistent/token");
    EXPECT_EQ(platform.makeClient()->token().value(), "from-home");

    std::filesystem::remove(home);
    platform.temp.write("token", std::string("\xff\xfe bad utf8"));
    platform.environment.set("ORBELUNE_MAC_CONTROL_TOKEN_FILE", platform.token.string());
    auto missing = platform.makeClient()->token();
    ASSERT_FALSE(missing.ok());
    EXPECT_EQ(missing.error(), programError(4, "Mac control token is missing"));
}

TEST_F(HubClientTest, HostileTokenFilesAreNotReadAndARewrittenTokenIsUsedNext) {
    const auto dir = platform.temp.path();
    const auto fifo = dir / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::filesystem::create_symlink("/dev/zero", dir / "zero");
    const auto big = platform.temp.write("big", "");
    std::filesystem::resize_file(big, 200u << 20);  // sparse: costs no disk
    const auto justTooLong = platform.temp.write(
        "long", std::string(OrbeluneClient::kMaxTokenFileBytes - 1, 'x') + "yz");
    const auto longest =
        platform.temp.write("longest", std::string(OrbeluneClient::kMaxTokenFileBytes, 'k'));
    std::filesystem::create_symlink(platform.token, dir / "link");
    std::filesystem::create_directories(dir / "folder");

    struct Case {
        std::filesystem::path file;
        std::optional<std::string> token;
    };
    for (const Case& c : std::vector<Case>{{fifo, std::nullopt},
                                           {dir / "zero", std::nullopt},
                                           {big, std::nullopt},
                                           {justTooLong, std::nullopt},
                                           {dir / "folder", std::nullopt},
                                           {longest, std::string(4096, 'k')},
                                           {dir / "link", "secret-token"}}) {
        platform.environment.set("ORBELUNE_MAC_CONTROL_TOKEN_FILE", c.file.string());
        auto token = platform.makeClient()->token();  // must return, not block or exhaust memory
        if (c.token) {
            EXPECT_EQ(token.value(), *c.token) << c.file;
        } else {
            ASSERT_FALSE(token.ok()) << c.file;
            EXPECT_EQ(token.error(), programError(4, "Mac control token is missing")) << c.file;
        }
    }

    // The token is read again for every request: a rewrite takes effect at the next one.
    platform.environment.set("ORBELUNE_MAC_CONTROL_TOKEN_FILE", platform.token.string());
    auto client = platform.makeClient();
    EXPECT_EQ(client->makeAuthorizedRequest("state", "GET").value().header("X-Mac-Control-Token"),
              "secret-token");
    platform.temp.write("token", "rotated\n");
    EXPECT_EQ(client->makeAuthorizedRequest("state", "GET").value().header("X-Mac-Control-Token"),
              "rotated");
}

TEST_F(HubClientTest, MissingTokenFailsBeforeAnythingIsSent) {
    platform.environment.set("ORBELUNE_MAC_CONTROL_TOKEN_FILE", "");
    auto client = platform.makeClient();
    auto result = answer<JsonObject>([&](auto done) { client->fetchState(done); }, 200, "{}");
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error().code, 4);
    EXPECT_EQ(result.error().description, "Mac control token is missing");
    EXPECT_TRUE(platform.http.transfers().empty());
}

TEST_F(HubClientTest, SendChecksStatusAndTheHubsOwnFailureFlag) {
    auto client = platform.makeClient();
    auto send = [&](int status, std::string body) {
        return answer<std::string>(
            [&](auto done) { client->send("items/x/run", "POST", "{}", done); }, status, body);
    };
    struct Case {
        int status;
        const char* body;
        int expectedCode;  // 0: success
        const char* expectedText;
    };
    const Case cases[] = {
        {200, R"({"status":true})", 0, ""},
        {200, R"({"status":"false"})", 0, ""},
        {200, R"({"status":false})", 3, "Mac control request failed"},
        {200, R"({"status":false,"message":"Scene is busy"})", 3, "Scene is busy"},
        {200, R"({"status":0,"message":42})", 3, "Mac control request failed"},
        {200, "not json", 0, ""},
        {200, "[1,2]", 0, ""},
        {204, "", 0, ""},
        {401, R"({"status":true})", 2, "Mac control request failed"},
        {500, "", 2, "Mac control request failed"},
        {302, "", 2, "Mac control request failed"},
    };
    for (const auto& c : cases) {
        auto result = send(c.status, c.body);
        if (c.expectedCode == 0) {
            EXPECT_TRUE(result.ok()) << c.status << " " << c.body;
            if (result.ok()) {
                EXPECT_EQ(result.value(), c.body);
            }
        } else {
            ASSERT_FALSE(result.ok()) << c.status << " " << c.body;
            EXPECT_EQ(result.error(), programError(c.expectedCode, c.expectedText)) << c.body;
        }
    }
}

TEST_F(HubClientTest, FetchStateUnwrapsTheDataEnvelope) {
    auto client = platform.makeClient();
    auto fetch = [&](int status, std::string body) {
        return answer<JsonObject>([&](auto done) { client->fetchState(done); }, status, body);
    };
    EXPECT_EQ(fetch(200, R"({"status":true,"data":{"rooms":[]}})").value(),
              (json::object{{"rooms", json::array()}}));
    EXPECT_EQ(fetch(200, R"({"data":[1],"rooms":[]})").value(),
              (json::object{{"data", json::array{1}}, {"rooms", json::array()}}));
    EXPECT_EQ(fetch(200, "[1,2,3]").value(), json::object());
    auto empty = fetch(204, "");
    ASSERT_FALSE(empty.ok());
    EXPECT_EQ(empty.error().domain, kJsonErrorDomain);
    auto garbage = fetch(200, "{\"data\": ");
    EXPECT_FALSE(garbage.ok());

    std::string deep(100000, '[');
    auto tooDeep = fetch(200, deep + std::string(100000, ']'));
    ASSERT_FALSE(tooDeep.ok());
    EXPECT_EQ(tooDeep.error().domain, kJsonErrorDomain);

    // A home of several megabytes is read; an answer past the limit is refused before parsing.
    std::string rooms = R"({"data":{"rooms":[)";
    while (rooms.size() < (4u << 20)) {
        rooms += R"({"id":"room","name":"A room with a long name"},)";
    }
    rooms += "{}]}}";
    EXPECT_TRUE(fetch(200, rooms).ok());
    auto huge =
        fetch(200, R"({"data":")" + std::string(OrbeluneClient::kMaxAnswerBytes, 'x') + "\"}");
    ASSERT_FALSE(huge.ok());
    EXPECT_EQ(huge.error().domain, kUrlErrorDomain);

    const auto& request = platform.http.last()->request;
    EXPECT_EQ(request.method, "GET");
    EXPECT_EQ(request.url, "http://127.0.0.1:8080/app/os/mac-control/state");
}

TEST_F(HubClientTest, OperationsSendTheirPathsAndBodies) {
    auto client = platform.makeClient();
    platform.http.responder = [](const HttpRequest&) -> std::optional<Result<HttpResponse>> {
        return Result<HttpResponse>(HttpResponse{200, {}, R"({"status":true})"});
    };
    auto ignore = [](Result<void>) {};
    const std::string base = "http://127.0.0.1:8080/app/os/mac-control/";
    const json::object player{{"id", 12}, {"targetType", "airplay"}, {"targetId", "den"}};
    const json::object target{{"id", "browser"}, {"serviceKey", "music"}};

    client->runItem("scene/a b", std::nullopt, ignore);
    auto runItem = platform.http.last()->request;
    EXPECT_EQ(runItem.method, "POST");
    EXPECT_EQ(runItem.url, base + "items/scene%2Fa%20b/run");
    EXPECT_EQ(bodyOf(runItem), (json::object{{"source", "native-menubar"}, {"confirm", true}}));

    client->runItem("7", false, ignore);
    EXPECT_EQ(
        bodyOf(platform.http.last()->request),
        (json::object{{"source", "native-menubar"}, {"confirm", true}, {"desiredState", false}}));

    client->runCommand("lamp:1", "set level", json::object{{"value", 40}}, ignore);
    auto command = platform.http.last()->request;
    EXPECT_EQ(command.url, base + "devices/lamp:1/commands/set%20level/run");
    EXPECT_EQ(bodyOf(command), (json::object{{"source", "native-menubar"},
                                             {"payload", json::object{{"value", 40}}},
                                             {"value", 40}}));

    client->runMusicCommand("play", player, json::object{{"action", "pause"}}, ignore);
    auto music = platform.http.last()->request;
    EXPECT_EQ(music.url, base + "music/command");
    EXPECT_EQ(bodyOf(music), (json::object{{"source", "native-menubar"},
                                           {"action", "pause"},  // payload wins over fixed members
                                           {"serviceKey", ""},
                                           {"targetType", "airplay"},
                                           {"targetId", "den"},
                                           {"payload", json::object{{"action", "pause"}}}}));

    client->runMusicTransfer(player, target, ignore);
    EXPECT_EQ(platform.http.last()->request.url, base + "music/transfer");
    EXPECT_EQ(bodyOf(platform.http.last()->request),
              (json::object{{"requestSource", "native-menubar"},
                            {"sourcePlayerId", "12"},
                            {"targetPlayerId", "browser"},
                            {"source", player},
                            {"target", target}}));

    client->shuffleListenLater(target, ignore);
    EXPECT_EQ(platform.http.last()->request.url, base + "music/listen-later/shuffle");
    EXPECT_EQ(bodyOf(platform.http.last()->request), (json::object{{"source", "native-menubar"},
                                                                   {"targetPlayerId", "browser"},
                                                                   {"target", target}}));

    const json::object playlist{{"id", "p1"}, {"name", "Morning"}};
    client->playMusicPlaylist(playlist, target, ignore);
    EXPECT_EQ(platform.http.last()->request.url, base + "music/playlists/play");
    EXPECT_EQ(
        bodyOf(platform.http.last()->request),
        (json::object{{"source", "native-menubar"}, {"playlist", playlist}, {"target", target}}));

    client->saveProgramChoices({}, ignore);
    EXPECT_EQ(platform.http.last()->request.url, base + "program-choices");
    EXPECT_EQ(bodyOf(platform.http.last()->request), (json::object{{"programIds", json::array()}}));

    client->launchDeviceApp("tv 1", "com.example/app", ignore);
    EXPECT_EQ(platform.http.last()->request.url,
              base + "devices/tv%201/apps/com.example%2Fapp/launch");
    EXPECT_EQ(bodyOf(platform.http.last()->request),
              (json::object{{"source", "native-menubar"}, {"appId", "com.example/app"}}));
    platform.loop.runUntilIdle();
}

TEST_F(HubClientTest, ListOperationsReadDataAndAreAllOrNothing) {
    auto client = platform.makeClient();
    using List = std::vector<JsonObject>;
    auto apps = [&](std::string body) {
        return answer<List>([&](auto done) { client->fetchDeviceApps("tv", done); }, 200, body);
    };
    EXPECT_EQ(apps(R"({"data":{"apps":[{"id":"a"},{"id":"b"}]}})").value().size(), 2u);
    EXPECT_EQ(platform.http.last()->request.url,
              "http://127.0.0.1:8080/app/os/mac-control/devices/tv/apps");
    EXPECT_TRUE(apps(R"({"apps":[{"id":"a"},"b"]})").value().empty());
    EXPECT_TRUE(apps(R"({"apps":{"id":"a"}})").value().empty());
    EXPECT_FALSE(apps("").ok());

    auto playlists = answer<List>([&](auto done) { client->fetchMusicPlaylists(done); }, 200,
                                  R"({"playlists":[{"id":"p"}]})");
    EXPECT_EQ(playlists.value().size(), 1u);
    auto programs = answer<List>([&](auto done) { client->fetchProgramChoices(done); }, 200,
                                 R"({"status":true,"data":{"programs":[{"id":"s1"}]}})");
    EXPECT_EQ(programs.value().front().at("id").as_string(), "s1");
}

TEST_F(HubClientTest, CancellingARequestCompletesOnceWithTheCancellationError) {
    auto client = platform.makeClient();
    int calls = 0;
    std::optional<Error> error;
    TaskHandle task = client->fetchState([&](Result<JsonObject> r) {
        ++calls;
        if (!r.ok()) {
            error = r.error();
        }
    });
    ASSERT_EQ(platform.http.open().size(), 1u);
    task.cancel();
    platform.http.respond(platform.http.last(), 200, "{}");  // too late: already cancelled
    platform.loop.runUntilIdle();
    EXPECT_EQ(calls, 1);
    ASSERT_TRUE(error);
    EXPECT_TRUE(isCancellationError(*error));
    EXPECT_TRUE(platform.http.open().empty());
}

}  // namespace
}  // namespace corvix
