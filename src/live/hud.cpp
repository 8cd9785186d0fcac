// The on-screen display (Dear ImGui): timeline strip, clock, frame time and failing files.
#include "live/hud.h"

#include <backends/imgui_impl_glfw.h>
#include <backends/imgui_impl_opengl3.h>
#include <imgui.h>

#include <algorithm>
#include <array>
#include <cstring>

static const float margin = 8.0f;
static const float stripHeight = 22.0f;
// A std::array, so that an index past the end stops the program in every build.
static const std::array<ImU32, 2> sceneColours = {IM_COL32(70, 90, 130, 255),
                                                  IM_COL32(50, 65, 100, 255)};
static const ImU32 playheadColour = IM_COL32(255, 210, 60, 255);
static const ImU32 waveColour = IM_COL32(150, 200, 255, 150);
static const ImU32 beatColour = IM_COL32(255, 255, 255, 40);
static const ImU32 barColour = IM_COL32(255, 255, 255, 110);
static const ImU32 sceneStartColour = IM_COL32(255, 120, 200, 255);
// Grid lines closer than this many pixels are left out.
static const float densestGrid = 3.0f;
static const ImVec4 errorColour = ImVec4(1.0f, 0.45f, 0.4f, 1.0f);
static const ImVec4 warningColour = ImVec4(1.0f, 0.8f, 0.3f, 1.0f);
static const ImVec4 noticeColour = ImVec4(0.55f, 0.95f, 0.55f, 1.0f);
static const ImGuiWindowFlags overlayFlags =
    ImGuiWindowFlags_NoDecoration | ImGuiWindowFlags_NoMove | ImGuiWindowFlags_NoSavedSettings |
    ImGuiWindowFlags_NoFocusOnAppearing | ImGuiWindowFlags_NoNav;

void createHud(GLFWwindow* window) {
    IMGUI_CHECKVERSION();
    ImGui::CreateContext();
    // No imgui.ini in the scene author's working folder.
    ImGui::GetIO().IniFilename = nullptr;
    ImGui::StyleColorsDark();
    ImGui_ImplGlfw_InitForOpenGL(window, true);
    ImGui_ImplOpenGL3_Init("#version 450 core");
}

void destroyHud() {
    ImGui_ImplOpenGL3_Shutdown();
    ImGui_ImplGlfw_Shutdown();
    ImGui::DestroyContext();
}

// The waveform, the grid of bars and beats, and each scene's real start against it.
static void layOutMusic(const HudFacts& facts, int64_t frames, ImVec2 origin, float width) {
    ImDrawList* draw = ImGui::GetWindowDrawList();
    const double seconds = static_cast<double>(frames) / facts.timeline->fps;
    StripSound& sound = *facts.sound;
    const size_t columns = static_cast<size_t>(width);
    if (sound.soundtrack && (sound.frames != frames || sound.peaks.size() != columns)) {
        soundtrackPeaks(*sound.soundtrack, 0.0, seconds, columns, sound.peaks);
        sound.frames = frames;
    }
    const float middle = origin.y + stripHeight / 2;
    for (size_t column = 0; sound.soundtrack && column < sound.peaks.size(); ++column) {
        const float reach = sound.peaks[column] * stripHeight / 2;
        const float x = origin.x + static_cast<float>(column) + 0.5f;
        draw->AddLine(ImVec2(x, middle - reach), ImVec2(x, middle + reach + 1.0f), waveColour);
    }
    const MusicGrid& grid = *facts.grid;
    if (grid.bpm > 0.0) {
        const double beat = beatSeconds(grid);
        const float beatWidth = static_cast<float>(width * beat / seconds);
        const int every = beatWidth >= densestGrid ? 1 : grid.beatsPerBar;
        for (int64_t index = 0;
             beatWidth * every >= densestGrid && static_cast<double>(index) * beat < seconds;
             index += every) {
            const float x = origin.x + beatWidth * static_cast<float>(index);
            const bool bar = index % grid.beatsPerBar == 0;
            draw->AddLine(ImVec2(x, origin.y), ImVec2(x, origin.y + stripHeight),
                          bar ? barColour : beatColour);
        }
        // Where each scene really starts, by the end rule, so that a drift from the grid shows.
        for (size_t scene = 0; scene + 1 < facts.timeline->endFrames.size(); ++scene) {
            const float x =
                origin.x +
                width * static_cast<float>(static_cast<double>(facts.timeline->endFrames[scene]) /
                                           static_cast<double>(frames));
            draw->AddLine(ImVec2(x, origin.y - 2.0f), ImVec2(x, origin.y + stripHeight / 3),
                          sceneStartColour, 2.0f);
        }
    }
}

