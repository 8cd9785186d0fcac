// GL-free tests of the renderer: the clock, the frame range, the command line, y4m and progress.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <tuple>

#include "frames/frame_clock.h"
#include "render/encoder.h"
#include "render/options.h"
#include "render/parts.h"
#include "render/progress.h"
#include "render/wrote_line.h"
#include "render/y4m.h"
#include "scene/message_text.h"
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
    // A scene's first frame is at its time 0, which does not exceed 0; a 2 s scene at 60 fps
    // shows 122 frames (its time is exactly 2 in the 121st); after one that never ends, nothing.
    const std::tuple<std::vector<float>, double, Ends> cases[] = {
        {{0.5f, 0.25f}, 10.0, {6, 9}},
        {{2.0f, 2.0f}, 60.0, {121, 242}},
        {{0.0f, 0.0f, -1.0f, -inf}, 30.0, {1, 2, 3, 4}},
        {{1.0f, inf, 1.0f}, 10.0, {11, neverEnds}},
        {{std::nanf("")}, 10.0, {neverEnds}},
        {{3e38f}, 1000.0, {neverEnds}}};
    for (const auto& [durations, fps, ends] : cases) {
        EXPECT_EQ(sceneEndFrames(durations, fps), ends) << fps;
    }
    const Ends ends = sceneEndFrames({0.5f, 0.25f}, 10.0);
    EXPECT_EQ(sequenceFrameCount(ends), 10);
    EXPECT_EQ(sequenceFrameCount({}), 0);
    EXPECT_EQ(sequenceFrameCount({11, neverEnds}), neverEnds);
    // Frame 6 still shows the first scene, at 0.6; the second's time starts at that reading.
    EXPECT_EQ(std::make_pair(frameSlot(ends, 10.0, 6).scene, frameSlot(ends, 10.0, 7).scene),
              std::make_pair(size_t{0}, size_t{1}));
    EXPECT_DOUBLE_EQ(frameSlot(ends, 10.0, 6).elapsed, 0.6);
    EXPECT_NEAR(frameSlot(ends, 10.0, 7).elapsed, 0.1, 1e-12);
    EXPECT_DOUBLE_EQ(frameSlot({11, neverEnds}, 10.0, 1000000).elapsed, 100000.0 - 1.1);
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
    // clang-format off
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
        {{}, {}, {}, {}, 0, -1, "scene 3 never ends (duration inf); give --to to say where to stop"},
        {{}, {}, {}, 2, 0, -1, "scene 3 never ends (duration inf); give --to to say where to stop"},
        {{}, {}, 0.4, 1, 0, -1, "--at 0.4 is past the end of scene 2 (its last frame shows second 0.3)"},
        {{}, {}, {}, 3, 0, -1, "--scene 4: the list has 3 scenes"},
        {{}, {}, 1e300, {}, 0, -1, "--at 1e+300 is too far away to count in frames"},
        {1e300, 2e300, {}, {}, 0, -1, "--from 1e+300 is too far away to count in frames"},
        {0.5, 0.55, {}, {}, 0, -1, "--to 0.55 leaves no frame to write: it ends before frame 5, the first of the range"}};
    // clang-format on
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
    ASSERT_EQ(result.action, CommandLineAction::run) << result.error;
    const RenderOptions defaults = result.options;
    EXPECT_EQ(defaults.sceneList, "shaders/prog.csv");
    EXPECT_EQ(std::tie(defaults.fps, defaults.width, defaults.height),
              std::make_tuple(60.0, 1920, 1080));
    EXPECT_EQ(defaults.outputKind, OutputKind::y4mFile);

    result = parse({"--output=frames/%05d.png", "-qr30", "--size", "640x360", "--fr", "1.5",
                    "--to=2", "list.csv", "-C", "dir", "--scene=2", "--allow"});
    ASSERT_EQ(result.action, CommandLineAction::run) << result.error;
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
    EXPECT_EQ(*parse({"--t", "1", "-o", "a.y4m"}).options.to, 1.0); // only --to starts so
    // --help and --version act where they stand.
    EXPECT_EQ(parse({"--help", "--bogus"}).action, CommandLineAction::help);
    EXPECT_EQ(parse({"--version", "-h"}).action, CommandLineAction::version);
    EXPECT_EQ(parse({"--bogus", "--help"}).action, CommandLineAction::usageError);
}

