// The live preview's GL-free logic: command line, clock, keys, settling of saves and the title.
#define GLFW_INCLUDE_NONE
#include <GLFW/glfw3.h>
#include <gtest/gtest.h>

#include "live/options.h"
#include "live/playhead.h"
#include "live/watch.h"

TEST(LiveOptions, ReadsEveryOptionAndRefusesBadValues) {
    const LiveCommandLine all =
        parseLiveOptions({"-r", "24", "--size=320x180", "--at", "1.5", "--scene", "2", "--paused",
                          "--fullscreen", "--no-hud", "l.csv"});
    ASSERT_EQ(all.action, LiveAction::run) << all.error;
    const LiveOptions& o = all.options;
    EXPECT_EQ(std::make_tuple(o.fps, o.width, o.height, *o.at, o.scene, o.sceneList),
              std::make_tuple(24.0, 320, 180, 1.5, 2, std::string("l.csv")));
    EXPECT_TRUE(o.paused && o.fullscreen && !o.hud);
    const LiveOptions defaults = parseLiveOptions({}).options;
    EXPECT_EQ(std::make_tuple(defaults.fps, defaults.width, defaults.height, defaults.sceneList),
              std::make_tuple(60.0, 1280, 720, std::string("shaders/prog.csv")));
    EXPECT_EQ(parseLiveOptions({"--fps", "0"}).error,
              "--fps needs a number of frames per second above 0, not '0'");
    EXPECT_EQ(parseLiveOptions({"--at", "-1"}).action, LiveAction::usageError);
    EXPECT_EQ(parseLiveOptions({""}).error, "the scene list path is empty");
    EXPECT_EQ(parseLiveOptions({"-h", "--bogus"}).action, LiveAction::help);
}

// Scenes of 2 s and 3 s at 24 frames per second: the first ends in frame 49; the second, whose
// time is a difference of two divisions, in 121.
static Timeline twoScenes() {
    return makeTimeline({2.0f, 3.0f}, 24.0);
}

TEST(LivePlayhead, StartsWhereAskedAndFeedsTheRenderersTime) {
    const Timeline timeline = twoScenes();
    ASSERT_EQ(timeline.endFrames, (std::vector<int64_t>{49, 121}));
    Playhead playhead;
    EXPECT_EQ(startPlayhead(playhead, timeline, 1.25, 0), "");
    EXPECT_EQ(playhead.frame, 30);
    EXPECT_EQ(startPlayhead(playhead, timeline, std::nullopt, 2), "");
    EXPECT_EQ(playhead.frame, 50);
    EXPECT_EQ(startPlayhead(playhead, timeline, 1.0, 2), "");
    EXPECT_EQ(shownSlot(playhead, timeline).scene, 1u);
    EXPECT_EQ(shownSlot(playhead, timeline).elapsed,
              frameSlot(timeline.endFrames, 24.0, 73).elapsed);
    EXPECT_EQ(playhead.frame, 73);
    EXPECT_EQ(startPlayhead(playhead, timeline, 9.0, 2),
              "scene 2 ends before its second 9; starting at its last frame");
    EXPECT_EQ(playhead.frame, 121);
    EXPECT_EQ(startPlayhead(playhead, timeline, std::nullopt, 3),
              "there is no scene 3 to reach; starting at scene 2");
}

TEST(LivePlayhead, CommandsMoveBetweenFramesAndScenes) {
    const Timeline timeline = twoScenes();
    Playhead playhead;
    playhead.paused = true;
    seekFrame(playhead, timeline, 30);
    const std::pair<Command, int64_t> steps[] = {
        {Command::frameForward, 31}, {Command::secondForward, 55}, {Command::frameBack, 54},
        {Command::secondBack, 30},   {Command::nextScene, 50},     {Command::nextScene, 50},
        {Command::previousScene, 0}, {Command::frameBack, 0},      {Command::toStart, 0}};
    for (const auto& [command, frame] : steps) {
        EXPECT_TRUE(applyCommand(playhead, timeline, command));
        EXPECT_EQ(playhead.frame, frame);
        EXPECT_EQ(playhead.seconds, frame / 24.0);
    }
    seekSeconds(playhead, timeline, 99.0);
    EXPECT_EQ(playhead.frame, 121);
    for (int i = 0; i < 5; ++i) {
        applyCommand(playhead, timeline, Command::faster);
    }
    EXPECT_EQ(playhead.speed, 4.0);
    for (int i = 0; i < 5; ++i) {
        applyCommand(playhead, timeline, Command::slower);
    }
    EXPECT_EQ(playhead.speed, 0.25);
    EXPECT_FALSE(applyCommand(playhead, timeline, Command::writeFrame));
    applyCommand(playhead, timeline, Command::togglePause);
    EXPECT_EQ(playhead.frame, 0) << "playing from the end starts again";
}

TEST(LivePlayhead, PlaysWithRealTimeLoopsAndStopsAtTheEnd) {
    const Timeline timeline = twoScenes();
    Playhead playhead;
    playhead.speed = 2.0;
    EXPECT_FALSE(advancePlayhead(playhead, timeline, 100.0))
        << "the first reading only starts the clock";
    EXPECT_TRUE(advancePlayhead(playhead, timeline, 100.5));
    EXPECT_EQ(playhead.frame, 24);
    playhead.looping = true;
    advancePlayhead(playhead, timeline, 101.25); // 2.5 s: past the first scene's 50 frames
    EXPECT_EQ(playhead.frame, 10);
    playhead.looping = false;
    advancePlayhead(playhead, timeline, 110.0);
    EXPECT_EQ(std::make_tuple(playhead.frame, playhead.paused),
              std::make_tuple(int64_t{121}, true));
    fitPlayhead(playhead, makeTimeline({1.0f}, 24.0));
    EXPECT_EQ(playhead.frame, 25) << "a shorter sequence keeps its end";
    fitPlayhead(playhead, makeTimeline({}, 24.0));
    EXPECT_EQ(playhead.seconds, 25 / 24.0) << "an empty one leaves the place for the list's return";
}

TEST(LiveKeys, ShiftAndRepeatsChooseTheCommand) {
    EXPECT_EQ(commandForKey(GLFW_KEY_LEFT, GLFW_PRESS, 0), Command::secondBack);
    EXPECT_EQ(commandForKey(GLFW_KEY_LEFT, GLFW_REPEAT, GLFW_MOD_SHIFT), Command::frameBack);
    EXPECT_EQ(commandForKey(GLFW_KEY_PERIOD, GLFW_PRESS, GLFW_MOD_CONTROL), Command::frameForward);
    EXPECT_EQ(commandForKey(GLFW_KEY_SPACE, GLFW_REPEAT, 0), Command::none);
    EXPECT_EQ(commandForKey(GLFW_KEY_F12, GLFW_RELEASE, 0), Command::none);
    EXPECT_EQ(commandForKey(GLFW_KEY_Q, GLFW_PRESS, 0), Command::none);
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

TEST(LiveTitle, NamesSceneFileTimeAndPause) {
    char title[64];
    formatTitle(title, sizeof title, 1, 8, "orbits.vert", 13.25, true);
    EXPECT_STREQ(title, "prismwafer-live: scene 2/8, orbits.vert, 13.250 s, paused");
    formatTitle(title, sizeof title, 0, 0, "", 0.5, false);
    EXPECT_STREQ(title, "prismwafer-live: no scenes, 0.500 s");
}
