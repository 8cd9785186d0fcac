// GL-free tests of the renderer: the clock, the frame range, the command line, y4m and progress.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <tuple>

#include "frames/frame_clock.h"
#include "render/encoder.h"
#include "render/options.h"
#include "render/progress.h"
#include "render/y4m.h"
#include "scene/scene_text.h"

static const float inf = std::numeric_limits<float>::infinity();

using Ends = std::vector<int64_t>;

// The player's loop with readings taken exactly at k / fps: the rule the clock must reproduce.
static Ends simulatePlayer(const std::vector<float>& durations, double fps, int64_t limit) {
    Ends ends;
    size_t scene = 0;
    double start = 0;
    for (int64_t frame = 0; frame < limit && scene < durations.size(); ++frame) {
        const double now = static_cast<double>(frame) / fps;
        if (sceneTimeIsUp(now - start, durations[scene])) {
            ends.push_back(frame);
            ++scene;
            start = now;
        }
    }
    return ends;
}

TEST(FrameClock, FinishesScenesStrictlyAfterTheirDuration) {
    // 0.5 s and 0.25 s at 10 fps: frames 0..6 show the first, 7..9 the second.
    const Ends ends = sceneEndFrames({0.5f, 0.25f}, 10.0);
    EXPECT_EQ(ends, (Ends{6, 9}));
    EXPECT_EQ(sequenceFrameCount(ends), 10);
    EXPECT_EQ(frameSlot(ends, 10.0, 0).scene, 0u);
    EXPECT_EQ(frameSlot(ends, 10.0, 6).scene, 0u);
    EXPECT_DOUBLE_EQ(frameSlot(ends, 10.0, 6).elapsed, 0.6);
    EXPECT_EQ(frameSlot(ends, 10.0, 7).scene, 1u);
    EXPECT_NEAR(frameSlot(ends, 10.0, 7).elapsed, 0.1, 1e-12);
    EXPECT_EQ(frameSlot(ends, 10.0, 9).scene, 1u);
    // Whole seconds at 60 fps: a 2 s scene shows 122 frames (its time is exactly 2 in the 121st).
    EXPECT_EQ(sceneEndFrames({2.0f, 2.0f}, 60.0), (Ends{121, 242}));
}

TEST(FrameClock, ZeroNegativeAndEndlessDurations) {
    // The first scene's first frame is at time 0, which does not exceed 0.
    EXPECT_EQ(sceneEndFrames({0.0f, 0.0f, -1.0f, -inf}, 30.0), (Ends{1, 2, 3, 4}));
    EXPECT_EQ(sceneEndFrames({1.0f, inf, 1.0f}, 10.0), (Ends{11, neverEnds}));
    EXPECT_EQ(sceneEndFrames({std::nanf("")}, 10.0), (Ends{neverEnds}));
    EXPECT_EQ(sceneEndFrames({3e38f}, 1000.0), (Ends{neverEnds}));
    EXPECT_EQ(sequenceFrameCount(sceneEndFrames({1.0f, inf}, 10.0)), neverEnds);
    EXPECT_EQ(sequenceFrameCount({}), 0);
    const Ends endless = sceneEndFrames({1.0f, inf}, 10.0);
    EXPECT_EQ(frameSlot(endless, 10.0, 1000000).scene, 1u);
    EXPECT_DOUBLE_EQ(frameSlot(endless, 10.0, 1000000).elapsed, 100000.0 - 1.1);
}

TEST(FrameClock, AgreesWithTheLoopFrameByFrame) {
    std::mt19937 random(7);
    std::uniform_real_distribution<float> duration(-0.1f, 3.0f);
    const double rates[] = {1.0, 10.0, 23.976, 24.0, 29.97, 30.0, 59.94, 60.0, 144.0, 1000.0 / 3.0};
    for (double fps : rates) {
        std::vector<float> durations;
        for (int i = 0; i < 40; ++i) {
            // Some exact multiples of the frame time, where the strict comparison matters.
            durations.push_back(i % 3 == 0
                                    ? static_cast<float>(std::round(duration(random) * fps) / fps)
                                    : duration(random));
        }
        EXPECT_EQ(sceneEndFrames(durations, fps), simulatePlayer(durations, fps, 1000000)) << fps;
    }
}

