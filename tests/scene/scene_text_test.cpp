// GL-free tests: splitting the list into lines and fields, conversions, messages, the transform.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "scene/scene_text.h"
#include "scene/transform.h"

using Pieces = std::vector<std::string_view>;

TEST(SplitFields, FollowsTheTabRules) {
    EXPECT_EQ(splitFields("a.vert\tb.frag\t100\t12.5"),
              (Pieces{"a.vert", "b.frag", "100", "12.5"}));
    // Adjacent tabs give an empty field; a trailing tab adds none; a leading one does.
    EXPECT_EQ(splitFields("a\t\tb"), (Pieces{"a", "", "b"}));
    EXPECT_EQ(splitFields("a\tb\t"), (Pieces{"a", "b"}));
    EXPECT_EQ(splitFields("\ta"), (Pieces{"", "a"}));
    EXPECT_EQ(splitFields("\t"), (Pieces{""}));
    EXPECT_EQ(splitFields("\t\t"), (Pieces{"", ""}));
    EXPECT_TRUE(splitFields("").empty());
    // No trimming: blanks and a carriage return stay in the fields.
    EXPECT_EQ(splitFields(" a \tb\r"), (Pieces{" a ", "b\r"}));
    EXPECT_EQ(splitFields("a b c d"), (Pieces{"a b c d"}));
}

TEST(SplitLines, FinalLineEndIsOptional) {
    EXPECT_EQ(splitLines("one\ntwo\n"), (Pieces{"one", "two"}));
    EXPECT_EQ(splitLines("one\ntwo"), (Pieces{"one", "two"}));
    EXPECT_EQ(splitLines("one\n\ntwo\n\n"), (Pieces{"one", "", "two", ""}));
    EXPECT_EQ(splitLines("\n"), (Pieces{""}));
    EXPECT_TRUE(splitLines("").empty());
    EXPECT_EQ(splitLines("a\r\nb\r\n"), (Pieces{"a\r", "b\r"}));
    const std::string withNul("a\0b\nc", 5);
    EXPECT_EQ(splitLines(withNul), (Pieces{std::string_view("a\0b", 3), "c"}));
}

TEST(ParseInstanceCount, ReadsLikeAtoiAndClamps) {
    EXPECT_EQ(parseInstanceCount("100"), 100);
    EXPECT_EQ(parseInstanceCount(" 20"), 20);
    EXPECT_EQ(parseInstanceCount("\t\n 7"), 7);
    EXPECT_EQ(parseInstanceCount("-5"), -5);
    EXPECT_EQ(parseInstanceCount("+5"), 5);
    EXPECT_EQ(parseInstanceCount("12abc"), 12);
    EXPECT_EQ(parseInstanceCount("3.9"), 3);
    EXPECT_EQ(parseInstanceCount("x"), 0);
    EXPECT_EQ(parseInstanceCount(""), 0);
    EXPECT_EQ(parseInstanceCount("0x10"), 0); // decimal only
    EXPECT_EQ(parseInstanceCount("1e3"), 1);
    EXPECT_EQ(parseInstanceCount("2147483647"), INT32_MAX);
    EXPECT_EQ(parseInstanceCount("2147483648"), INT32_MAX);
    EXPECT_EQ(parseInstanceCount("99999999999999999999999999"), INT32_MAX);
    EXPECT_EQ(parseInstanceCount("-2147483648"), INT32_MIN);
    EXPECT_EQ(parseInstanceCount("-2147483649"), INT32_MIN);
    EXPECT_EQ(parseInstanceCount("-99999999999999999999999999"), INT32_MIN);
    EXPECT_EQ(parseInstanceCount("64\r"), 64);
    // The field ends where the view ends, even when more text follows in memory.
    const std::string_view line = "12345";
    EXPECT_EQ(parseInstanceCount(line.substr(0, 2)), 12);
}

TEST(ParseDuration, ReadsLikeAtofInSinglePrecision) {
    EXPECT_EQ(parseDuration("12.5"), 12.5f);
    EXPECT_EQ(parseDuration("1.5abc"), 1.5f);
    EXPECT_EQ(parseDuration("  3"), 3.0f);
    EXPECT_EQ(parseDuration("x"), 0.0f);
    EXPECT_EQ(parseDuration(""), 0.0f);
    EXPECT_EQ(parseDuration("2.5e1"), 25.0f);
    EXPECT_EQ(parseDuration("1E-1"), 0.1f);
    EXPECT_EQ(parseDuration("0x1.8p1"), 3.0f);
    EXPECT_EQ(parseDuration("-0.25"), -0.25f);
    EXPECT_EQ(parseDuration("12.5\r"), 12.5f);
    EXPECT_EQ(parseDuration("0.1"), 0.1f); // rounded to float, not kept as double
    EXPECT_TRUE(std::signbit(parseDuration("-0")));
    EXPECT_EQ(parseDuration("inf"), std::numeric_limits<float>::infinity());
    EXPECT_EQ(parseDuration("-Infinity"), -std::numeric_limits<float>::infinity());
    EXPECT_TRUE(std::isnan(parseDuration("nan")));
    EXPECT_TRUE(std::isnan(parseDuration("NAN(123)")));
    // Beyond float's range: infinity; below it: zero.
    EXPECT_EQ(parseDuration("1e39"), std::numeric_limits<float>::infinity());
    EXPECT_EQ(parseDuration("1e400"), std::numeric_limits<float>::infinity());
    EXPECT_EQ(parseDuration("-1e400"), -std::numeric_limits<float>::infinity());
    EXPECT_EQ(parseDuration("1e-50"), 0.0f);
    const std::string_view line = "1.25";
    EXPECT_EQ(parseDuration(line.substr(0, 3)), 1.2f);
}

