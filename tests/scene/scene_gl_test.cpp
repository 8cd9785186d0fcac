// Program building, scene construction and the list loader against a real OpenGL context. The
// exact GL calls, their order and arguments, each frame's draw and the release are checked end to
// end from a recording of the player; here is what construction leaves behind.
#include <cstring>
#include <filesystem>

#include "gl_context.h"
#include "live/sequence.h"
#include "scene/construct.h"
#include "scene/program.h"
#include "scene/scene_list.h"
#include "scene/scene_text.h"
#include "temp_dir.h"

using testing::internal::CaptureStderr;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStderr;
using testing::internal::GetCapturedStdout;

static const char* const plainVertex = R"(#version 450 core
layout(location = 0) in vec4 position;
uniform mat4 mvp;
void main() { gl_Position = mvp * position; }
)";
static const char* const timeFragment = R"(#version 450 core
uniform float time;
out vec4 color;
void main() { color = vec4(1.0, time, 0.0, 1.0); }
)";
static const char* const brokenSource = "#version 450 core\nvoid main() { this is not glsl }\n";
// Each compiles on its own, but the fragment stage reads what the vertex stage never writes.
static const char* const vertexWithoutOutputs =
    "#version 450 core\nvoid main() { gl_Position = vec4(0.0); }\n";
static const char* const unmatchedFragment = R"(#version 450 core
in vec3 neverWritten;
out vec4 color;
void main() { color = vec4(neverWritten, 1.0); }
)";

static const std::string vertexHeader = "Unable to compile vertexShader. OpenGL returned:\n";
static const std::string fragmentHeader = "Unable to compile fragmentShader. OpenGL returned:\n";
static const std::string linkHeader = "ERROR: Unable to link program. OpenGL returned:\n";

static GLint programStatus(GLuint program, GLenum query) {
    GLint value = 0;
    glGetProgramiv(program, query, &value);
    return value;
}

using ProgramBuilder = GlContextTest;

TEST_F(ProgramBuilder, ReportsEachFailingStepInOrderAndAlwaysGivesAProgram) {
    struct Case {
        const char *vertex, *fragment;
        std::vector<std::string> headers; // in the order they must appear
    };
    const Case cases[] = {
        {plainVertex, timeFragment, {}},
        {brokenSource, brokenSource, {vertexHeader, fragmentHeader, linkHeader}},
        {vertexWithoutOutputs, unmatchedFragment, {linkHeader}},
        {"", "", {vertexHeader, fragmentHeader, linkHeader}},
    };
    for (const Case& c : cases) {
        CaptureStderr();
        ProgramReport printed;
        const GLuint program = buildProgram(c.vertex, c.fragment, true, printed);
        const std::string messages = GetCapturedStderr();
        size_t at = 0;
        for (const std::string& header : c.headers) {
            const size_t found = messages.find(header, at);
            ASSERT_NE(found, std::string::npos) << header << " after " << at << " in " << messages;
            // Each block is the header, the driver's log and an empty line; nothing in between.
            EXPECT_TRUE(at == 0 ? found == 0 : messages.compare(found - 2, 2, "\n\n") == 0);
            at = found + header.size();
        }
        EXPECT_EQ(messages.empty(), c.headers.empty()) << messages;
        EXPECT_TRUE(messages.empty() || messages.compare(messages.size() - 2, 2, "\n\n") == 0);
        EXPECT_EQ(messages.find('\0'), std::string::npos);
        EXPECT_EQ(programStatus(program, GL_LINK_STATUS), c.headers.empty() ? GL_TRUE : GL_FALSE);
        EXPECT_EQ(programStatus(program, GL_ATTACHED_SHADERS), 2);

        // The same build without a word on the console: the same verdicts, the logs kept.
        CaptureStderr();
        ProgramReport report;
        const GLuint silent = buildProgram(c.vertex, c.fragment, false, report);
        EXPECT_EQ(GetCapturedStderr(), "");
        EXPECT_EQ(!report.vertex.succeeded, messages.find(vertexHeader) != std::string::npos);
        EXPECT_EQ(!report.fragment.succeeded, messages.find(fragmentHeader) != std::string::npos);
        EXPECT_EQ(report.link.succeeded, c.headers.empty());
        EXPECT_EQ(report.link.log.empty(), c.headers.empty());
        if (!report.vertex.succeeded) {
            EXPECT_NE(messages.find(vertexHeader + report.vertex.log + "\n\n"), std::string::npos);
        }
        EXPECT_EQ(std::make_tuple(printed.vertex.succeeded, printed.fragment.succeeded,
                                  printed.link.succeeded, printed.link.log),
                  std::make_tuple(report.vertex.succeeded, report.fragment.succeeded,
                                  report.link.succeeded, report.link.log));
        EXPECT_EQ(programStatus(silent, GL_LINK_STATUS), programStatus(program, GL_LINK_STATUS));
        for (GLuint name : {program, silent}) {
            glDeleteProgram(name);
            EXPECT_FALSE(glIsProgram(name));
        }
    }
}