TEST(FrameClock, SecondsToFramesAndRanges) {
    const std::pair<double, int64_t> seconds[] = {
        {0.0, 0}, {1.0, 60}, {0.55, 33}, {1.0 / 60 - 1e-6, 0}, {1e300, neverEnds}};
    for (const auto& [at, frame] : seconds) {
        EXPECT_EQ(frameAtSecond(at, 60.0), frame) << at;
    }
    EXPECT_EQ(frameAtSecond(0.29, 100.0), 29); // 28.999999999999996 in binary

    // 0.5 s, 0.25 s and one without end at 10 fps: frames 0..6, 7..9, then 10 onwards, whose
    // time starts at frame 9's reading.
    const std::vector<float> durations = {0.5f, 0.25f, inf};
    const Ends ends = sceneEndFrames(durations, 10.0);
    using Seconds = std::optional<double>;
    struct Case {
        Seconds from, to, at;
        std::optional<size_t> scene;
        int64_t first, last;
        const char* error;
    };
    const Case cases[] = {
        {{}, 5.0, {}, {}, 0, 49, ""},
        {0.3, 0.7, {}, {}, 3, 6, ""}, // --to ends before the frame at its second
        {0.7, 1.0, {}, {}, 7, 9, ""},
        {{}, {}, 0.55, {}, 5, 5, ""},
        {{}, {}, 99.0, {}, 990, 990, ""},
        {{}, {}, {}, 0, 0, 6, ""},
        {{}, {}, {}, 1, 7, 9, ""},
        {{}, {}, 0.0, 1, 7, 7, ""}, // time 0 falls on the frame before: the scene's first
        {{}, {}, 0.1, 1, 7, 7, ""},
        {0.1, 0.2, {}, 1, 7, 7, ""},
        {{}, {}, 0.3, 2, 12, 12, ""},
        {{},
         {},
         {},
         {},
         0,
         -1,
         "scene 3 never ends (duration inf); give --to to say where to stop"},
        {{}, {}, {}, 2, 0, -1, "scene 3 never ends (duration inf); give --to to say where to stop"},
        {{},
         {},
         0.4,
         1,
         0,
         -1,
         "--at 0.4 is past the end of scene 2 (its last frame shows second 0.3)"},
        {{}, {}, {}, 3, 0, -1, "--scene 4: the list has 3 scenes"},
        {{}, {}, 1e300, {}, 0, -1, "--at 1e+300 is too far away to count in frames"},
        {1e300, 2e300, {}, {}, 0, -1, "--from 1e+300 is too far away to count in frames"},
        {0.5,
         0.55,
         {},
         {},
         0,
         -1,
         "--to 0.55 leaves no frame to write: it ends before frame 5, the first of the range"}};
    for (const Case& c : cases) {
        const FrameRange range = frameRange(ends, durations, 10.0, c.from, c.to, c.at, c.scene);
        EXPECT_EQ(range.error, c.error);
        if (range.error.empty()) {
            EXPECT_EQ(range.first, c.first) << c.first;
            EXPECT_EQ(range.last, c.last) << c.first;
        }
    }
    const std::vector<float> ending = {0.5f, 0.25f};
    EXPECT_EQ(frameRange(sceneEndFrames(ending, 10.0), ending, 10.0, {}, {}, {}).last, 9);
    EXPECT_NE(frameRange(sceneEndFrames(ending, 10.0), ending, 10.0, {}, {}, 1.0)
                  .error.find("--at 1 is past the end of the sequence"),
              std::string::npos);
    EXPECT_EQ(frameRange({}, {}, 10.0, {}, {}, {}).error, "the scene list has no scenes to render");
}

static ParseResult parse(std::vector<std::string> args) {
    return parseRenderOptions(args);
}

