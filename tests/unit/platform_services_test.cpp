#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <thread>

#include "HubTestSupport.h"
#include "platform/RegularFile.h"
#include "platform/RuntimeDirectory.h"
#include "platform/ThreadRunLoop.h"
#include "platform/Url.h"

namespace corvix {
namespace {

using namespace std::chrono_literals;

TEST(RunLoopTest, TimersFireInDueOrderAndRepeatUntilCancelled) {
    VirtualRunLoop loop;
    std::vector<std::string> log;
    loop.after(30ms, [&] { log.push_back("c"); });
    loop.after(10ms, [&] { log.push_back("a"); });
    loop.after(10ms, [&] { log.push_back("b"); });  // same due time: armed order
    Timer cancelled = loop.after(20ms, [&] { log.push_back("never"); });
    cancelled.cancel();
    int ticks = 0;
    Timer repeating;
    repeating = loop.every(25ms, [&] {
        if (++ticks == 3) {
            repeating.cancel();  // a timer may cancel itself from its own action
        }
    });
    loop.post([&] { log.push_back("posted"); });
    loop.advance(1s);
    EXPECT_EQ(log, (std::vector<std::string>{"posted", "a", "b", "c"}));
    EXPECT_EQ(ticks, 3);
    EXPECT_FALSE(repeating.isActive());
    EXPECT_FALSE(loop.hasTimers());
    EXPECT_EQ(loop.now(), Duration(1s));
}

TEST(RunLoopTest, AdvanceRunsEachTimerAtItsOwnTime) {
    VirtualRunLoop loop;
    std::vector<Duration> seen;
    loop.after(100ms, [&] {
        seen.push_back(loop.now());
        loop.after(50ms, [&] { seen.push_back(loop.now()); });
    });
    loop.advance(1s);
    EXPECT_EQ(seen, (std::vector<Duration>{100ms, 150ms}));
}

TEST(RunLoopTest, ThreadRunLoopRunsWorkPostedFromOtherThreads) {
    ThreadRunLoop loop;
    std::atomic<int> done{0};
    std::thread worker([&] {
        for (int i = 0; i < 100; ++i) {
            loop.post([&] { ++done; });
        }
    });
    bool timerFired = false;
    loop.after(20ms, [&] { timerFired = true; });
    EXPECT_TRUE(loop.runUntil([&] { return done == 100 && timerFired; }, 5s));
    worker.join();
}

TEST(TaskTest, PromiseCompletesExactlyOnceOnTheMainThread) {
    VirtualRunLoop loop;
    std::vector<std::string> outcomes;
    Promise<int> promise(loop, [&](Result<int> r) {
        EXPECT_TRUE(loop.isMainThread());
        outcomes.push_back(r.ok() ? std::to_string(r.value()) : r.error().domain);
    });
    std::thread([promise] { promise.resolve(7); }).join();
    promise.resolve(8);
    promise.handle().cancel();
    loop.runUntilIdle();
    EXPECT_EQ(outcomes, (std::vector<std::string>{"7"}));

    bool innerCancelled = false;
    Promise<int> outer(
        loop, [&](Result<int> r) { outcomes.push_back(r.ok() ? "value" : r.error().domain); });
    auto inner = std::make_shared<TaskState>();
    inner->onCancel([&] { innerCancelled = true; });
    outer.chain(TaskHandle(inner));
    outer.handle().cancel();
    outer.resolve(1);
    loop.runUntilIdle();
    EXPECT_TRUE(innerCancelled);
    EXPECT_EQ(outcomes.back(), kTaskCancellationDomain);
    EXPECT_EQ(outcomes.size(), 2u);
}

TEST(UrlTest, ResolvesReferencesByTheStandard) {
    auto base = Url::parseAbsolute("http://a/b/c/d;p?q").value();
    const std::pair<const char*, const char*> cases[] = {
        {"g", "http://a/b/c/g"},
        {"./g", "http://a/b/c/g"},
        {"g/", "http://a/b/c/g/"},
        {"/g", "http://a/g"},
        {"//g", "http://g"},
        {"?y", "http://a/b/c/d;p?y"},
        {"g?y", "http://a/b/c/g?y"},
        {"#s", "http://a/b/c/d;p?q#s"},
        {"", "http://a/b/c/d;p?q"},
        {".", "http://a/b/c/"},
        {"..", "http://a/b/"},
        {"../g", "http://a/b/g"},
        {"../../../g", "http://a/g"},
        {"g;x=1/../y", "http://a/b/c/y"},
        {"https://other/x", "https://other/x"},
    };
    for (const auto& [reference, expected] : cases) {
        auto resolved = base.resolve(reference);
        ASSERT_TRUE(resolved) << reference;
        EXPECT_EQ(resolved->toString(), expected) << reference;
    }
    EXPECT_EQ(base.resolve("has space")->toString(), "http://a/b/c/has%20space");
    EXPECT_FALSE(Url::parseAbsolute("http://host:80x/"));
    EXPECT_FALSE(Url::parseAbsolute("relative/path"));
    auto hub = Url::parseAbsolute("http://127.0.0.1:8080/app/").value();
    EXPECT_EQ(hub.host(), "127.0.0.1");
    EXPECT_EQ(hub.port(), 8080);
    // The user information before "@" holds no port, whatever its colons.
    auto withUser = Url::parseAbsolute("http://user:pw@host/").value();
    EXPECT_EQ(withUser.host(), "host");
    EXPECT_EQ(withUser.port(), std::nullopt);
    EXPECT_EQ(Url::parseAbsolute("http://user:1@[::1]:81/").value().port(), 81);
}

TEST(UrlTest, CharactersAUrlCannotHoldAreEncodedBeforeParsing) {
    const std::pair<const char*, const char*> cases[] = {
        {"/art/My Song.jpg", "/art/My%20Song.jpg"},
        {"Beyonc\xC3\xA9.jpg", "Beyonc%C3%A9.jpg"},
        {"a\tb\nc\x7F", "a%09b%0Ac%7F"},
        {"\"<>\\^`{|}", "%22%3C%3E%5C%5E%60%7B%7C%7D"},
        {"100% sure %4", "100%25%20sure%20%254"},
        {"%41%c3%A9", "%41%c3%A9"},  // escapes stay as they are
        {"x#y#z", "x#y%23z"},
        {"http://[::1]:81/a[1]?q=[2]#[3]", "http://[::1]:81/a%5B1%5D?q=%5B2%5D#%5B3%5D"},
        {"/p[1]", "/p%5B1%5D"},
        {"https://cdn.example/a.png?x=1&y=%20", "https://cdn.example/a.png?x=1&y=%20"},
    };
    for (const auto& [text, encoded] : cases) {
        EXPECT_EQ(encodeInvalidUrlCharacters(text), encoded) << text;
        EXPECT_EQ(encodeInvalidUrlCharacters(encoded), encoded) << "twice: " << text;
        const auto url = Url::parse(text);
        ASSERT_TRUE(url) << text;
        EXPECT_EQ(url->toString(), encoded) << text;
    }
    // Read as written, then resolved as any reference.
    const auto hub = Url::parseAbsolute("http://hub.local:8080/app/os/").value();
    EXPECT_EQ(hub.resolve("/art/My Song.jpg")->toString(),
              "http://hub.local:8080/art/My%20Song.jpg");
    EXPECT_EQ(hub.resolve("../Beyonc\xC3\xA9 x.jpg")->toString(),
              "http://hub.local:8080/app/Beyonc%C3%A9%20x.jpg");
    const auto spaced = Url::parseAbsolute("HTTP://host:81/My Song.jpg").value();
    EXPECT_EQ(spaced.scheme, "http");
    EXPECT_EQ(spaced.path, "/My%20Song.jpg");
    // Still no address: a malformed scheme or port.
    EXPECT_FALSE(Url::parse("1http://host/"));
    EXPECT_FALSE(Url::parse("http://host:8 0/"));
}

TEST(UrlTest, PathSegmentsAreEncodedByTheProgramsOwnRule) {
    EXPECT_EQ(percentEncodePathSegment("a/b c"), "a%2Fb%20c");
    EXPECT_EQ(percentEncodePathSegment("-._~!$&'()*+,:=@"), "-._~!$&'()*+,:=@");
    EXPECT_EQ(percentEncodePathSegment("?#%\xC3\xA9"), "%3F%23%25%C3%A9");
    EXPECT_EQ(percentDecode("a%2Fb%20c%zz%4"), "a/b c%zz%4");
    // Dot segments stay one segment through resolution; dots inside a name stay as they are.
    const auto base = Url::parseAbsolute("http://h/api/").value();
    for (const auto& [id, path] :
         std::vector<std::pair<std::string, std::string>>{{".", "/api/items/%2E/run"},
                                                          {"..", "/api/items/%2E%2E/run"},
                                                          {"...", "/api/items/.../run"},
                                                          {"a..b", "/api/items/a..b/run"},
                                                          {"../x", "/api/items/..%2Fx/run"}}) {
        EXPECT_EQ(base.resolve("items/" + percentEncodePathSegment(id) + "/run")->path, path) << id;
    }
}

TEST(UserDefaultsTest, FileStoreKeepsValuesAndSurvivesCorruptionAndFailedWrites) {
    testing::TempDir dir;
    const auto file = dir.path() / "corvix" / "defaults.json";
    {
        JsonFileUserDefaults defaults(file);
        EXPECT_EQ(defaults.boolean("k"), std::nullopt);
        defaults.setBoolean("k", false);
        defaults.setValue("snapshot", json::object{{"a", 1}});
        EXPECT_TRUE(defaults.lastWriteSucceeded());
    }
    {
        JsonFileUserDefaults reread(file);
        EXPECT_EQ(reread.boolean("k"), false);
        EXPECT_EQ(reread.value("snapshot"), json::value(json::object{{"a", 1}}));
    }

    // A write that cannot finish leaves the previous file whole.
    const std::string before = [&] {
        std::ifstream in(file);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }();
    std::filesystem::remove(file.string() + ".lock");
    std::filesystem::create_directory(file.string() + ".lock");  // writers cannot be excluded
    {
        JsonFileUserDefaults defaults(file);
        defaults.setBoolean("k", true);
        EXPECT_FALSE(defaults.lastWriteSucceeded());
        EXPECT_EQ(defaults.boolean("k"), true);  // still held in memory
    }
    std::ifstream in(file);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), before);
    std::filesystem::remove(file.string() + ".lock");