struct ShaderFiles {
    TempDir dir;
    std::string vertex, fragment;
    ShaderFiles(const char* vertexSource, const char* fragmentSource)
        : vertex(dir.write("s.vert", vertexSource)), fragment(dir.write("s.frag", fragmentSource)) {
    }
};

static Scene* construct(const std::string& vertex, const std::string& fragment,
                        std::string& messages, int32_t instances = 1, float duration = 1.0f) {
    Scene* scene = new Scene;
    scene->instanceCount = instances;
    scene->duration = duration;
    SceneDescription description;
    description.vertex.path = vertex;
    description.fragment.path = fragment;
    readShaderFiles(description);
    CaptureStderr();
    constructScene(*scene, description, true);
    messages = GetCapturedStderr();
    return scene;
}

using SceneConstruction = GlContextTest;

// The buffer's size and flags, the layout and the matrix are in the recorded calls; what the
// buffer holds is not.
TEST_F(SceneConstruction, BufferHoldsTheQuad) {
    ShaderFiles files(plainVertex, timeFragment);
    std::string messages;
    Scene* scene = construct(files.vertex, files.fragment, messages);
    EXPECT_EQ(messages, "");
    float stored[36];
    glGetNamedBufferSubData(scene->vertexBuffer, 0, sizeof stored, stored);
    const float quad[36] = {-1, -1, 0, 1, 0, 0, 1, 0, 0, 1, -1, 0, 1, 0, 0, 1, 1, 0,
                            -1, 1,  0, 1, 0, 0, 1, 0, 1, 1, 1,  0, 1, 0, 0, 1, 1, 1};
    EXPECT_EQ(std::memcmp(stored, quad, sizeof quad), 0);
    releaseScene(scene);
}

using SceneListLoader = GlContextTest;

struct LoadResult {
    SceneList scenes;
    std::string out, err;
    ~LoadResult() {
        for (Scene* scene : scenes) {
            releaseScene(scene);
        }
    }
};

static void load(const std::string& path, LoadResult& result) {
    CaptureStdout();
    CaptureStderr();
    result.scenes = loadSceneList(path);
    result.err = GetCapturedStderr();
    result.out = GetCapturedStdout();
}

TEST_F(SceneListLoader, LinesBecomeScenesInOrder) {
    ShaderFiles files(plainVertex, timeFragment);
    const std::string v = files.vertex, f = files.fragment, list = files.dir.path / "prog.csv";
    const std::string scene = v + "\t" + f + "\t";
    const std::string loaded = "Loaded scene (" + v + ", " + f + ", ";
    struct Case {
        std::string content, out;
        std::string err;
        bool errIsWhole; // else it is how standard error starts, driver logs following
        std::vector<float> durations;
    };
    // clang-format off
    const Case cases[] = {
        // Extra fields ignored; the final line end is optional; carriage returns stay.
        {scene + "64\t12.5\n" + scene + " 20\tx\textra\tfields", loaded + "64, 12.5)\n" + loaded + "20, 0)\n", "", true,
         {12.5f, 0.0f}},
        {scene + "64\t12.5\n" + scene + "3\t1.5\r\n", loaded + "64, 12.5)\n" + loaded + "3, 1.5)\n", "", true, {12.5f, 1.5f}},
        // Short lines make nothing; only the non-blank ones are reported.
        {"\n   \n" + scene + "1\t2\na.vert b.frag 1 2\n\t\t\r\na\tb\tc\n\n\n", loaded + "1, 2)\n",
         shortLineWarning(list, 4, 1, "a.vert b.frag 1 2") + "\n" + shortLineWarning(list, 6, 3, "a\tb\tc") + "\n", true, {2.0f}},
        // Scenes with missing shaders keep their place.
        {"nowhere.vert\tnowhere.frag\t5\t1\n" + scene + "6\t1\n", "Loaded scene (nowhere.vert, nowhere.frag, 5, 1)\n" + loaded + "6, 1)\n",
         "Unable to open file nowhere.vert\nUnable to open file nowhere.frag\n", false, {1.0f, 1.0f}},
    };
    // clang-format on
    for (const Case& c : cases) {
        files.dir.write("prog.csv", c.content);
        LoadResult result;
        load(list, result);
        EXPECT_EQ(result.out, c.out);
        EXPECT_EQ(c.errIsWhole ? result.err : result.err.substr(0, c.err.size()), c.err);
        ASSERT_EQ(result.scenes.size(), c.durations.size());
        for (size_t i = 0; i < c.durations.size(); ++i) {
            EXPECT_EQ(result.scenes[i]->duration, c.durations[i]);
        }
    }
}

