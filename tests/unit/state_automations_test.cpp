#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "state/Automations.h"

namespace corvix {
namespace {

JsonObject object(std::string_view text) {
    return parseJson(text).value().as_object();
}

JsonObject fixture(const std::string& name) {
    std::ifstream file(std::string(CORVIX_FIXTURES_DIR) + "/state/" + name);
    std::stringstream text;
    text << file.rdbuf();
    return object(text.str());
}

std::vector<std::string> ids(const ObjectList& programs) {
    std::vector<std::string> out;
    for (const JsonObject* program : programs) {
        out.push_back(string(*program, "id"));
    }
    return out;
}

TEST(AutomationsTest, ClassifiesAvFlowsByWholeTokenAndScenesBySubstringOrSceneObject) {
    struct Case {
        const char* program;
        bool avFlow;
        bool scene;
    };
    const Case cases[] = {
        {R"({"builderType":"AV-Flow"})", true, false},
        {R"({"programBuilderType":"AVFLOW"})", true, false},
        {R"({"icon":"program flow"})", true, false},
        {R"({"icon":"av flow icon"})", false, false},
        {R"({"programBuilderType":" av_flow"})", false, false},
        {R"({"programBuilderType":"Scene Builder"})", false, true},
        {R"({"icon":"my-scene"})", false, true},
        {R"({"scene":{}})", false, true},
        {R"({"scene":"yes"})", false, false},
        {R"({"builderType":"av_flow","scene":{"active":true}})", true, false},
        {R"({"builderType":"script"})", false, false},
        {R"({})", false, false},
    };
    for (const Case& c : cases) {
        const JsonObject program = object(c.program);
        EXPECT_EQ(isAvFlowProgramControl(program), c.avFlow) << c.program;
        EXPECT_EQ(isSceneProgramControl(program), c.scene) << c.program;
    }
}

TEST(AutomationsTest, AvFlowsComeFromProgramsWhenTheirOwnListIsEmpty) {
    JsonObject state = fixture("scenes-and-av-flows-from-every-source.json");
    EXPECT_EQ(ids(macControlAvFlows(state)),
              (std::vector<std::string>{"item-tv", "item-speakers"}));

    // A list with a non-object element counts as empty.
    state["avFlows"] = parseJson(R"([{"id":"a"}, 3])").value();
    EXPECT_EQ(ids(macControlAvFlows(state)),
              (std::vector<std::string>{"item-tv", "item-speakers"}));
}

TEST(AutomationsTest, NonEmptyAvFlowListIsTakenUnchanged) {
    JsonObject state = fixture("scenes-and-av-flows-from-every-source.json");
    state["avFlows"] = parseJson(R"([{"id":"f1"},{"id":"f1"},{"label":"no id"}])").value();
    EXPECT_EQ(ids(macControlAvFlows(state)), (std::vector<std::string>{"f1", "f1", ""}));
}

TEST(AutomationsTest, ScenesListProgramScenesThenOtherProgramsOnceEach) {
    JsonObject state = fixture("scenes-and-av-flows-from-every-source.json");
    // "Movie Night" keeps its "programScenes" place; the draft without an identity is dropped;
    // the number 42 and the text "42" are the same key; the plain script is still listed.
    EXPECT_EQ(ids(macControlProgramScenes(state)),
              (std::vector<std::string>{"item-movie", "item-morning", "item-lights-out",
                                        "script-water", "42"}));

    state["programScenes"] = json::array{};
    EXPECT_EQ(ids(macControlProgramScenes(state)),
              (std::vector<std::string>{"legacy-evening", "item-movie", "item-lights-out",
                                        "script-water", "42"}));

    EXPECT_TRUE(macControlProgramScenes(object(R"({"programs":"none"})")).empty());
}

TEST(AutomationsTest, NullIdentitiesNameNoProgram) {
    // Null is no key, so such programs neither share one nor block the id that follows.
    const JsonObject state = object(R"({"programs":[
        {"programId":null,"id":"a"},{"programId":null,"id":"b"},{"id":null},{"id":"c"}]})");
    EXPECT_EQ(ids(macControlProgramScenes(state)), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(programControlKey(object(R"({"programId":null,"id":null})")), "");
}

TEST(AutomationsTest, StatusTextReadsOnlyTheSceneObject) {
    struct Case {
        const char* program;
        std::optional<std::string> status;
    };
    const Case cases[] = {
        {R"({"scene":{"active":true}})", "Active"},
        {R"({"scene":{"active":"off"}})", "Inactive"},
        {R"({"scene":{"active":"maybe"}})", std::nullopt},
        {R"({"scene":{}})", std::nullopt},
        {R"({"scene":true,"active":true})", std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(automationStatusText(object(c.program)), c.status) << c.program;
    }
}

TEST(AutomationsTest, OnlyAvFlowsWithACapableToggleOrReversibleSceneAreToggles) {
    using S = AutomationToggleState;
    struct Case {
        const char* program;
        S state;
    };
    const Case cases[] = {
        {R"({"builderType":"av_flow","toggle":{"capable":"true","isOn":"no"}})", S::ToggleOff},
        {R"({"builderType":"av_flow","toggle":{"capable":true,"isOn":true}})", S::ToggleOn},
        {R"({"builderType":"av_flow","toggle":{"capable":1}})", S::ToggleOff},
        {R"({"builderType":"av_flow","toggle":{"capable":true,"isOn":"maybe"}})", S::ToggleOff},
        // The capable toggle wins over the scene.
        {R"({"builderType":"av_flow","toggle":{"capable":true,"isOn":false},
             "scene":{"reversible":true,"active":true}})",
         S::ToggleOff},
        {R"({"builderType":"av_flow","toggle":{"capable":false,"isOn":true},
             "scene":{"reversible":"yes","active":true}})",
         S::ToggleOn},
        {R"({"builderType":"av_flow","scene":{"reversible":true}})", S::ToggleOff},
        {R"({"builderType":"av_flow","toggle":true,"scene":{"active":true}})", S::NotAToggle},
        {R"({"builderType":"av_flow"})", S::NotAToggle},
        // Scenes never toggle, whatever their toggle says.
        {R"({"builderType":"scene","toggle":{"capable":true,"isOn":true}})", S::NotAToggle},
        {R"({"scene":{"active":true,"reversible":true}})", S::NotAToggle},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(programAutomationToggleState(object(c.program)), c.state) << c.program;
    }
}

TEST(AutomationsTest, AccessibilityLabelsNameTheKindButNotTheDesiredState) {
    struct Case {
        const char* program;
        const char* run;
        const char* toggle;
    };
    const Case cases[] = {
        {R"({"builderType":"av_flow","label":"TV","name":"ignored"})", "Run TV AV Flow",
         "TV AV Flow"},
        {R"({"name":"Dinner","scene":{}})", "Run Dinner scene", "Run Dinner scene"},
        {R"({})", "Run Automation scene", "Run Automation scene"},
        {R"({"label":"","name":"Hidden"})", "Run  scene", "Run  scene"},
    };
    for (const Case& c : cases) {
        const JsonObject program = object(c.program);
        EXPECT_EQ(runAutomationAccessibilityLabel(program), c.run) << c.program;
        EXPECT_EQ(automationToggleAccessibilityLabel(program), c.toggle) << c.program;
    }
}

}  // namespace
}  // namespace corvix