TEST(RenderOptions, MistakesAreUsageErrorsWithAReason) {
    // clang-format off
    const std::pair<std::vector<std::string>, std::string> mistakes[] = {
        {{"--bogus"}, "unrecognised option '--bogus'"}, {{"-x"}, "unrecognised option '-x'"},
        {{"-qx"}, "unrecognised option '-x'"}, {{"-o"}, "option '-o' needs a value"},
        {{"--output"}, "option '--output' needs a value"}, {{"-o", ""}, "--output needs a path"},
        {{}, "an output is required"}, {{"-o", "a.y4m", "--fps", "1/0"}, "--fps needs"},
        {{"-o", "a.y4m", "-r", "30/x"}, "--fps needs"},
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
        {{"--f", "1", "-o", "a.y4m"}, "option '--f' is ambiguous (--fps, --from)"},
        {{"-o", "a.y4m", "--part", "0/3"}, "--part needs K/N"},
        {{"-o", "a.y4m", "--part", "4/3"}, "--part needs K/N"},
        {{"-o", "a.y4m", "--part", "3"}, "--part needs K/N"},
        {{"-o", "-", "--part", "1/3"}, "--part writes a chunk"},
        {{"-o", "a.mp4", "--audio", "a.wav", "--part", "1/3"}, "--part writes a chunk"},
        {{"--join", "-o", "a.y4m"}, "--join needs the parts"},
        {{"--join", "p.y4m"}, "--join needs -o NAME"},
        {{"--join", "-o", "a.y4m", "-r", "30", "p.y4m"}, "--join takes the frames and their "
                                                         "settings from the parts; --fps"}};
    // clang-format on
    for (const auto& [args, reason] : mistakes) {
        const ParseResult result = parse(args);
        EXPECT_EQ(result.action, CommandLineAction::usageError) << reason;
        EXPECT_EQ(result.error.rfind(reason, 0), 0u) << result.error;
        EXPECT_EQ(result.error.find('\n'), std::string::npos) << result.error;
    }
    EXPECT_EQ(printable("plain/path.csv"), "plain/path.csv");
    EXPECT_EQ(printable("a\nb\x1b[2J\x7f\xff"), "a\\x0ab\\x1b[2J\\x7f\xff");
}

TEST(FramePattern, OneIntegerConversion) {
    const std::tuple<const char*, long long, const char*> filled[] = {
        {"frames/%05d.png", 42, "frames/00042.png"},
        {"frames/%05d.png", 1234567, "frames/1234567.png"},
        {"100%%/f%d.png", 7, "100%/f7.png"},
        {"f%4i.png", 7, "f   7.png"},
        {"%u.png", 0, "0.png"}};
    for (const auto& [pattern, frame, path] : filled) {
        EXPECT_EQ(formatFramePath(*parseFramePattern(pattern), frame), path);
    }
    for (const char* refused :
         {"frames.png", "%d%d.png", "%ld.png", "%-5d.png", "%99999999999d.png", "trailing%"}) {
        EXPECT_FALSE(parseFramePattern(refused)) << refused;
    }
}