    // A corrupt file reads as empty and stays until the next successful write, which keeps it
    // aside under a name that says so instead of replacing it.
    dir.write("corvix/defaults.json", "{not json");
    JsonFileUserDefaults corrupt(file);
    EXPECT_EQ(corrupt.value("k"), std::nullopt);
    std::ifstream still(file);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(still), {}), "{not json");
    corrupt.setBoolean("k", true);
    corrupt.setBoolean("other", true);
    EXPECT_EQ(JsonFileUserDefaults(file).boolean("k"), true);
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(file.parent_path())) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    ASSERT_EQ(names.size(), 3u);  // the store, its lock and the one unreadable copy
    EXPECT_EQ(names[0], "defaults.json");
    EXPECT_EQ(names[1], "defaults.json.lock");
    EXPECT_EQ(names[2].rfind("defaults.json.unreadable-", 0), 0u) << names[2];
    std::ifstream aside(file.parent_path() / names[2]);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(aside), {}), "{not json");
}

TEST(UserDefaultsTest, TwoWritersOfOneStoreLoseNothing) {
    testing::TempDir dir;
    const auto file = dir.path() / "defaults.json";
    constexpr int kWrites = 60;  // each write syncs twice
    auto writer = [&](const std::string& prefix, bool& allSucceeded) {
        JsonFileUserDefaults defaults(file);  // each its own copy, like another process
        allSucceeded = true;
        for (int i = 0; i < kWrites; ++i) {
            defaults.setValue(prefix + std::to_string(i), i);
            allSucceeded = allSucceeded && defaults.lastWriteSucceeded();
        }
        defaults.removeValue(prefix + "0");
    };
    bool firstOk = false;
    bool secondOk = false;
    std::thread first(writer, "a", std::ref(firstOk));
    std::thread second(writer, "b", std::ref(secondOk));
    first.join();
    second.join();
    EXPECT_TRUE(firstOk);
    EXPECT_TRUE(secondOk);
    JsonFileUserDefaults reread(file);
    for (const char* prefix : {"a", "b"}) {
        EXPECT_EQ(reread.value(std::string(prefix) + "0"), std::nullopt);
        for (int i = 1; i < kWrites; ++i) {
            EXPECT_EQ(reread.value(prefix + std::to_string(i)), json::value(i)) << prefix << i;
        }
    }
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos)
            << "left behind: " << entry.path();
    }
}

