// GL-free tests: splitting the list into lines and fields, conversions, the projection, log
// placement. The messages and the uploaded matrix are checked exactly where the programs print and
// upload them, end to end.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "scene/scene_problems.h"
#include "scene/scene_source.h"
#include "scene/scene_text.h"
#include "scene/shader_log.h"
#include "scene/transform.h"
#include "temp_dir.h"

using Pieces = std::vector<std::string_view>;

// Tables of several cases a line.
// clang-format off
TEST(Splitting, LinesAndFieldsFollowTheSeparatorRules) {
    // Adjacent separators give an empty piece; a trailing one adds none; a leading one does.
    // No trimming: blanks and carriage returns stay in the pieces.
    const std::pair<std::string_view, Pieces> fields[] = {
        {"a.vert\tb.frag\t100\t12.5", {"a.vert", "b.frag", "100", "12.5"}}, {"a\t\tb", {"a", "", "b"}},
        {"a\tb\t", {"a", "b"}}, {"\ta", {"", "a"}}, {"\t", {""}}, {"\t\t", {"", ""}}, {"", {}},
        {" a \tb\r", {" a ", "b\r"}}, {"a b c d", {"a b c d"}}};
    for (const auto& [line, pieces] : fields) {
        EXPECT_EQ(splitFields(line), pieces) << line;
    }
    const std::pair<std::string_view, Pieces> lines[] = {
        {"one\ntwo\n", {"one", "two"}}, {"one\ntwo", {"one", "two"}}, {"\n", {""}}, {"", {}},
        {"one\n\ntwo\n\n", {"one", "", "two", ""}}, {"a\r\nb\r\n", {"a\r", "b\r"}},
        {std::string_view("a\0b\nc", 5), {std::string_view("a\0b", 3), "c"}}};
    for (const auto& [text, pieces] : lines) {
        EXPECT_EQ(splitLines(text), pieces) << text;
    }
}

// A field ends where its view ends, even when more text follows in memory.
TEST(Conversions, InstanceCountReadsLikeAtoiAndClamps) {
    const std::pair<std::string_view, int32_t> cases[] = {
        {"100", 100}, {" 20", 20}, {"\t\n 7", 7}, {"-5", -5},
        {"+5", 5}, {"12abc", 12}, {"3.9", 3}, {"x", 0},
        {"", 0}, {"0x10", 0}, {"1e3", 1}, {"64\r", 64},
        {"2147483647", INT32_MAX}, {"2147483648", INT32_MAX}, {"-2147483648", INT32_MIN},
        {"-2147483649", INT32_MIN}, {"99999999999999999999999999", INT32_MAX},
        {"-99999999999999999999999999", INT32_MIN}, {std::string_view("12345").substr(0, 2), 12}};
    for (const auto& [field, count] : cases) {
        EXPECT_EQ(parseInstanceCount(field), count) << field;
    }
    // Only what had to be clamped is reported; both ends of the range are counts as written.
    const std::pair<std::string_view, std::string_view> verdicts[] = {
        {"0", ""}, {"2147483647", ""},
        {"2147483648", "instance count '2147483648' is out of range: from 0 to 2147483647 (read as 2147483647)"},
        {"-1", "instance count '-1' is out of range: from 0 to 2147483647 (read as -1)"}};
    for (const auto& [field, problem] : verdicts) {
        EXPECT_EQ(instanceCountProblem(field), problem) << field;
    }
}

TEST(Conversions, DurationReadsLikeAtofInSinglePrecision) {
    const float inf = std::numeric_limits<float>::infinity();
    const std::pair<std::string_view, float> cases[] = {
        {"12.5", 12.5f}, {"1.5abc", 1.5f}, {"  3", 3.0f}, {"x", 0.0f}, {"", 0.0f},
        {"2.5e1", 25.0f}, {"1E-1", 0.1f}, {"0x1.8p1", 3.0f}, {"-0.25", -0.25f}, {"12.5\r", 12.5f},
        {"0.1", 0.1f}, {"inf", inf}, {"-Infinity", -inf}, {"1e39", inf}, {"1e400", inf},
        {"-1e400", -inf}, {"1e-50", 0.0f}, {std::string_view("1.25").substr(0, 3), 1.2f}};
    for (const auto& [field, duration] : cases) {
        EXPECT_EQ(parseDuration(field), duration) << field;
    }
    EXPECT_TRUE(std::signbit(parseDuration("-0")));
    EXPECT_TRUE(std::isnan(parseDuration("nan")));
    EXPECT_TRUE(std::isnan(parseDuration("NAN(123)")));
}