TEST(RenderOptions, DefaultsAndEveryForm) {
    ParseResult result = parse({"-o", "out.y4m"});
    ASSERT_EQ(result.action, ParseAction::render) << result.error;
    const RenderOptions defaults = result.options;
    EXPECT_EQ(defaults.sceneList, "shaders/prog.csv");
    EXPECT_EQ(std::tie(defaults.fps, defaults.width, defaults.height),
              std::make_tuple(60.0, 1920, 1080));
    EXPECT_EQ(defaults.outputKind, OutputKind::y4mFile);

    result = parse({"--output=frames/%05d.png", "-qr30", "--size", "640x360", "--fr", "1.5",
                    "--to=2", "list.csv", "-C", "dir", "--scene=2", "--allow"});
    ASSERT_EQ(result.action, ParseAction::render) << result.error;
    const RenderOptions& options = result.options;
    EXPECT_EQ(options.outputKind, OutputKind::pngSequence);
    EXPECT_TRUE(options.quiet && options.allowBroken);
    EXPECT_EQ(std::tie(options.fps, options.width, options.height),
              std::make_tuple(30.0, 640, 360));
    EXPECT_EQ(std::make_tuple(*options.from, *options.to, *options.scene),
              std::make_tuple(1.5, 2.0, 2));
    EXPECT_EQ(std::tie(options.sceneList, options.directory), std::make_tuple("list.csv", "dir"));
    EXPECT_EQ(
        parse({"-o", "v.mp4", "--crf", "23", "--audio", "a.wav", "-r", "30000/1001"}).options.fps,
        30000.0 / 1001.0);

    EXPECT_EQ(parse({"-o", "-"}).options.outputKind, OutputKind::y4mStdout);
    EXPECT_EQ(parse({"-o", "still.png", "--at", "3"}).options.outputKind, OutputKind::pngStill);
    EXPECT_EQ(parse({"--check", "--", "-odd.csv"}).options.sceneList, "-odd.csv");
    EXPECT_TRUE(parse({"--check"}).options.check);
    EXPECT_EQ(*parse({"--t", "1", "-o", "a.y4m"}).options.to, 1.0); // only --to starts so
    // --help and --version act where they stand.
    EXPECT_EQ(parse({"--help", "--bogus"}).action, ParseAction::help);
    EXPECT_EQ(parse({"-V"}).action, ParseAction::version);
    EXPECT_EQ(parse({"--version", "-h"}).action, ParseAction::version);
    EXPECT_EQ(parse({"--bogus", "--help"}).action, ParseAction::usageError);
}