TEST(Y4m, StreamHeaderAndFrameRate) {
    EXPECT_EQ(y4mStreamHeader(1920, 1080, 60.0),
              "YUV4MPEG2 W1920 H1080 F60:1 Ip A1:1 C420jpeg XYSCSS=420JPEG XCOLORRANGE=LIMITED\n");
    const std::tuple<double, uint64_t, uint64_t> rates[] = {
        {29.97, 2997, 100}, {30000.0 / 1001.0, 30000, 1001}, {0.5, 1, 2}, {24.0, 24, 1}};
    for (const auto& [fps, numerator, denominator] : rates) {
        uint64_t top = 0, bottom = 0;
        frameRateFraction(fps, top, bottom);
        EXPECT_EQ(std::make_pair(top, bottom), std::make_pair(numerator, denominator)) << fps;
    }
    uint64_t numerator = 0, denominator = 0;
    frameRateFraction(M_PI, numerator, denominator);
    EXPECT_NEAR(static_cast<double>(numerator) / static_cast<double>(denominator), M_PI, 1e-6);
    EXPECT_EQ(i420FrameSize(1920, 1080), 1920u * 1080u * 3 / 2);
    EXPECT_EQ(i420FrameSize(3, 3), 9u + 2 * 4u);
}

TEST(Y4m, ConvertsColoursFlipsRowsAndAveragesBlocks) {
    // Each case: width, height, RGBA pixels bottom row first, then the Y, Cb and Cr planes. White,
    // black and the ends of the chroma range are exact in BT.601's limited range; other values are
    // the 8-bit fixed-point results, within a step of the book's. An odd size averages what is
    // there.
    using Bytes = std::vector<uint8_t>;
    // clang-format off
    const std::tuple<int, int, Bytes, Bytes> cases[] = {
        {2, 2, {0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255, 255, 255, 255, 255, 0}, {235, 235, 16, 16, 128, 128}},
        {4, 1, {255, 0, 0, 255, 255, 0, 0, 255, 0, 0, 255, 255, 0, 0, 255, 255}, {82, 82, 41, 41, 90, 240, 240, 110}},
        {3, 1, {255, 0, 0, 255, 255, 0, 0, 255, 0, 0, 255, 255}, {82, 82, 41, 90, 240, 240, 110}},
        {1, 1, {128, 128, 128, 255}, {126, 128, 128}}};
    // clang-format on
    for (const auto& [width, height, rgba, planes] : cases) {
        Bytes converted(i420FrameSize(width, height));
        rgbaRowsToI420(rgba.data(), width, height, 0, height, converted.data());
        EXPECT_EQ(converted, planes) << width << "x" << height;
    }
    // Green's luma is 144.5 by the book; the fixed-point conversion may round either way.
    Bytes green(3);
    rgbaRowsToI420(Bytes{0, 255, 0, 255}.data(), 1, 1, 0, 1, green.data());
    EXPECT_NEAR(green[0], 145, 1);
    EXPECT_EQ(std::make_pair(green[1], green[2]), std::make_pair(uint8_t{54}, uint8_t{34}));
}

TEST(Y4m, RowStripsConvertAsTheWholeFrameDoes) {
    // The renderer converts a frame a strip of rows at a time, each strip read on its own, bottom
    // row first; an odd height leaves a last strip of one row.
    const int width = 37, height = 9;
    std::vector<uint8_t> rgba(4 * width * height), whole(i420FrameSize(width, height));
    for (size_t i = 0; i < rgba.size(); ++i) {
        rgba[i] = static_cast<uint8_t>((i * 2246822519u) >> 11);
    }
    rgbaRowsToI420(rgba.data(), width, height, 0, height, whole.data());
    std::vector<uint8_t> pieced(whole.size());
    for (int first = 0; first < height; first += 4) {
        const int count = std::min(4, height - first);
        rgbaRowsToI420(&rgba[static_cast<size_t>(4 * width * (height - first - count))], width,
                       height, first, count, pieced.data());
    }
    EXPECT_EQ(pieced, whole);
}