std::string contentOf(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string> namesIn(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

TEST(RegularFileTest, ReadsOnlyRegularFilesWithinTheLimitAndNeverWaits) {
    testing::TempDir dir;
    EXPECT_EQ(readRegularFile(dir.write("small", "abc"), 3), "abc");
    EXPECT_EQ(readRegularFile(dir.write("empty", ""), 3), "");
    EXPECT_EQ(readRegularFile(dir.write("big", "abcd"), 3), std::nullopt);
    std::filesystem::create_symlink(dir.path() / "small", dir.path() / "link");
    EXPECT_EQ(readRegularFile(dir.path() / "link", 3), "abc");
    EXPECT_EQ(readRegularFile(dir.path(), 1 << 20), std::nullopt);
    EXPECT_EQ(readRegularFile(dir.path() / "missing", 3), std::nullopt);
    // Nobody writes to this FIFO: a blocking open would never return.
    const auto fifo = dir.path() / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(readRegularFile(fifo, 1 << 20), std::nullopt);
}

TEST(UserDefaultsTest, AStoreThatIsNoFileNeitherBlocksNorIsReplacedByTheProgramsOwnValues) {
    testing::TempDir dir;
    const auto file = dir.path() / "defaults.json";
    ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
    {
        JsonFileUserDefaults defaults(file);  // returns at once, with nothing read
        EXPECT_EQ(defaults.value("k"), std::nullopt);
        defaults.recordValue("snapshot", json::object{{"a", 1}});
        EXPECT_FALSE(defaults.lastWriteSucceeded());
        EXPECT_EQ(defaults.value("snapshot"), json::value(json::object{{"a", 1}}));
    }
    struct stat info {};
    ASSERT_EQ(::lstat(file.c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));

    // The same for a store that does not parse: the diagnostics snapshot is not a reason to move
    // it aside, the user's next choice is, and the snapshot waiting in memory goes with it.
    std::filesystem::remove(file);
    dir.write("defaults.json", "{not json");
    JsonFileUserDefaults corrupt(file);
    corrupt.recordValue("snapshot", 1);
    EXPECT_EQ(contentOf(file), "{not json");
    EXPECT_EQ(namesIn(dir.path()),
              (std::vector<std::string>{"defaults.json", "defaults.json.lock"}));
    corrupt.setBoolean("k", true);
    EXPECT_TRUE(corrupt.lastWriteSucceeded());
    JsonFileUserDefaults reread(file);
    EXPECT_EQ(reread.boolean("k"), true);
    EXPECT_EQ(reread.value("snapshot"), json::value(1));
    EXPECT_EQ(namesIn(dir.path()).size(), 3u);  // and the unreadable copy beside it

    // A store far larger than ours could be is not read.
    dir.write("defaults.json",
              "{\"k\":\"" + std::string(JsonFileUserDefaults::kMaxStoreBytes, 'x') + "\"}");
    EXPECT_EQ(JsonFileUserDefaults(file).value("k"), std::nullopt);
}

TEST(UserDefaultsTest, ALockHeldElsewhereDelaysTheSaveNotTheProgram) {
    testing::TempDir dir;
    const auto file = dir.path() / "defaults.json";
    JsonFileUserDefaults defaults(file, 100ms);
    defaults.setBoolean("first", true);
    ASSERT_TRUE(defaults.lastWriteSucceeded());

    // Another process holds the lock (a second open of the file is as foreign to flock).
    const int holder = ::open((file.string() + ".lock").c_str(), O_RDWR);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);
    ::testing::internal::CaptureStderr();
    const auto started = std::chrono::steady_clock::now();
    defaults.setBoolean("second", true);
    defaults.removeValue("first");
    const auto took = std::chrono::steady_clock::now() - started;
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_FALSE(defaults.lastWriteSucceeded());
    EXPECT_LT(took, 2s);
    EXPECT_NE(said.find("is locked by another program"), std::string::npos) << said;
    EXPECT_EQ(defaults.boolean("second"), true);
    EXPECT_EQ(defaults.boolean("first"), std::nullopt);
    EXPECT_EQ(JsonFileUserDefaults(file, 0ms).boolean("first"), true) << "nothing written yet";

    // Once the lock is free, the next save brings every change that waited.
    ::close(holder);
    defaults.setBoolean("third", false);
    EXPECT_TRUE(defaults.lastWriteSucceeded());
    JsonFileUserDefaults reread(file);
    EXPECT_EQ(reread.boolean("first"), std::nullopt);
    EXPECT_EQ(reread.boolean("second"), true);
    EXPECT_EQ(reread.boolean("third"), false);
}

TEST(UserDefaultsTest, TemporaryFilesLeftByAKilledWriterAreRemovedAtStart) {
    testing::TempDir dir;
    const auto file = dir.path() / "defaults.json";
    dir.write("defaults.json", R"({"k":true})");
    dir.write("defaults.json.tmp-a1B2c3", R"({"k":fal)");
    dir.write("defaults.json.tmp-XyZ789", "");
    dir.write("notes.tmp-123456", "not ours");
    JsonFileUserDefaults defaults(file);
    EXPECT_EQ(defaults.boolean("k"), true);
    EXPECT_EQ(namesIn(dir.path()), (std::vector<std::string>{"defaults.json", "defaults.json.lock",
                                                             "notes.tmp-123456"}));
}

TEST(RuntimeDirectoryTest, OnlyAFolderOfThisUsersWithoutAccessForOthersIsUsed) {
    testing::TempDir dir;
    MapEnvironment env;
    env.set("TMPDIR", dir.path().string());
    const auto runtime = dir.path() / "run";
    std::filesystem::create_directory(runtime);
    env.set("XDG_RUNTIME_DIR", runtime.string());

    ::chmod(runtime.c_str(), 0700);
    auto chosen = RuntimeDirectory::choose(env);
    ASSERT_TRUE(chosen);
    EXPECT_EQ(chosen->path, runtime);
    EXPECT_FALSE(chosen->temporary);

    // A runtime folder others may enter is passed over for our own one under TMPDIR.
    ::chmod(runtime.c_str(), 0755);
    const auto shared = dir.path() / ("corvix-" + std::to_string(::getuid()));
    chosen = RuntimeDirectory::choose(env);
    ASSERT_TRUE(chosen);
    EXPECT_EQ(chosen->path, shared);
    EXPECT_FALSE(chosen->temporary);
    struct stat info {};
    ASSERT_EQ(::lstat(shared.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);

    // Someone else made that name first, or made it open to all: a private folder of this run's
    // own, never theirs.
    env.unset("XDG_RUNTIME_DIR");
    ::chmod(shared.c_str(), 0777);
    dir.write(shared.filename().string() + "/corvix-lock", "planted");
    chosen = RuntimeDirectory::choose(env);
    ASSERT_TRUE(chosen);
    EXPECT_NE(chosen->path, shared);
    EXPECT_TRUE(chosen->temporary);
    EXPECT_TRUE(RuntimeDirectory::isPrivate(chosen->path, false));
    EXPECT_EQ(chosen->path.parent_path(), dir.path());

    std::filesystem::remove_all(shared);
    std::filesystem::create_directory_symlink(runtime, shared);
    ::chmod(runtime.c_str(), 0700);
    EXPECT_TRUE(RuntimeDirectory::choose(env)->temporary) << "a link is not our folder";

    if (::getuid() == 0) {
        // Owned by another user, even with the right mode.
        std::filesystem::remove(shared);
        std::filesystem::create_directory(shared);
        ::chmod(shared.c_str(), 0700);
        ASSERT_EQ(::chown(shared.c_str(), 65534, 65534), 0);
        EXPECT_TRUE(RuntimeDirectory::choose(env)->temporary);
    }
}

TEST(UserDefaultsTest, DefaultPathFollowsXdgConfigHome) {
    MapEnvironment env;
    env.set("HOME", "/home/u");
    EXPECT_EQ(JsonFileUserDefaults::defaultPath(env), "/home/u/.config/corvix/defaults.json");
    env.set("XDG_CONFIG_HOME", "/cfg");
    EXPECT_EQ(JsonFileUserDefaults::defaultPath(env), "/cfg/corvix/defaults.json");
    env.set("XDG_CONFIG_HOME", "relative");  // not absolute: ignored
    EXPECT_EQ(JsonFileUserDefaults::defaultPath(env), "/home/u/.config/corvix/defaults.json");
}

TEST(RuntimeDiagnosticsTest, EnablingRule) {
    const std::pair<const char*, bool> cases[] = {
        {"1", true},       {"Yes \n", true}, {" ON", true}, {"true", true},
        {"enable", false}, {"", false},      {"0", false},
    };
    for (const auto& [value, enabled] : cases) {
        MapEnvironment env;
        env.set("ORBELUNE_RUNTIME_DIAGNOSTICS", value);
        EXPECT_EQ(RuntimeDiagnostics::enabledByEnvironment(env), enabled) << value;
    }
    EXPECT_FALSE(RuntimeDiagnostics::enabledByEnvironment(MapEnvironment()));
}

TEST(RuntimeDiagnosticsTest, DisabledStoresNothing) {
    InMemoryUserDefaults defaults;
    RuntimeDiagnostics diagnostics(false, &defaults, [] { return 1.0; });
    diagnostics.count("a");
    diagnostics.gauge("g", 1);
    diagnostics.event("e");
    diagnostics.persist();
    EXPECT_EQ(defaults.value(RuntimeDiagnostics::kSnapshotKey), std::nullopt);
    EXPECT_TRUE(diagnostics.counters().empty());
}

TEST(RuntimeDiagnosticsTest, LimitsAndSnapshot) {
    InMemoryUserDefaults defaults;
    double now = 1000;
    RuntimeDiagnostics diagnostics(true, &defaults, [&] { return now++; });
    for (int i = 0; i < 70; ++i) {
        diagnostics.event("refresh_requested");
    }
    auto events = diagnostics.recentEvents();
    ASSERT_EQ(events.size(), 64u);
    EXPECT_DOUBLE_EQ(events.front().at, 1006);  // the six oldest were dropped
    EXPECT_DOUBLE_EQ(events.back().at, 1069);
    EXPECT_EQ(diagnostics.counters().at("refresh_requested"), 70);

    for (int i = 1; i < 48; ++i) {
        diagnostics.count("c" + std::to_string(i));
    }
    diagnostics.count("one_too_many");
    diagnostics.event("event_too_many");
    diagnostics.count("c1", 5);
    auto counters = diagnostics.counters();
    EXPECT_EQ(counters.size(), 48u);
    EXPECT_EQ(counters.count("one_too_many"), 0u);
    EXPECT_EQ(counters.count("event_too_many"), 0u);
    EXPECT_EQ(counters.at("c1"), 6);
    EXPECT_EQ(diagnostics.recentEvents().size(), 64u);
    EXPECT_EQ(diagnostics.recentEvents().back().name, "refresh_requested");

    diagnostics.gauge("refresh_active", 1);
    diagnostics.gauge("refresh_active", 0);
    diagnostics.persist();
    auto snapshot = defaults.value(RuntimeDiagnostics::kSnapshotKey).value().as_object();
    EXPECT_EQ(snapshot.at("gauges").as_object().at("refresh_active"), 0);
    EXPECT_EQ(snapshot.at("counters").as_object().at("refresh_requested"), 70);
    EXPECT_EQ(snapshot.at("recentEvents").as_array().size(), 64u);
    EXPECT_EQ(snapshot.at("recentEvents").as_array()[0].as_object().at("name"),
              "refresh_requested");
    EXPECT_TRUE(snapshot.at("sampledAt").is_double());
}

}  // namespace
}  // namespace corvix
