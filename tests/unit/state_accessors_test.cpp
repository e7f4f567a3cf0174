#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "LocaleTestSupport.h"
#include "hub/StateStreamParser.h"
#include "platform/HttpClient.h"
#include "platform/PlatformServices.h"
#include "platform/UserDefaults.h"
#include "state/DeviceControl.h"
#include "state/MusicPlayer.h"
#include "state/StateAccessors.h"

namespace corvix {
namespace {

json::value parse(std::string_view text) {
    return parseJson(text).value();
}

TEST(StateAccessorsTest, StringDescribesEveryPresentValueAndFallsBackOnlyWhenAbsent) {
    const json::value doc = parse(
        R"({"n":7,"neg":-3,"empty":"","t":true,"f":false,"null":null,"text":"Kitchen","big":18446744073709551615})");
    const auto& o = doc.get_object();
    EXPECT_EQ(string(o, "n", "Room"), "7");
    EXPECT_EQ(string(o, "neg"), "-3");
    EXPECT_EQ(string(o, "empty", "Room"), "");
    EXPECT_EQ(string(o, "missing", "Room"), "Room");
    EXPECT_EQ(string(o, "t"), "1");
    EXPECT_EQ(string(o, "f"), "0");
    EXPECT_EQ(string(o, "null", "Room"), "<null>");
    EXPECT_EQ(string(o, "text"), "Kitchen");
    EXPECT_EQ(string(o, "big"), "18446744073709551615");
}

TEST(StateAccessorsTest, BoolReadsWordsNumbersAndFallsBackForAbsentNullAndContainers) {
    const json::value doc = parse(
        R"({"yes":"Yes","off":"off","maybe":"maybe","two":2,"zero":0,"null":null,"list":[],"obj":{},"t":true})");
    const auto& o = doc.get_object();
    EXPECT_TRUE(bool_(o, "yes"));
    EXPECT_FALSE(bool_(o, "off", true));
    EXPECT_FALSE(bool_(o, "maybe", true));  // unknown text is false, not the fallback
    EXPECT_TRUE(bool_(o, "two"));
    EXPECT_FALSE(bool_(o, "zero", true));
    EXPECT_TRUE(bool_(o, "null", true));
    EXPECT_TRUE(bool_(o, "list", true));
    EXPECT_TRUE(bool_(o, "obj", true));
    EXPECT_TRUE(bool_(o, "missing", true));
    EXPECT_TRUE(bool_(o, "t"));
}

TEST(StateAccessorsTest, OptionalBoolHasThreeOutcomes) {
    const json::value doc = parse(
        R"({"OFF":"OFF","maybe":"maybe","null":null,"zero":0,"on":"on","t":true,"list":[1]})");
    const auto& o = doc.get_object();
    EXPECT_EQ(optionalBool(o, "OFF"), false);
    EXPECT_EQ(optionalBool(o, "maybe"), std::nullopt);
    EXPECT_EQ(optionalBool(o, "null"), std::nullopt);
    EXPECT_EQ(optionalBool(o, "zero"), false);
    EXPECT_EQ(optionalBool(o, "on"), true);
    EXPECT_EQ(optionalBool(o, "t"), true);
    EXPECT_EQ(optionalBool(o, "list"), std::nullopt);
    EXPECT_EQ(optionalBool(o, "missing"), std::nullopt);
}

TEST(StateAccessorsTest, OptionalDoubleAcceptsOnlyWholeLiterals) {
    struct Case {
        const char* json;
        std::optional<double> expected;
    };
    const Case cases[] = {
        {R"("21.5")", 21.5},
        {R"(" 21.5")", std::nullopt},
        {R"("21.5 C")", std::nullopt},
        {"true", 1.0},
        {"false", 0.0},
        {"null", std::nullopt},
        {"4", 4.0},
        {"-2.25", -2.25},
        {R"("1e3")", 1000.0},
        {R"("-.5")", -0.5},
        {R"("")", std::nullopt},
        {R"("abc")", std::nullopt},
        {R"("5.")", 5.0},
        {R"("+7")", 7.0},
        {"[1]", std::nullopt},
        {R"("0x10")", std::nullopt},
        {R"("inf")", std::nullopt},
    };
    for (const auto& c : cases) {
        const json::value value = parse(c.json);
        EXPECT_EQ(optionalDouble(&value), c.expected) << c.json;
    }
    EXPECT_EQ(optionalDouble(nullptr), std::nullopt);
}

TEST(StateAccessorsTest, TextsBeyondADoubleReadAsInfinityOrZero) {
    constexpr double inf = std::numeric_limits<double>::infinity();
    const std::string zeros(400, '0');
    const std::pair<std::string, double> cases[] = {
        {"1e400", inf},         {"-1e400", -inf},
        {"1" + zeros, inf},     {"0.00001e400", inf},
        {"10000e305", inf},     {"1000e305", 1e308},
        {"0.0001e312", 1e308},  {"1e-400", 0.0},
        {"-1e-400", -0.0},      {"0." + zeros + "1", 0.0},
        {"100000e-330", 0.0},   {"0.000001e-320", 0.0},
        {"4.9e-324", 4.9e-324}, {"0e999999999999", 0.0},
    };
    for (const auto& [text, expected] : cases) {
        const json::value value(text);
        const std::optional<double> read = optionalDouble(&value);
        ASSERT_TRUE(read) << text;
        EXPECT_EQ(*read, expected) << text;
        EXPECT_EQ(std::signbit(*read), std::signbit(expected)) << text;
    }
}

TEST(StateAccessorsTest, ClampedIntegerHoldsAnyNumberInRangeBeforeConverting) {
    constexpr auto lowest = std::numeric_limits<std::int64_t>::min();
    constexpr auto highest = std::numeric_limits<std::int64_t>::max();
    constexpr double inf = std::numeric_limits<double>::infinity();
    const double nan = std::nan("");
    struct Case {
        double value;
        std::int64_t low, high, expected;
    };
    const Case cases[] = {
        {2.5, lowest, highest, 3},
        {-2.5, lowest, highest, -3},
        {2.49, lowest, highest, 2},
        {1e300, lowest, highest, highest},
        {-1e300, lowest, highest, lowest},
        {inf, lowest, highest, highest},
        {-inf, lowest, highest, lowest},
        {9223372036854775808.0, lowest, highest, highest},  // 2^63, one past the range
        {-9223372036854775808.0, lowest, highest, lowest},
        {9223372036854774784.0, lowest, highest, 9223372036854774784},  // the last double below
        {nan, lowest, highest, 0},
        {nan, 5, 10, 5},
        {-nan, -10, -5, -5},
        {1e300, 0, 100, 100},
        {-1e300, 0, 100, 0},
        {99.5, 0, 100, 100},
        {42.4, 0, 100, 42},
        {1e12 + 0.4, 0, 1'000'000'000'000, 1'000'000'000'000},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(clampedInteger(c.value, c.low, c.high), c.expected)
            << c.value << " in " << c.low << "..." << c.high;
    }
}

TEST(StateAccessorsTest, FixedTextRoundsAsTheCLibraryDoesInItsOwnLocale) {
    EXPECT_EQ(fixedText(19.5, 1), "19.5");
    EXPECT_EQ(fixedText(0.25, 1), "0.2");  // exactly halfway in binary: to even
    EXPECT_EQ(fixedText(0.35, 1), "0.3");  // 0.34999... in binary
    EXPECT_EQ(fixedText(-0.05, 1), "-0.1");
    EXPECT_EQ(fixedText(2.5, 0), "2");
    EXPECT_EQ(fixedText(1e300, 0).size(), 301u);
    EXPECT_EQ(fixedText(-1e308, 3).size(), 314u);  // sign, 309 digits, point, 3 decimals
    EXPECT_EQ(fixedText(std::numeric_limits<double>::infinity(), 1), "inf");
}

/// Qt sets the C library's locale from the user's language; the hub's numbers read and print
/// the same whatever it is.
class AccessorsUnderLocale : public testing::UnderLocale {};

TEST_P(AccessorsUnderLocale, NumbersReadAndPrintWithAPoint) {
    for (const auto& [text, expected] : std::vector<std::pair<const char*, double>>{
             {"21.5", 21.5}, {"40.5", 40.5}, {"-1.25e1", -12.5}, {".5", 0.5}, {"7", 7}}) {
        const json::value value(text);
        EXPECT_EQ(optionalDouble(&value), expected) << text;
    }
    const json::value comma("21,5");
    EXPECT_EQ(optionalDouble(&comma), std::nullopt) << "a comma is no point in any language";
    const json::value half(21.5);
    EXPECT_EQ(string(&half), "21.5");
    const json::value list = parse(R"(["0.5", 1.5, "2.25"])");
    EXPECT_EQ(numberArray(&list), (std::vector<double>{0.5, 1.5, 2.25}));

    EXPECT_EQ(formatNumber(19.5), "19.5");
    EXPECT_EQ(formatNumber(-0.25), "-0.2");
    EXPECT_EQ(fixedText(1234.5, 2), "1234.50");
    const json::value device = parse(R"({"state":{"currentTemperature":"19.5"}})");
    EXPECT_EQ(statusText(device.get_object()), "19.5");
    EXPECT_EQ(toJsonText(json::value(20.5)), "2.05E1");

    // Hub words compare in ASCII: Turkish lower-cases "I" to a dotless i.
    EXPECT_EQ(asciiLowercased("PLAYING"), "playing");
    EXPECT_TRUE(musicIsPlaying(parse(R"({"playback":"PLAYING"})").get_object()));
    // So do the protocol's words: a header is found whatever its case, "PING" is a keep-alive.
    const HttpHeaders headers{{"CONTENT-TYPE", "text/event-stream"}, {"X-MAC-CONTROL-INFO", "1"}};
    EXPECT_EQ(headerValue(headers, "Content-Type"), "text/event-stream");
    EXPECT_EQ(headerValue(headers, "x-mac-control-info"), "1");
    std::vector<std::string> names;
    StateStreamParser parser([&](const StateStreamParser::Event& e) { names.push_back(e.name); });
    parser.feed("event: PING\n\nevent: STATE_CHANGED\n\n");
    EXPECT_EQ(names, (std::vector<std::string>{"ping", "state_changed"}));
}

INSTANTIATE_TEST_SUITE_P(Languages, AccessorsUnderLocale,
                         ::testing::ValuesIn(testing::decimalCommaLocales()),
                         testing::localeCaseName);

TEST(StateAccessorsTest, ListsDropWhatTheyCannotReadExceptObjectListsWhichAreAllOrNothing) {
    const json::value doc = parse(
        R"({"numbers":[20,"21.5",null,"x"],"texts":["a","",3],"mixed":[{},{},1],"objects":[{"a":1},{}],"notList":{}})");
    const auto& o = doc.get_object();
    EXPECT_EQ(numberArray(o, "numbers"), (std::vector<double>{20, 21.5}));
    EXPECT_EQ(stringArray(o, "texts"), (std::vector<std::string>{"a", "3"}));
    EXPECT_TRUE(array(o, "mixed").empty());
    ASSERT_EQ(array(o, "objects").size(), 2u);
    EXPECT_EQ(array(o, "objects")[0]->at("a").as_int64(), 1);
    EXPECT_TRUE(array(o, "notList").empty());
    EXPECT_TRUE(numberArray(o, "missing").empty());
}

TEST(StateAccessorsTest, CancellationErrorsAreRecognised) {
    EXPECT_TRUE(isCancellationError(cancellationError()));
    EXPECT_TRUE(isCancellationError(Error{kUrlErrorDomain, kUrlErrorCancelled, "cancelled"}));
    EXPECT_FALSE(isCancellationError(Error{kUrlErrorDomain, kUrlErrorTimedOut, "timed out"}));
    EXPECT_FALSE(isCancellationError(programError(-999, "not a URL error")));
}

TEST(StateAccessorsTest, SectionKeysReadTrueUntilWritten) {
    InMemoryUserDefaults defaults;
    EXPECT_TRUE(corvixSectionEnabled(defaults, corvixSectionScenesKey));
    setCorvixSection(defaults, corvixSectionScenesKey, false);
    EXPECT_FALSE(corvixSectionEnabled(defaults, corvixSectionScenesKey));
    EXPECT_TRUE(corvixSectionEnabled(defaults, corvixNotchEnabledKey));

    auto previous = platformServices();
    platformServices().defaults = &defaults;
    EXPECT_FALSE(corvixSectionEnabled(corvixSectionScenesKey));
    setCorvixSection(corvixSectionAVFlowsKey, false);
    EXPECT_FALSE(corvixSectionEnabled(defaults, corvixSectionAVFlowsKey));
    installPlatformServices(previous);
}

}  // namespace
}  // namespace corvix
