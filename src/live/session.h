// One live session: what the loop works on, and the loop's jobs, each in a function of its own.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/display.h"
#include "frames/soundtrack.h"
#include "live/audio.h"
#include "live/commands.h"
#include "live/hud.h"
#include "live/input.h"
#include "live/options.h"
#include "live/picture.h"
#include "live/playhead.h"
#include "live/reports.h"
#include "live/sequence.h"
#include "live/watch.h"

struct LiveSession {
    LiveOptions options;
    GLFWwindow* window = nullptr;
    WindowPlacement windowed;
    Input input;
    FileWatch watch;
    LiveSequence sequence;
    // Drawn where the renderer draws, then copied into the window.
    LivePicture picture;
    // What the display lists changes only with a build, not from frame to frame.
    std::vector<PanelLine> problems;
    // What F12 did, on screen for a moment, whether or not the display is shown.
    std::string notice;
    double noticeUntil = 0.0;
    Timeline timeline;
    LiveControls controls;
    // Real time comes from the window system unless the soundtrack leads: the place moves with
    // whatever this reads.
    ClockSource clock;
    Soundtrack soundtrack;
    AudioOutput audio;
    bool audioLeads = false;
    bool audioMoved = false; // a command moved the place: the sound follows at once
    StripSound stripSound;
    std::vector<Report> reports;
    // Kept from frame to frame so that a frame allocates nothing of its own.
    std::vector<SceneBuild> builds;
    std::vector<SettledChange> settled;
    std::vector<uint8_t> pixels;
    int hudEchoes = 0;
    double lastSwap = 0.0;
    double drawStart = 0.0;
    double frameMilliseconds = 0.0;
    char title[512] = "";
    char shownTitle[512] = "";
    bool titlePaused = false;
    double titleSetAt = 0.0;
};

// The window system's clock, the usual one.
ClockSource windowSystemClock();

// Starts following saves; says so when they cannot be followed.
void openSessionWatch(LiveSession& session);
// Opens the sound device for the soundtrack and makes its playback the clock; without a device,
// says so and keeps real time.
void startSoundtrack(LiveSession& session);
// The first read of the list, its reports, what to watch and where the playhead starts.
void startSequence(LiveSession& session);

// The loop's jobs, in the order each turn does them:
// waits for events while nothing needs a frame, or only polls them;
void takeEvents(LiveSession& session);
// carries out the commands the keys gave;
void applyCommands(LiveSession& session);
// rebuilds what the saves that have settled changed (the list, a shader, or everything after R);
void followSaves(LiveSession& session);
// moves the place with the clock and tells whether a new frame is due;
bool frameDue(LiveSession& session);
// keeps the sound where the picture is: playing or not, muted at other speeds, moved with seeks;
void followWithSound(LiveSession& session);
// draws the scene shown into the picture, writes it for F12, shows it in the window and lays
// out and draws the display over it;
void drawFrame(LiveSession& session);
// after the swap: the frame time, the reports, the title.
void finishFrame(LiveSession& session);
// For an audience, the sequence has been played to its end.
bool showIsOver(const LiveSession& session);