TEST(RenderOptions, MistakesAreUsageErrorsWithAReason) {
    // clang-format off
    const std::pair<std::vector<std::string>, std::string> mistakes[] = {
        {{"--bogus"}, "unrecognised option '--bogus'"}, {{"-x"}, "unrecognised option '-x'"},
        {{"-qx"}, "unrecognised option '-x'"}, {{"-o"}, "option '-o' needs a value"},
        {{"--output"}, "option '--output' needs a value"}, {{"-o", ""}, "--output needs a path"},
        {{}, "an output is required"}, {{"-o", "a.y4m", "--fps", "1/0"}, "--fps needs"},
        {{"-o", "a.y4m", "-r", "0"}, "--fps needs a number of frames per second above 0"},
        {{"-o", "a.y4m", "-r", "-5"}, "--fps needs"}, {{"-o", "a.y4m", "--fps=abc"}, "--fps needs"},
        {{"-o", "a.y4m", "--fps", "nan"}, "--fps needs"},
        {{"-o", "a.y4m", "--fps", "inf"}, "--fps needs"},
        {{"-o", "a.y4m", "--fps", "30fps"}, "--fps needs"},
        {{"-o", "a.y4m", "-s", "100x0"}, "--size needs"},
        {{"-o", "a.y4m", "-s", "0x100"}, "--size needs WIDTHxHEIGHT"},
        {{"-o", "a.y4m", "-s", "100"}, "--size needs"},
        {{"-o", "a.y4m", "-s", "-1x5"}, "--size needs"},
        {{"-o", "a.y4m", "-s", "100x100x3"}, "--size needs"},
        {{"-o", "a.y4m", "-s", "999999x9"}, "--size needs"},
        {{"-o", "a.y4m", "--to", "x"}, "--to needs"},
        {{"-o", "a.y4m", "--from", "2", "--to", "1"}, "--from must be before --to"},
        {{"-o", "a.y4m", "--from", "-1"}, "--from needs a number of seconds, 0 or more"},
        {{"-o", "a.y4m", "--at", "1", "--from", "0"}, "--at writes one frame"},
        {{"-o", "a.y4m", "--scene", "0"}, "--scene needs a whole number from 1 up"},
        {{"-o", "a.y4m", "--scene", "1x"}, "--scene needs"},
        {{"-o", "a.png"}, "a single PNG needs --at"}, {{"-o", "a.avi"}, "the output must end in"},
        {{"-o", "f/%s.png"}, "a frame pattern needs"},
        {{"-o", "f/%05d%d.png"}, "a frame pattern needs exactly one integer conversion"},
        {{"-o", "a.y4m", "a.csv", "b.csv"}, "one scene list at most, not 'a.csv' and 'b.csv'"},
        {{"--check", "-o", "a.y4m"}, "--check writes nothing"},
        {{"--check=yes"}, "option '--check' takes no value"},
        {{"--f", "1", "-o", "a.y4m"}, "option '--f' is ambiguous (--fps, --from)"}};
    // clang-format on
    for (const auto& [args, reason] : mistakes) {
        const ParseResult result = parse(args);
        EXPECT_EQ(result.action, ParseAction::usageError) << reason;
        EXPECT_EQ(result.error.rfind(reason, 0), 0u) << result.error;
        EXPECT_EQ(result.error.find('\n'), std::string::npos) << result.error;
    }
    EXPECT_EQ(printable("plain/path.csv"), "plain/path.csv");
    EXPECT_EQ(printable("a\nb\x1b[2J\x7f\xff"), "a\\x0ab\\x1b[2J\\x7f\xff");
}

TEST(FramePattern, OneIntegerConversion) {
    const auto pattern = parseFramePattern("frames/%05d.png");
    ASSERT_TRUE(pattern);
    EXPECT_EQ(formatFramePath(*pattern, 42), "frames/00042.png");
    EXPECT_EQ(formatFramePath(*pattern, 1234567), "frames/1234567.png");
    EXPECT_EQ(formatFramePath(*parseFramePattern("100%%/f%d.png"), 7), "100%/f7.png");
    EXPECT_EQ(formatFramePath(*parseFramePattern("f%4i.png"), 7), "f   7.png");
    EXPECT_EQ(formatFramePath(*parseFramePattern("%u.png"), 0), "0.png");
    EXPECT_FALSE(parseFramePattern("frames.png"));
    EXPECT_FALSE(parseFramePattern("%d%d.png"));
    EXPECT_FALSE(parseFramePattern("%ld.png"));
    EXPECT_FALSE(parseFramePattern("%-5d.png"));
    EXPECT_FALSE(parseFramePattern("%99999999999d.png"));
    EXPECT_FALSE(parseFramePattern("trailing%"));
}

TEST(Y4m, StreamHeaderAndFrameRate) {
    EXPECT_EQ(y4mStreamHeader(1920, 1080, 60.0),
              "YUV4MPEG2 W1920 H1080 F60:1 Ip A1:1 C420jpeg XYSCSS=420JPEG XCOLORRANGE=LIMITED\n");
    uint64_t numerator = 0, denominator = 0;
    frameRateFraction(29.97, numerator, denominator);
    EXPECT_EQ(numerator * 1000 + denominator, 2997u * 1000 + 100u);
    frameRateFraction(30000.0 / 1001.0, numerator, denominator);
    EXPECT_EQ(numerator * 10000 + denominator, 30000u * 10000 + 1001u);
    frameRateFraction(0.5, numerator, denominator);
    EXPECT_EQ(numerator * 10 + denominator, 1u * 10 + 2u);
    frameRateFraction(M_PI, numerator, denominator);
    EXPECT_NEAR(static_cast<double>(numerator) / static_cast<double>(denominator), M_PI, 1e-6);
    EXPECT_EQ(i420FrameSize(1920, 1080), 1920u * 1080u * 3 / 2);
    EXPECT_EQ(i420FrameSize(3, 3), 9u + 2 * 4u);
}

