// The live preview's GL-free logic: command line, clock, keys, settling of saves and the title.
#define GLFW_INCLUDE_NONE
#include <GLFW/glfw3.h>
#include <gtest/gtest.h>

#include <cmath>
#include <iterator>

#include "../scene/temp_dir.h"
#include "frames/music_grid.h"
#include "frames/soundtrack.h"
#include "live/audio.h"
#include "live/commands.h"
#include "live/options.h"
#include "live/playhead.h"
#include "live/watch.h"

TEST(LiveOptions, ReadsEveryOptionAndRefusesBadValues) {
    const LiveOptions o = parseLiveOptions({"-r", "24", "--size=320x180", "--at", "1.5", "--scene",
                                            "2", "--paused", "--fullscreen", "--no-hud", "l.csv"})
                              .options;
    EXPECT_EQ(std::make_tuple(o.fps, o.width, o.height, *o.at, o.scene, o.sceneList),
              std::make_tuple(24.0, 320, 180, 1.5, 2, std::string("l.csv")));
    EXPECT_TRUE(o.paused && o.fullscreen && !o.hud);
    const LiveOptions d = parseLiveOptions({}).options;
    EXPECT_EQ(std::make_tuple(d.fps, d.width, d.height, d.sceneList, d.paused, d.hud),
              std::make_tuple(60.0, 1280, 720, std::string("shaders/prog.csv"), false, true));
    EXPECT_EQ(parseLiveOptions({"--scene", "0"}).error,
              "--scene needs a whole number from 1 up, not '0'");
    EXPECT_EQ(parseLiveOptions({""}).error, "the scene list path is empty");
    EXPECT_EQ(parseLiveOptions({"-h", "--bogus"}).action, CommandLineAction::help);
}

// Scenes of 2 s and 3 s at 24 frames per second: the first ends in frame 49; the second, whose
// time is a difference of two divisions, in 121.
static const Timeline timeline = makeTimeline({2.0f, 3.0f}, 24.0);

TEST(LivePlayhead, StartsWhereAskedAndFeedsTheRenderersTime) {
    ASSERT_EQ(timeline.endFrames, (std::vector<int64_t>{49, 121}));
    Playhead p;
    const std::tuple<std::optional<double>, int, int64_t, std::string> starts[] = {
        {1.25, 0, 30, ""},
        {std::nullopt, 2, 50, ""},
        {1.0, 2, 73, ""},
        {9.0, 2, 121, "scene 2 ends before its second 9; starting at its last frame"},
        {std::nullopt, 3, 50, "there is no scene 3 to reach; starting at scene 2"}};
    for (const auto& [at, scene, frame, note] : starts) {
        EXPECT_EQ(startPlayhead(p, timeline, at, scene), note);
        EXPECT_EQ(p.frame, frame);
    }
    startPlayhead(p, timeline, 1.0, 2);
    EXPECT_EQ(shownSlot(p, timeline).elapsed, 1.0) << "the time the renderer feeds frame 73";
}