// The live preview's display lists the list's problems, then each scene's under its number, the
// warnings apart: a uniform nothing sets, placed where it is declared, and one with a value not.
TEST_F(SceneListLoader, LiveProblemsAreListedUnderTheirScenesNumber) {
    ShaderFiles files(plainVertex, brokenSource);
    const std::string missing = (files.dir.path / "none.frag").string();
    const std::string foreign = files.dir.write("foreign.frag", R"(#version 450 core
uniform float iTime;
uniform vec2 iResolution, offset = vec2(1.0);
out vec4 color;
void main() { color = vec4(iTime, iResolution + offset, 1.0); }
)");
    LiveSequence sequence;
    sequence.listPath = files.dir.write(
        "prog.csv", files.vertex + "\t" + missing + "\t1\t1\nshort\n" + files.vertex + "\t" +
                        files.fragment + "\t1\t1\n" + files.vertex + "\t" + foreign + "\t1\t1\n");
    std::vector<SceneBuild> builds;
    readSequence(sequence, false, builds);
    const std::vector<PanelLine> lines = problemLines(sequence);
    ASSERT_GE(lines.size(), 5u);
    EXPECT_EQ(lines[0].text.rfind(sequence.listPath + ":2: skipped", 0), 0u) << lines[0].text;
    EXPECT_EQ(lines[1].text, "scene 1: " + sequence.listPath +
                                 ":1: cannot read the fragment shader " + missing +
                                 ": No such file or directory");
    for (size_t i = 2; i + 2 < lines.size(); ++i) {
        EXPECT_EQ(lines[i].text.rfind("scene 2: " + files.fragment + ":2:", 0), 0u) << lines[i].text;
    }
    const std::string unset = " is never set (only mvp and time are); it stays 0";
    EXPECT_EQ(lines[lines.size() - 2].text, "scene 3: " + foreign + ":2: uniform 'iTime'" + unset);
    EXPECT_EQ(lines.back().text, "scene 3: " + foreign + ":3: uniform 'iResolution'" + unset);
    for (const PanelLine& line : lines) {
        EXPECT_EQ(line.warning, line.text.rfind("scene 3", 0) == 0) << line.text;
    }
    const GLuint program = sequence.scenes[1]->scene->program;
    releaseSequence(sequence);
    EXPECT_FALSE(glIsProgram(program));
    EXPECT_TRUE(sequence.scenes.empty()) << "nothing left to point at released scenes";
}

// The demo that ships in shaders/: every scene builds without a word from the driver.
using DemoScenes = GlContextTest;

TEST_F(DemoScenes, EveryScenePlaysWithoutDiagnostics) {
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(PRISMWAFER_SOURCE_DIR);
    LoadResult result;
    load("shaders/prog.csv", result);
    const SceneListDescription list = describeSceneList("shaders/prog.csv");
    std::filesystem::current_path(previous);
    EXPECT_EQ(result.err, "");
    ASSERT_GE(result.scenes.size(), 6u);
    // Warnings too: they are in the logs even when everything links.
    for (const SceneDescription& scene : list.scenes) {
        ProgramReport report;
        glDeleteProgram(buildProgram(scene.vertex.text, scene.fragment.text, false, report));
        EXPECT_EQ(sceneProblems(list.path, scene, report), std::vector<std::string>{});
        EXPECT_EQ(report.vertex.log + report.fragment.log + report.link.log, "")
            << "scene " << scene.listLine;
    }
}