TEST(Y4m, WideRowsConvertAsTheirNarrowStripsDo) {
    // Strips two pixels wide are converted a pixel at a time; rows as wide as these go through
    // vectors where the processor has them, each width of them as far as it has it, and must give
    // the same bytes in the same places.
    const int width = 29, height = 5, lumaSize = width * height, chromaWidth = 15;
    std::vector<uint8_t> rgba(4 * lumaSize), whole(i420FrameSize(width, height));
    std::vector<uint8_t> pieced(whole.size());
    for (size_t i = 0; i < rgba.size(); ++i) {
        rgba[i] = static_cast<uint8_t>((i * 2654435761u) >> 13);
    }
    for (int left = 0; left < width; left += 2) {
        const int columns = std::min(2, width - left);
        std::vector<uint8_t> strip(4 * columns * height), converted(i420FrameSize(columns, height));
        for (int y = 0; y < height; ++y) {
            std::copy_n(&rgba[4 * (y * width + left)], 4 * columns, &strip[4 * y * columns]);
        }
        rgbaRowsToI420(strip.data(), columns, height, 0, height, converted.data());
        for (int y = 0; y < height; ++y) {
            std::copy_n(&converted[y * columns], columns, &pieced[y * width + left]);
        }
        // Three rows of blue difference, then three of red: one sample each in a strip.
        for (int row = 0; row < 6; ++row) {
            pieced[lumaSize + row * chromaWidth + left / 2] = converted[columns * height + row];
        }
    }
    for (VectorWidth widest :
         {VectorWidth::none, VectorWidth::ssse3, VectorWidth::avx2, VectorWidth::avx512}) {
        rgbaRowsToI420(rgba.data(), width, height, 0, height, whole.data(), widest);
        EXPECT_EQ(pieced, whole) << static_cast<int>(widest);
    }
}

TEST(Encoder, VideoIsWrittenInOrderByOneThread) {
    // Frames of a stream share one conversion buffer and one descriptor.
    EXPECT_EQ(encoderThreadsFor(OutputKind::y4mFile), 1);
    EXPECT_EQ(encoderThreadsFor(OutputKind::y4mStdout), 1);
    EXPECT_EQ(encoderThreadsFor(OutputKind::video), 1);
    EXPECT_GE(encoderThreadsFor(OutputKind::pngSequence), 1);
}

TEST(Progress, LineShowsRateAndTimeLeft) {
    EXPECT_EQ(progressLine(120, 600, 2.0), "frame 120/600  60.0 fps  0:08 left");
    EXPECT_EQ(progressLine(0, 600, 0.0), "frame 0/600  0.0 fps  --:-- left");
    EXPECT_EQ(progressLine(1, 3662, 1.0), "frame 1/3662  1.0 fps  1:01:01 left");
    EXPECT_EQ(progressLine(1, 662, 1.0), "frame 1/662  1.0 fps  11:01 left");
    // An hour exactly, a second short of one, and more hours than a day has.
    EXPECT_EQ(progressLine(1, 3601, 1.0), "frame 1/3601  1.0 fps  1:00:00 left");
    EXPECT_EQ(progressLine(1, 3600, 1.0), "frame 1/3600  1.0 fps  59:59 left");
    EXPECT_EQ(progressLine(2, 180002, 2.0), "frame 2/180002  1.0 fps  50:00:00 left");
}

TEST(Progress, WroteLineSaysWhereAndWhat) {
    auto wrote = [](std::vector<std::string> args, int64_t first, int64_t count) {
        return wroteLine(parseRenderOptions(args).options, first, count);
    };
    EXPECT_EQ(wrote({"-o", "demo.mp4"}, 0, 6000),
              "Wrote demo.mp4: 6000 frames, 100.000 s, 1920x1080 at 60 fps");
    EXPECT_EQ(wrote({"-o", "f/%05d.png", "-r", "30000/1001", "-s", "64x36"}, 600, 600),
              "Wrote f/%05d.png: frames 600 to 1199, 20.020 s, 64x36 at 29.97 fps (30000/1001)");
    EXPECT_EQ(wrote({"-o", "f/%d.png", "-r", "12.5"}, 7, 1),
              "Wrote f/%d.png: frame 7, 0.080 s, 1920x1080 at 12.5 fps");
    EXPECT_EQ(wrote({"--at", "2", "-o", "a.png", "-r", "2997/100"}, 59, 1),
              "Wrote a.png: frame 59, 1.969 s, 1920x1080 at 29.97 fps");
    EXPECT_EQ(wrote({"-o", "-", "-r", "1/3"}, 0, 1),
              "Wrote the video to standard output: 1 frame, 3.000 s, 1920x1080 at 0.333 fps (1/3)");
}