TEST(LiveControls, CommandsMoveBetweenFramesAndScenesOrAskTheLoop) {
    LiveControls c;
    Playhead& p = c.playhead;
    p.paused = true;
    seekFrame(p, timeline, 30);
    const std::pair<Command, int64_t> steps[] = {
        {Command::frameForward, 31}, {Command::secondForward, 55}, {Command::frameBack, 54},
        {Command::secondBack, 30},   {Command::nextScene, 50},     {Command::nextScene, 50},
        {Command::previousScene, 0}, {Command::frameBack, 0},      {Command::secondForward, 24},
        {Command::toStart, 0}};
    for (const auto& [command, frame] : steps) {
        applyCommand(c, timeline, command);
        EXPECT_EQ(std::make_pair(p.frame, p.seconds), std::make_pair(frame, frame / 24.0));
    }
    // With a tempo, the beat and bar keys step on its grid; without one, they do nothing.
    c.grid = MusicGrid{120.0, 4, 4};
    const std::pair<Command, int64_t> onGrid[] = {{Command::beatForward, 12},
                                                  {Command::barForward, 60},
                                                  {Command::beatBack, 48},
                                                  {Command::barBack, 0}};
    for (const auto& [command, frame] : onGrid) {
        applyCommand(c, timeline, command);
        EXPECT_EQ(p.frame, frame);
    }
    c.grid.bpm = 0.0;
    applyCommand(c, timeline, Command::beatForward);
    EXPECT_EQ(p.frame, 0);
    seekSeconds(p, timeline, 99.0);
    EXPECT_EQ(p.frame, 121);
    for (Command command : {Command::faster, Command::faster, Command::faster}) {
        applyCommand(c, timeline, command);
    }
    EXPECT_EQ(p.speed, 4.0);
    for (Command command : {Command::slower, Command::slower, Command::slower, Command::slower}) {
        applyCommand(c, timeline, command);
    }
    EXPECT_EQ(p.speed, 0.25);
    for (Command command : {Command::writeFrame, Command::reloadAll, Command::toggleFullscreen,
                            Command::toggleHud, Command::toggleLoop, Command::quit}) {
        applyCommand(c, timeline, command);
    }
    EXPECT_EQ(std::make_tuple(c.writeFrame, c.reloadAll, c.toggleFullscreen, c.hudShown, p.looping,
                              c.quit, p.frame),
              std::make_tuple(true, true, true, false, true, true, int64_t{121}))
        << "requests for the loop, the clock left where it was";
    applyCommand(c, timeline, Command::togglePause);
    EXPECT_EQ(std::make_pair(p.frame, p.paused), std::make_pair(int64_t{0}, false))
        << "playing from the end starts again";
}

TEST(LivePlayhead, PlaysWithRealTimeLoopsAndStopsAtTheEnd) {
    Playhead p;
    p.speed = 2.0;
    EXPECT_FALSE(advancePlayhead(p, timeline, 100.0)) << "the first reading only starts the clock";
    EXPECT_TRUE(advancePlayhead(p, timeline, 100.5));
    EXPECT_EQ(p.frame, 24);
    p.looping = true;
    advancePlayhead(p, timeline, 101.25); // 2.5 s: past the first scene's 50 frames
    EXPECT_EQ(p.frame, 10);
    seekFrame(p, timeline, 60); // 2.5 s, in the second scene, whose 72 frames start at 50
    advancePlayhead(p, timeline, 103.25);
    EXPECT_EQ(p.frame, 84) << "6.5 s, less one turn of the second scene";
    p.looping = false;
    advancePlayhead(p, timeline, 110.0);
    EXPECT_EQ(std::make_pair(p.frame, p.paused), std::make_pair(int64_t{121}, true));
    fitPlayhead(p, makeTimeline({1.0f}, 24.0));
    EXPECT_EQ(p.frame, 25) << "a shorter sequence keeps its end";
    fitPlayhead(p, makeTimeline({}, 24.0));
    EXPECT_EQ(p.seconds, 25 / 24.0) << "an empty one leaves the place for the list's return";
}

TEST(LivePlayhead, TheStripSpansTheSequenceOrRunsAheadOfOneWithoutEnd) {
    Playhead p;
    EXPECT_EQ(stripFrames(timeline, p), 122);
    const Timeline endless = makeTimeline({2.0f, INFINITY}, 24.0);
    EXPECT_EQ(stripFrames(endless, p), 50 + 241) << "the last scene's start and ten seconds";
    p.frame = 400;
    EXPECT_EQ(stripFrames(endless, p), 400 + 100 + 241) << "a quarter and ten seconds further";
}