TEST(Conversions, DurationTextMatchesTheStreamDefault) {
    const float inf = std::numeric_limits<float>::infinity();
    const std::pair<float, const char*> cases[] = {
        {12.5f, "12.5"}, {10.0f, "10"}, {1.0f / 3.0f, "0.333333"}, {1e6f, "1e+06"},
        {123456.0f, "123456"}, {0.0001f, "0.0001"}, {0.00001f, "1e-05"}, {-0.0f, "-0"},
        {0.1f, "0.1"}, {inf, "inf"}, {-inf, "-inf"}};
    for (const auto& [duration, text] : cases) {
        EXPECT_EQ(formatDuration(duration), text);
    }
}

// clang-format on

TEST(SceneClock, TimeIsUpStrictlyAfterTheDuration) {
    // The float duration is widened, not the elapsed time narrowed: 0.1f is above 0.1.
    const float inf = std::numeric_limits<float>::infinity();
    const std::tuple<double, float, bool> cases[] = {
        {12.5, 12.5f, false}, {std::nextafter(12.5, 13.0), 12.5f, true},
        {0.1, 0.1f, false},   {0.0000001, 0.0f, true},
        {0.0, 0.0f, false},   {0.0, -1.0f, true},
        {1e300, inf, false},  {1e300, std::nanf(""), false},
        {0.0, -inf, true}};
    for (const auto& [elapsed, duration, up] : cases) {
        EXPECT_EQ(sceneTimeIsUp(elapsed, duration), up) << elapsed << " " << duration;
    }
}