TEST(Y4m, ConvertsColoursAndFlipsRows) {
    // 2 x 2 pixels; the bottom row comes first in OpenGL's order.
    const uint8_t bottomUp[] = {0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255, 255, 255, 255, 255, 0};
    uint8_t planes[6];
    rgbaToI420(bottomUp, 2, 2, planes);
    EXPECT_EQ(planes[0], 235); // top row: white
    EXPECT_EQ(planes[1], 235);
    EXPECT_EQ(planes[2], 16); // bottom row: black
    EXPECT_EQ(planes[3], 16);
    EXPECT_EQ(planes[4], 128); // grey average: no colour
    EXPECT_EQ(planes[5], 128);

    struct Sample {
        uint8_t r, g, b, y, cb, cr;
    };
    for (const Sample& s :
         {Sample{255, 0, 0, 82, 90, 240}, Sample{0, 255, 0, 145, 54, 34},
          Sample{0, 0, 255, 41, 240, 110}, Sample{128, 128, 128, 126, 128, 128}}) {
        const uint8_t pixel[4] = {s.r, s.g, s.b, 255};
        rgbaToI420(pixel, 1, 1, planes);
        EXPECT_NEAR(planes[0], s.y, 1) << int(s.r) << "," << int(s.g) << "," << int(s.b);
        EXPECT_NEAR(planes[1], s.cb, 1) << int(s.r) << "," << int(s.g) << "," << int(s.b);
        EXPECT_NEAR(planes[2], s.cr, 1) << int(s.r) << "," << int(s.g) << "," << int(s.b);
    }
    // The ends of the chroma range are exact: a block's average must not lose a step.
    const uint8_t redAndBlue[] = {255, 0, 0, 255, 255, 0, 0, 255, 0, 0, 255, 255, 0, 0, 255, 255};
    uint8_t split[4 + 2 + 2];
    rgbaToI420(redAndBlue, 4, 1, split);
    EXPECT_EQ((std::vector<int>{split[4], split[6]}), (std::vector<int>{90, 240}));  // red
    EXPECT_EQ((std::vector<int>{split[5], split[7]}), (std::vector<int>{240, 110})); // blue
}

TEST(Encoder, VideoIsWrittenInOrderByOneThread) {
    // Frames of a stream share one conversion buffer and one descriptor.
    EXPECT_EQ(encoderThreadsFor(OutputKind::y4mFile), 1);
    EXPECT_EQ(encoderThreadsFor(OutputKind::y4mStdout), 1);
    EXPECT_EQ(encoderThreadsFor(OutputKind::video), 1);
    EXPECT_GE(encoderThreadsFor(OutputKind::pngSequence), 1);
}

TEST(Y4m, OddSizesAverageWhatIsThere) {
    // 3 x 1: chroma 2 x 1; the right sample covers only the last pixel.
    const uint8_t row[] = {255, 0, 0, 255, 255, 0, 0, 255, 0, 0, 255, 255};
    uint8_t planes[3 + 2 + 2];
    rgbaToI420(row, 3, 1, planes);
    EXPECT_NEAR(planes[3], 90, 1);  // red block
    EXPECT_NEAR(planes[4], 240, 1); // blue pixel
    EXPECT_NEAR(planes[5], 240, 1);
    EXPECT_NEAR(planes[6], 110, 1);
}

TEST(Progress, LineShowsRateAndTimeLeft) {
    EXPECT_EQ(progressLine(120, 600, 2.0), "frame 120/600  60.0 fps  0:08 left");
    EXPECT_EQ(progressLine(0, 600, 0.0), "frame 0/600  0.0 fps  --:-- left");
    EXPECT_EQ(progressLine(1, 100001, 1.0), "frame 1/100001  1.0 fps  27:46:40 left");
}