// The title itself is read from the window end to end.
TEST(LiveControls, KeysChooseCommands) {
    EXPECT_EQ(commandForKey(GLFW_KEY_LEFT, GLFW_PRESS, 0), Command::secondBack);
    EXPECT_EQ(commandForKey(GLFW_KEY_LEFT, GLFW_REPEAT, GLFW_MOD_SHIFT), Command::frameBack);
    EXPECT_EQ(commandForKey(GLFW_KEY_PERIOD, GLFW_PRESS, GLFW_MOD_CONTROL), Command::frameForward);
    EXPECT_EQ(commandForKey(GLFW_KEY_SPACE, GLFW_REPEAT, 0), Command::none);
    EXPECT_EQ(commandForKey(GLFW_KEY_Q, GLFW_PRESS, 0), Command::none);
    // Held, the keys that step through time act again; those that jump or toggle act once.
    EXPECT_EQ(commandForKey(GLFW_KEY_DOWN, GLFW_REPEAT, GLFW_MOD_SHIFT), Command::barBack);
    EXPECT_EQ(commandForKey(GLFW_KEY_UP, GLFW_REPEAT, 0), Command::beatForward);
    for (int key : {GLFW_KEY_LEFT, GLFW_KEY_RIGHT, GLFW_KEY_DOWN, GLFW_KEY_UP, GLFW_KEY_COMMA}) {
        for (int mods : {0, GLFW_MOD_SHIFT}) {
            EXPECT_NE(commandForKey(key, GLFW_REPEAT, mods), Command::none) << key << " " << mods;
        }
    }
    for (int key : {GLFW_KEY_PAGE_UP, GLFW_KEY_PAGE_DOWN, GLFW_KEY_HOME, GLFW_KEY_L, GLFW_KEY_H,
                    GLFW_KEY_F11, GLFW_KEY_F12, GLFW_KEY_R, GLFW_KEY_ESCAPE}) {
        EXPECT_EQ(commandForKey(key, GLFW_REPEAT, 0), Command::none) << key;
    }
}

// The strip's waveform: each column the loudest sample of its own span, none of its neighbours'.
TEST(LiveSound, EachColumnHoldsTheLoudestSampleOfItsSpan) {
    Soundtrack sound;
    sound.rate = 100;
    sound.channels = 2;
    sound.samples.assign(2 * 400, 0);    // four seconds
    sound.samples[2 * 150 + 1] = -16384; // at 1.5 s, on the right
    sound.samples[2 * 399] = 32767;      // the last frame
    const float loudest = 32767 / 32768.0f;
    std::vector<float> peaks;
    soundtrackPeaks(sound, 0.0, 4.0, 4, peaks);
    EXPECT_EQ(peaks, (std::vector<float>{0.0f, 0.5f, 0.0f, loudest}));
    soundtrackPeaks(sound, 1.0, 2.0, 2, peaks);
    EXPECT_EQ(peaks, (std::vector<float>{0.0f, 0.5f}));
    soundtrackPeaks(sound, 3.0, 6.0, 3, peaks);
    EXPECT_EQ(peaks, (std::vector<float>{loudest, 0.0f, 0.0f})) << "past the end is silence";
}

// The device's clock without a device: a buffer taken long ago has been heard whole if playing,
// and not at all once paused, however long the pause.
TEST(LiveSound, TheDevicesClockStandsWhilePausedAndSeeksAreHeardWhereAsked) {
    Soundtrack track;
    track.rate = 48000;
    AudioOutput output;
    output.soundtrack = &track;
    output.bufferFrames = 1024;
    output.framesTaken = 48000;
    output.takenAt = 0.0;
    EXPECT_DOUBLE_EQ(audioClockSeconds(&output), (48000 - 1024) / 48000.0);
    playAudioFrom(output, 2.0);
    EXPECT_EQ(output.nextFrame.load(), 2 * 48000 + 1024) << "written now, heard a buffer later";
    EXPECT_DOUBLE_EQ(heardSeconds(output), 2.0);
    output.playing = true;
    EXPECT_DOUBLE_EQ(audioClockSeconds(&output), 1.0);
    output.playing = false;
    EXPECT_DOUBLE_EQ(audioClockSeconds(&output), 1.0) << "never backwards";
}