static uint32_t bitsOf(float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

TEST(Transform, ProjectionHasTheFixedEntries) {
    const Matrix4 p = projectionMatrix();
    EXPECT_NEAR(p[0], -0.0882034f, 1e-7f);
    EXPECT_NEAR(p[5], -0.1561200f, 1e-7f);
    EXPECT_EQ(bitsOf(p[10]), 0xBF80068Eu);
    EXPECT_EQ(bitsOf(p[14]), 0xBCA3DB3Cu);
    EXPECT_EQ(p[11], -1.0f);
    for (int i : {1, 2, 3, 4, 6, 7, 8, 9, 12, 13, 15}) {
        EXPECT_EQ(p[i], 0.0f) << "element " << i;
    }
}

TEST(ShaderLog, PlacesEachMessageWhereTheDriverSays) {
    const std::pair<std::string_view, std::vector<std::string>> cases[] = {
        {"0:16(15): error: `x' undeclared\n0:3(1): warning: unused\n",
         {"a.frag:16:15: error: `x' undeclared", "a.frag:3:1: warning: unused"}},
        {"ERROR: 0:3: 'foo' : undeclared identifier\nERROR: 1 compilation errors.\n",
         {"a.frag:3: error: 'foo' : undeclared identifier",
          "a.frag: ERROR: 1 compilation errors."}},
        {"0:7: syntax error\r\n\n  \n", {"a.frag:7: syntax error"}},
        {"0(12) : error C0000: syntax error", {"a.frag:12: error C0000: syntax error"}},
        // What cannot be placed keeps the file's name, and nothing is lost.
        {"error: linking failed\n0:x: odd\n",
         {"a.frag: error: linking failed", "a.frag: 0:x: odd"}},
        {std::string_view("\0\n", 2), {}}};
    for (const auto& [log, expected] : cases) {
        std::vector<std::string> placed;
        for (const LogMessage& message : parseShaderLog(log)) {
            placed.push_back(placedMessage("a.frag", message));
        }
        EXPECT_EQ(placed, expected) << log;
    }
}

// The separator a short line used in place of tabs is named; blanks around the line are not one.
TEST(SceneDescriptions, ShortLinesNameTheSeparatorMeant) {
    const std::pair<std::string_view, std::string_view> cases[] = {
        {"a.vert\ta.frag\t1 9", "; this line has spaces where tabs belong"},
        {" a.vert\ta.frag\t19 \r", ""},
        {"a.vert,a.frag", "; this line has commas where tabs belong"}};
    for (const auto& [line, named] : cases) {
        const std::string warning = shortLineWarning("l.csv", 3, 3, line);
        EXPECT_EQ(warning.substr(warning.find(")") + 1), named) << line;
    }
}

// clang-format off
// The road's GL-free half: a list read into descriptions and problems, and a build's report
// turned into lines, without a context.
TEST(SceneDescriptions, ListAndReportBecomeTheLinesEveryProgramPrints) {
    TempDir dir;
    // Comments may come before #version.
    const std::string vertex = dir.write("a.vert", "/* a.vert */ // by hand\n#version 450 core\nvoid main() {}\n");
    const std::string list = dir.write(
        "prog.csv", "\xEF\xBB\xBF" "x\n" + vertex + "\t" + vertex + "\t3000000\t2s\n" + vertex +
                        "\tnone.frag\t1\t1\n");
    const SceneListDescription described = describeSceneList(list);
    ASSERT_EQ(described.scenes.size(), 2u);
    const SceneDescription& scene = described.scenes[0];
    EXPECT_EQ(std::make_tuple(scene.listLine, scene.instanceCount, scene.duration, scene.vertex.text),
              std::make_tuple(size_t{2}, 3000000, 2.0f, std::string("/* a.vert */ // by hand\n#version 450 core\nvoid main() {}\n")));
    std::vector<std::tuple<size_t, bool, bool>> kinds; // line, player's short-line warning, warning
    for (const ListProblem& problem : described.problems) {
        kinds.emplace_back(problem.listLine, problem.shortLine, problem.warning);
    }
    EXPECT_EQ(kinds, (std::vector<std::tuple<size_t, bool, bool>>{
                         {1, false, false}, {1, true, false}, {2, false, false}, {2, false, true}}));
    EXPECT_EQ(listProblem(described), "");

    const std::string place = list + ":3: ";
    EXPECT_EQ(sceneProblems(list, described.scenes[1], ProgramReport{}),
              std::vector<std::string>{place + "cannot read the fragment shader none.frag: No such file or directory"});
    ProgramReport report;
    report.vertex = {false, "0:2(14): error: `x' undeclared\n"};
    EXPECT_EQ(sceneProblems(list, scene, report),
              std::vector<std::string>{vertex + ":2:14: error: `x' undeclared"});
    report.vertex = {true, ""};
    report.link = {false, "error: no main\n"};
    EXPECT_EQ(sceneProblems(list, scene, report),
              std::vector<std::string>{list + ":2: linking " + vertex + " with " + vertex + ": error: no main"});
    EXPECT_EQ(sceneWarnings(scene, {"mvp", "time", "weights[0]"}),
              std::vector<std::string>{vertex + " or " + vertex + ": uniform 'weights' is never set (only mvp and time are); it stays 0"});
    // A name inside a longer one is not its declaration; a value given where it is declared sets it;
    // a name can be a single letter.
    SceneDescription declared = scene;
    declared.vertex.text = "uniform float gainFactor; uniform float gain = 1.0;\nuniform float k;\n";
    EXPECT_EQ(sceneWarnings(declared, {"gain", "k"}),
              std::vector<std::string>{vertex + ":2: uniform 'k' is never set (only mvp and time are); it stays 0"});
    EXPECT_EQ(listProblem(describeSceneList(dir.write("empty.csv", "\n"))), dir.path.string() + "/empty.csv: the list makes no scene");
}
// clang-format on