static int64_t layOutStrip(const HudFacts& facts) {
    const Timeline& timeline = *facts.timeline;
    const Playhead& playhead = *facts.playhead;
    const int64_t frames = stripFrames(timeline, playhead);
    const ImVec2 origin = ImGui::GetCursorScreenPos();
    const float width = std::max(ImGui::GetContentRegionAvail().x, 1.0f);
    ImGui::InvisibleButton("timeline", ImVec2(width, stripHeight));
    auto xOf = [&](int64_t frame) {
        return origin.x + width * static_cast<float>(static_cast<double>(frame) / frames);
    };
    ImDrawList* draw = ImGui::GetWindowDrawList();
    // Scenes narrower than a pixel or two are drawn together, so a long list costs little.
    float drawnTo = origin.x - 2.0f;
    for (size_t scene = 0; scene < timeline.endFrames.size(); ++scene) {
        const float right = xOf(std::min(timeline.endFrames[scene] + 1, frames));
        if (right - drawnTo < 2.0f && scene + 1 < timeline.endFrames.size()) {
            continue;
        }
        draw->AddRectFilled(ImVec2(drawnTo + 1.0f, origin.y), ImVec2(right, origin.y + stripHeight),
                            sceneColours[scene % 2]);
        drawnTo = right;
    }
    layOutMusic(facts, frames, origin, width);
    const float x = xOf(playhead.frame);
    draw->AddRectFilled(ImVec2(x - 1.0f, origin.y - 2.0f),
                        ImVec2(x + 1.0f, origin.y + stripHeight + 2.0f), playheadColour);
    if (!ImGui::IsItemActive()) {
        return -1;
    }
    const float fraction = std::clamp((ImGui::GetIO().MousePos.x - origin.x) / width, 0.0f, 1.0f);
    return std::min(static_cast<int64_t>(static_cast<double>(fraction) * frames), frames - 1);
}

// Lines wrap at the window's edge rather than run off a small window.
static void layOutProblems(const std::vector<PanelLine>& lines) {
    if (lines.empty()) {
        return;
    }
    const ImVec2 size = ImGui::GetIO().DisplaySize;
    ImGui::SetNextWindowPos(ImVec2(margin, margin));
    ImGui::SetNextWindowSizeConstraints(ImVec2(0, 0), ImVec2(size.x - 2 * margin, size.y * 0.6f));
    ImGui::SetNextWindowBgAlpha(0.75f);
    ImGui::Begin("problems", nullptr, overlayFlags | ImGuiWindowFlags_AlwaysAutoResize);
    ImGui::PushTextWrapPos(size.x - 4 * margin);
    for (const PanelLine& line : lines) {
        ImGui::PushStyleColor(ImGuiCol_Text, line.warning ? warningColour : errorColour);
        ImGui::TextUnformatted(line.text.c_str());
        ImGui::PopStyleColor();
    }
    ImGui::PopTextWrapPos();
    ImGui::End();
}

static void layOutNotice(const char* notice, float bottom) {
    const ImVec2 size = ImGui::GetIO().DisplaySize;
    ImGui::SetNextWindowPos(ImVec2(size.x - margin, bottom), 0, ImVec2(1.0f, 1.0f));
    ImGui::SetNextWindowBgAlpha(0.75f);
    ImGui::Begin("notice", nullptr, overlayFlags | ImGuiWindowFlags_AlwaysAutoResize);
    ImGui::PushStyleColor(ImGuiCol_Text, noticeColour);
    ImGui::TextUnformatted(notice);
    ImGui::PopStyleColor();
    ImGui::End();
}

int64_t layOutHud(const HudFacts& facts) {
    const Timeline& timeline = *facts.timeline;
    const Playhead& playhead = *facts.playhead;
    const LiveSequence& sequence = *facts.sequence;
    ImGui_ImplOpenGL3_NewFrame();
    ImGui_ImplGlfw_NewFrame();
    ImGui::NewFrame();
    if (!facts.shown) {
        if (facts.notice) {
            layOutNotice(facts.notice, ImGui::GetIO().DisplaySize.y - margin);
        }
        ImGui::Render();
        return -1;
    }

    layOutProblems(*facts.problems);

    const ImVec2 size = ImGui::GetIO().DisplaySize;
    ImGui::SetNextWindowPos(ImVec2(margin, size.y - margin), 0, ImVec2(0.0f, 1.0f));
    ImGui::SetNextWindowSize(ImVec2(size.x - 2 * margin, 0.0f));
    ImGui::SetNextWindowBgAlpha(0.6f);
    ImGui::Begin("clock", nullptr, overlayFlags);
    int64_t seek = -1;
    if (timeline.endFrames.empty()) {
        ImGui::Text("No scenes in %s: the timeline is empty until the list is written",
                    sequence.listPath.c_str());
    } else {
        const FrameSlot slot = shownSlot(playhead, timeline);
        const LiveScene& live = *sequence.scenes[slot.scene];
        const char* name = live.vertexName.c_str();
        const char* dot = std::strrchr(name, '.');
        ImGui::Text("Scene %zu/%zu  %.*s  (%s, %s, %d instances)", slot.scene + 1,
                    sequence.scenes.size(), static_cast<int>(dot ? dot - name : std::strlen(name)),
                    name, live.description.vertex.path.c_str(),
                    live.description.fragment.path.c_str(), live.scene->instanceCount);
        ImGui::Text("Scene time %.3f s   Sequence %.3f s   Frame %lld at %g fps", slot.elapsed,
                    shownSecond(playhead, timeline), static_cast<long long>(playhead.frame),
                    timeline.fps);
        ImGui::Text("Frame time %.1f ms   %s   Speed %gx   Loop %s", facts.frameMilliseconds,
                    playhead.paused ? "Paused" : "Playing", playhead.speed,
                    playhead.looping ? "on" : "off");
        if (facts.grid->bpm > 0.0) {
            ImGui::SameLine();
            ImGui::Text("  Bar %s at %g bpm",
                        gridPosition(*facts.grid, shownSecond(playhead, timeline)).c_str(),
                        facts.grid->bpm);
        }
        seek = layOutStrip(facts);
    }
    const float clockTop = ImGui::GetWindowPos().y;
    ImGui::End();
    if (facts.notice) {
        layOutNotice(facts.notice, clockTop - margin);
    }
    ImGui::Render();
    return seek;
}

void drawHud() {
    ImGui_ImplOpenGL3_RenderDrawData(ImGui::GetDrawData());
}