TEST(FormatDuration, MatchesTheStreamDefault) {
    EXPECT_EQ(formatDuration(12.5f), "12.5");
    EXPECT_EQ(formatDuration(10.0f), "10");
    EXPECT_EQ(formatDuration(1.0f / 3.0f), "0.333333");
    EXPECT_EQ(formatDuration(1e6f), "1e+06");
    EXPECT_EQ(formatDuration(123456.0f), "123456");
    EXPECT_EQ(formatDuration(0.0001f), "0.0001");
    EXPECT_EQ(formatDuration(0.00001f), "1e-05");
    EXPECT_EQ(formatDuration(-0.0f), "-0");
    EXPECT_EQ(formatDuration(0.1f), "0.1");
    EXPECT_EQ(formatDuration(std::numeric_limits<float>::infinity()), "inf");
    EXPECT_EQ(formatDuration(-std::numeric_limits<float>::infinity()), "-inf");
}

TEST(Messages, LoadedSceneLineAndShortLineWarning) {
    EXPECT_EQ(loadedSceneLine("a.vert", "b.frag", 100, 12.5f),
              "Loaded scene (a.vert, b.frag, 100, 12.5)");
    EXPECT_EQ(loadedSceneLine("", "", -3, 0.0f), "Loaded scene (, , -3, 0)");
    const std::string warning = shortLineWarning("shaders/prog.csv", 7, 1);
    EXPECT_EQ(warning.rfind("shaders/prog.csv:7: ", 0), 0u) << warning;
    EXPECT_NE(warning.find("found 1 field,"), std::string::npos) << warning;
    EXPECT_NE(warning.find("tabs"), std::string::npos) << warning;
    EXPECT_NE(shortLineWarning("x", 2, 3).find("found 3 fields"), std::string::npos);
}

TEST(Messages, BlankLines) {
    EXPECT_TRUE(isBlankLine(""));
    EXPECT_TRUE(isBlankLine(" \t\r"));
    EXPECT_FALSE(isBlankLine(" x "));
    EXPECT_FALSE(isBlankLine(std::string_view("\0", 1)));
}

TEST(SceneClock, TimeIsUpStrictlyAfterTheDuration) {
    EXPECT_FALSE(sceneTimeIsUp(12.5, 12.5f));
    EXPECT_TRUE(sceneTimeIsUp(std::nextafter(12.5, 13.0), 12.5f));
    // The float duration is widened, not the elapsed time narrowed: 0.1f is above 0.1.
    EXPECT_FALSE(sceneTimeIsUp(0.1, 0.1f));
    EXPECT_TRUE(sceneTimeIsUp(0.0000001, 0.0f));
    EXPECT_FALSE(sceneTimeIsUp(0.0, 0.0f));
    EXPECT_TRUE(sceneTimeIsUp(0.0, -1.0f));
    EXPECT_FALSE(sceneTimeIsUp(1e300, std::numeric_limits<float>::infinity()));
    EXPECT_FALSE(sceneTimeIsUp(1e300, std::nanf("")));
    EXPECT_TRUE(sceneTimeIsUp(0.0, -std::numeric_limits<float>::infinity()));
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

TEST(Transform, UploadedMatrixIsProjectionTimesModelView) {
    const Matrix4 expected = {0.8820336f, 0, 0,           0,   0, 1.5611995f, 0,          0,
                              0,          0, -10.002001f, -10, 0, 0,          2.9805982f, 3};
    const Matrix4 mvp = sceneTransform();
    for (int i = 0; i < 16; ++i) {
        EXPECT_NEAR(mvp[i], expected[i], 1e-5f) << "element " << i;
    }
    // Column-major product: the translation column of M lands in column 3.
    const Matrix4 identity = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    EXPECT_EQ(multiply(projectionMatrix(), identity), projectionMatrix());
    const Matrix4 shift = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 5, 6, 7, 1};
    const Matrix4 scale = {2, 0, 0, 0, 0, 3, 0, 0, 0, 0, 4, 0, 0, 0, 0, 1};
    const Matrix4 shiftThenScale = multiply(scale, shift);
    EXPECT_EQ(shiftThenScale[12], 10.0f);
    EXPECT_EQ(shiftThenScale[13], 18.0f);
    EXPECT_EQ(shiftThenScale[14], 28.0f);
}

TEST(Transform, QuadCoversTheScreenCentre) {
    // Corner (1, 1, 0, 1) through the matrix: about 565 x 562 pixels of 1920 x 1080.
    const Matrix4 mvp = sceneTransform();
    const float x = mvp[0] + mvp[12];
    const float y = mvp[5] + mvp[13];
    const float w = mvp[3] + mvp[7] + mvp[15];
    EXPECT_NEAR(x / w * 1920.0f, 565.0f, 1.0f);
    EXPECT_NEAR(y / w * 1080.0f, 562.0f, 1.0f);
}