TEST(LiveWatch, BurstsSettleAfterTheirLastEvent) {
    std::vector<PendingChange> pending;
    noteChange(pending, 3, false, 10.0);
    noteChange(pending, 3, true, 10.004);
    ASSERT_EQ(pending.size(), 1u);
    EXPECT_DOUBLE_EQ(settleTime(pending[0]), 10.014) << "shortly after a finished save";
    noteChange(pending, 3, false, 10.01);
    EXPECT_DOUBLE_EQ(settleTime(pending[0]), 10.16) << "longer while a write is under way";
    noteChange(pending, 3, false, 10.95);
    EXPECT_DOUBLE_EQ(settleTime(pending[0]), 11.0) << "never later than a second after the first";
}

// A folder moved away takes its files with it: they count as changed, and may still be changing.
TEST(LiveWatch, AFolderMovedAwayIsLetGo) {
    TempDir dir;
    std::filesystem::create_directory(dir.path / "shaders");
    const std::string file = dir.write("shaders/a.frag", "void main() {}\n");
    FileWatch watch;
    std::string error;
    ASSERT_TRUE(openFileWatch(watch, error)) << error;
    watchFiles(watch, {file});
    std::filesystem::rename(dir.path / "shaders", dir.path / "moved");
    collectChanges(watch);
    ASSERT_EQ(watch.pending.size(), 1u);
    EXPECT_DOUBLE_EQ(settleTime(watch.pending[0]), watch.pending[0].lastSeen + 0.15);
    // The kernel would go on reporting on the moved folder otherwise, a watch lost per move.
    std::ifstream info("/proc/self/fdinfo/" + std::to_string(watch.fd));
    const std::string watches((std::istreambuf_iterator<char>(info)), {});
    EXPECT_EQ(watches.find("inotify wd:"), std::string::npos) << watches;
    closeFileWatch(watch);
}

// The music's grid: the place as bar.beat.row, steps that land on beats, and cuts off the beat
// with the duration that puts them back on it.
TEST(MusicGrid, PlacesStepsAndCutsOffTheBeat) {
    const MusicGrid grid{120.0, 4, 3};
    EXPECT_EQ(gridPosition(grid, 0.0), "1.1.1");
    EXPECT_EQ(gridPosition(grid, 2.0 + 0.5 + 2 * 0.5 / 3), "2.2.3");
    EXPECT_EQ(stepBeats(grid, 1.2, 1), 1.5);
    EXPECT_EQ(stepBeats(grid, 1.2, -1), 1.0) << "back from between beats: the beat before";
    EXPECT_EQ(stepBeats(grid, 1.0, -4), 0.0) << "never before the start";
    // Scenes of 12 s at 60 fps end a frame late each; 11.9917 s ends on the bar.
    const std::vector<OffBeatScene> late =
        offBeatScenes(grid, sceneEndFrames({12.0f, 12.0f, 1.0f}, 60.0), 60.0, 0.003);
    ASSERT_EQ(late.size(), 2u);
    EXPECT_EQ(std::make_tuple(late[0].scene, late[0].beat, std::round(late[0].offset * 1000)),
              std::make_tuple(size_t{1}, int64_t{24}, 17.0));
    EXPECT_EQ(sceneEndFrames({static_cast<float>(late[0].suggestedDuration)}, 60.0)[0], 720);
    EXPECT_TRUE(
        offBeatScenes(grid, sceneEndFrames({11.9917f, 11.9917f, 1.0f}, 60.0), 60.0, 0.003).empty());
    // A first scene too short to reach the nearest beat is pointed at the beat after it began.
    const auto early = offBeatScenes(grid, sceneEndFrames({0.1f, 1.0f}, 60.0), 60.0, 0.003);
    ASSERT_EQ(early.size(), 1u);
    const float suggested = static_cast<float>(early[0].suggestedDuration);
    EXPECT_EQ(std::make_pair(early[0].beat, sceneEndFrames({suggested}, 60.0)[0]),
              std::make_pair(int64_t{1}, int64_t{30}));
    // 128 bpm at 60 fps puts no beat on a frame: the nearest frame is as good as it gets.
    EXPECT_TRUE(
        offBeatScenes({128.0, 4, 4}, sceneEndFrames({0.46f, 1.0f}, 60.0), 60.0, 0.003).empty());
}