// Both ends of a range are values a user may type.
TEST(RenderOptions, TempoIsAboveZeroAndUpToAThousand) {
    for (const auto& [text, accepted] : std::vector<std::pair<std::string, bool>>{
             {"1000", true}, {"0.5", true}, {"1000.01", false}, {"0", false}, {"", false}}) {
        double bpm = -1;
        EXPECT_EQ(readTempo(text, bpm).empty(), accepted) << text;
        EXPECT_EQ(bpm, accepted ? std::stod(text) : -1) << text;
    }
}

TEST(Parts, ChunksTileTheRangeAsEquallyAsDivisionAllows) {
    int index = 0, count = 0;
    EXPECT_EQ(readPart("3/8", index, count), "");
    EXPECT_EQ(std::make_pair(index, count), std::make_pair(3, 8));
    for (const FrameRange& whole : {FrameRange{0, 6008, ""}, FrameRange{600, 612, ""},
                                    FrameRange{5, 5, ""}, FrameRange{0, neverEnds - 2, ""}}) {
        for (int parts : {1, 2, 3, 7, 8}) {
            const int64_t total = whole.last - whole.first + 1;
            int64_t next = whole.first;
            for (int k = 1; k <= parts; ++k) {
                const FrameRange part = partRange(whole, k, parts);
                if (total < parts) {
                    EXPECT_EQ(part.error, "the range has 1 frame, too few for " +
                                              std::to_string(parts) + " parts");
                    break;
                }
                EXPECT_EQ(part.first, next) << k << "/" << parts;
                const int64_t size = part.last - part.first + 1;
                EXPECT_TRUE(size == total / parts || size == total / parts + 1) << size;
                next = part.last + 1;
            }
            EXPECT_EQ(next, total < parts ? whole.first : whole.last + 1);
        }
    }
}

TEST(Parts, RecordsReadBackAndTellRendersApart) {
    PartRecord record;
    record.index = 2;
    record.count = 3;
    Fingerprint list;
    list.add("shaders/a.vert\tshaders/a.frag\t1\t1\n");
    record.list = list.hex();
    record.size = "64x36";
    record.fps = "10:1";
    record.first = 0;
    record.last = 12;
    record.partFirst = 4;
    record.partLast = 7;
    record.format = "png";
    record.pattern = "%05d.png";
    record.bytes = 1234;
    const std::optional<PartRecord> back = parsePartRecord(partRecordText(record));
    ASSERT_TRUE(back);
    EXPECT_EQ(partRecordText(*back), partRecordText(record));
    EXPECT_EQ(renderDifference(record, *back), "");
    PartRecord first = record;
    first.index = 1;
    EXPECT_TRUE(parsePartRecord(partRecordText(first)));
    PartRecord uncounted = record;
    uncounted.index = 0;
    for (const std::string& broken :
         {std::string("prismwafer-render part 4/3\n"), partRecordText(uncounted),
          partRecordText(record).substr(0, 60), std::string("x")}) {
        EXPECT_FALSE(parsePartRecord(broken)) << broken;
    }
    PartRecord other = record;
    Fingerprint changed;
    changed.add("shaders/a.vert\tshaders/a.frag\t1\t2\n");
    other.list = changed.hex();
    EXPECT_EQ(renderDifference(record, other), "its scene list or shaders");
    other = record;
    other.last = 13;
    EXPECT_EQ(renderDifference(record, other), "its range (frames 0 to 13, not 0 to 12)");
    other = record;
    other.count = 4;
    EXPECT_EQ(renderDifference(record, other), "its number of parts (4, not 3)");
}
