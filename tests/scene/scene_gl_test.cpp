// Program building, scene construction, drawing and release against a real OpenGL context.
#include <algorithm>
#include <cstring>
#include <filesystem>

#include "gl_context.h"
#include "scene/scene.h"
#include "scene/transform.h"
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
static const char* const redFragment = R"(#version 450 core
out vec4 color;
void main() { color = vec4(1.0, 0.0, 0.0, 1.0); }
)";
static const char* const brokenSource = "#version 450 core\nvoid main() { this is not glsl }\n";
// Compiles on its own but leaves the vertex stage's output unread by a fragment stage that needs
// it.
static const char* const unmatchedFragment = R"(#version 450 core
in vec3 neverWritten;
out vec4 color;
void main() { color = vec4(neverWritten, 1.0); }
)";

static bool startsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

static GLint programStatus(GLuint program, GLenum query) {
    GLint value = 0;
    glGetProgramiv(program, query, &value);
    return value;
}

using ProgramBuilder = GlContextTest;

TEST_F(ProgramBuilder, ValidSourcesLinkSilently) {
    CaptureStderr();
    const GLuint program = buildProgram(plainVertex, timeFragment);
    EXPECT_EQ(GetCapturedStderr(), "");
    EXPECT_EQ(programStatus(program, GL_LINK_STATUS), GL_TRUE);
    EXPECT_EQ(programStatus(program, GL_ATTACHED_SHADERS), 2);
    glDeleteProgram(program);
}

TEST_F(ProgramBuilder, VertexFailureIsReportedBeforeAnythingOfTheFragmentStage) {
    CaptureStderr();
    const GLuint program = buildProgram(brokenSource, brokenSource);
    const std::string messages = GetCapturedStderr();
    const std::string vertexHeader = "Unable to compile vertexShader. OpenGL returned:\n";
    const std::string fragmentHeader = "Unable to compile fragmentShader. OpenGL returned:\n";
    const std::string linkHeader = "ERROR: Unable to link program. OpenGL returned:\n";
    ASSERT_TRUE(startsWith(messages, vertexHeader)) << messages;
    const size_t fragmentAt = messages.find(fragmentHeader);
    const size_t linkAt = messages.find(linkHeader);
    ASSERT_NE(fragmentAt, std::string::npos) << messages;
    ASSERT_NE(linkAt, std::string::npos) << messages;
    EXPECT_LT(fragmentAt, linkAt);
    // Each block is header, the driver's log, and an empty line.
    const std::string vertexLog =
        messages.substr(vertexHeader.size(), fragmentAt - vertexHeader.size());
    EXPECT_GT(vertexLog.size(), 2u);
    EXPECT_EQ(vertexLog.substr(vertexLog.size() - 2), "\n\n");
    EXPECT_EQ(vertexLog.find('\0'), std::string::npos);
    EXPECT_EQ(messages.substr(messages.size() - 2), "\n\n");
    // A program that failed to link is still a name that can be deleted.
    EXPECT_TRUE(glIsProgram(program));
    EXPECT_EQ(programStatus(program, GL_LINK_STATUS), GL_FALSE);
    glDeleteProgram(program);
    EXPECT_FALSE(glIsProgram(program));
}

TEST_F(ProgramBuilder, LinkFailureAloneGivesOnlyTheLinkMessage) {
    const char* const vertexWithoutOutputs =
        "#version 450 core\nvoid main() { gl_Position = vec4(0.0); }\n";
    CaptureStderr();
    const GLuint program = buildProgram(vertexWithoutOutputs, unmatchedFragment);
    const std::string messages = GetCapturedStderr();
    EXPECT_TRUE(startsWith(messages, "ERROR: Unable to link program. OpenGL returned:\n"))
        << messages;
    EXPECT_EQ(messages.find("Unable to compile"), std::string::npos);
    // Asked again, the check repeats the same report.
    CaptureStderr();
    EXPECT_FALSE(checkLink(program));
    EXPECT_EQ(GetCapturedStderr(), messages);
    glDeleteProgram(program);
}

TEST_F(ProgramBuilder, EmptySourcesGoToTheCompilerLikeAnyOther) {
    CaptureStderr();
    const GLuint program = buildProgram("", "");
    const std::string messages = GetCapturedStderr();
    EXPECT_TRUE(startsWith(messages, "Unable to compile vertexShader. OpenGL returned:\n"))
        << messages;
    EXPECT_NE(messages.find("Unable to compile fragmentShader"), std::string::npos);
    glDeleteProgram(program);
}

using SceneConstruction = GlContextTest;

struct ShaderFiles {
    TempDir dir;
    std::string vertex, fragment;
    ShaderFiles(const char* vertexSource, const char* fragmentSource)
        : vertex(dir.write("s.vert", vertexSource)), fragment(dir.write("s.frag", fragmentSource)) {
    }
};

static Scene* constructQuietly(const ShaderFiles& files, int32_t instances = 1,
                               float duration = 1.0f) {
    Scene* scene = new Scene;
    scene->instanceCount = instances;
    scene->duration = duration;
    CaptureStderr();
    constructScene(*scene, files.vertex, files.fragment);
    const std::string messages = GetCapturedStderr();
    EXPECT_EQ(messages, "");
    return scene;
}

TEST_F(SceneConstruction, BufferHoldsTheQuad) {
    ShaderFiles files(plainVertex, redFragment);
    Scene* scene = constructQuietly(files);
    GLint size = 0, flags = 0, immutable = 0;
    glGetNamedBufferParameteriv(scene->vertexBuffer, GL_BUFFER_SIZE, &size);
    glGetNamedBufferParameteriv(scene->vertexBuffer, GL_BUFFER_STORAGE_FLAGS, &flags);
    glGetNamedBufferParameteriv(scene->vertexBuffer, GL_BUFFER_IMMUTABLE_STORAGE, &immutable);
    EXPECT_EQ(size, 144);
    EXPECT_EQ(flags, GL_DYNAMIC_STORAGE_BIT);
    EXPECT_EQ(immutable, GL_TRUE);
    float stored[36];
    glGetNamedBufferSubData(scene->vertexBuffer, 0, sizeof stored, stored);
    const float quad[36] = {-1, -1, 0, 1, 0, 0, 1, 0, 0, 1, -1, 0, 1, 0, 0, 1, 1, 0,
                            -1, 1,  0, 1, 0, 0, 1, 0, 1, 1, 1,  0, 1, 0, 0, 1, 1, 1};
    EXPECT_EQ(std::memcmp(stored, quad, sizeof quad), 0);
    releaseScene(scene);
}

TEST_F(SceneConstruction, VertexArrayDescribesThreeAttributes) {
    ShaderFiles files(plainVertex, redFragment);
    Scene* scene = constructQuietly(files);
    GLint bound = -1;
    glGetIntegerv(GL_VERTEX_ARRAY_BINDING, &bound);
    EXPECT_EQ(bound, 0);
    glGetIntegerv(GL_ARRAY_BUFFER_BINDING, &bound);
    EXPECT_EQ(static_cast<GLuint>(bound), scene->vertexBuffer);

    glBindVertexArray(scene->vertexArray);
    const GLint components[3] = {4, 3, 2};
    const uintptr_t offsets[3] = {0, 16, 28};
    for (GLuint location = 0; location < 4; ++location) {
        GLint enabled = 0, size = 0, type = 0, normalized = -1, stride = 0, buffer = 0;
        glGetVertexAttribiv(location, GL_VERTEX_ATTRIB_ARRAY_ENABLED, &enabled);
        if (location == 3) {
            EXPECT_EQ(enabled, GL_FALSE);
            break;
        }
        glGetVertexAttribiv(location, GL_VERTEX_ATTRIB_ARRAY_SIZE, &size);
        glGetVertexAttribiv(location, GL_VERTEX_ATTRIB_ARRAY_TYPE, &type);
        glGetVertexAttribiv(location, GL_VERTEX_ATTRIB_ARRAY_NORMALIZED, &normalized);
        glGetVertexAttribiv(location, GL_VERTEX_ATTRIB_ARRAY_STRIDE, &stride);
        glGetVertexAttribiv(location, GL_VERTEX_ATTRIB_ARRAY_BUFFER_BINDING, &buffer);
        void* offset = nullptr;
        glGetVertexAttribPointerv(location, GL_VERTEX_ATTRIB_ARRAY_POINTER, &offset);
        EXPECT_EQ(enabled, GL_TRUE) << location;
        EXPECT_EQ(size, components[location]) << location;
        EXPECT_EQ(type, GL_FLOAT) << location;
        EXPECT_EQ(normalized, GL_FALSE) << location;
        EXPECT_EQ(stride, 36) << location;
        EXPECT_EQ(static_cast<GLuint>(buffer), scene->vertexBuffer) << location;
        EXPECT_EQ(reinterpret_cast<uintptr_t>(offset), offsets[location]) << location;
    }
    glBindVertexArray(0);
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    releaseScene(scene);
}

TEST_F(SceneConstruction, MatrixIsUploadedOnlyWhereTheProgramHasIt) {
    glUseProgram(0);
    const char* const noMvpVertex = "#version 450 core\nlayout(location = 0) in vec4 position;\n"
                                    "void main() { gl_Position = position; }\n";
    ShaderFiles withoutMvp(noMvpVertex, redFragment);
    Scene* plain = constructQuietly(withoutMvp);
    GLint current = -1;
    glGetIntegerv(GL_CURRENT_PROGRAM, &current);
    EXPECT_EQ(current, 0) << "no mvp uniform, so no program is made current";

    ShaderFiles withMvp(plainVertex, redFragment);
    Scene* first = constructQuietly(withMvp);
    Scene* second = constructQuietly(withMvp);
    glGetIntegerv(GL_CURRENT_PROGRAM, &current);
    EXPECT_EQ(static_cast<GLuint>(current), second->program);
    const Matrix4 expected = sceneTransform();
    for (Scene* scene : {first, second}) {
        Matrix4 uploaded{};
        glGetUniformfv(scene->program, glGetUniformLocation(scene->program, "mvp"),
                       uploaded.data());
        EXPECT_EQ(std::memcmp(uploaded.data(), expected.data(), sizeof expected), 0);
    }
    // Same files, separate objects.
    EXPECT_NE(first->vertexBuffer, second->vertexBuffer);
    EXPECT_NE(first->vertexArray, second->vertexArray);
    EXPECT_NE(first->program, second->program);
    for (Scene* scene : {plain, first, second}) {
        releaseScene(scene);
    }
}

TEST_F(SceneConstruction, MissingFilesAreReportedAndTheSceneIsBuiltAnyway) {
    TempDir dir;
    const std::string vertex = (dir.path / "none.vert").string();
    const std::string fragment = (dir.path / "none.frag").string();
    Scene* scene = new Scene;
    CaptureStderr();
    constructScene(*scene, vertex, fragment);
    const std::string messages = GetCapturedStderr();
    const std::string expectedStart = "Unable to open file " + vertex + "\nUnable to open file " +
                                      fragment +
                                      "\nUnable to compile vertexShader. OpenGL returned:\n";
    EXPECT_TRUE(startsWith(messages, expectedStart)) << messages;
    EXPECT_TRUE(glIsBuffer(scene->vertexBuffer));
    EXPECT_TRUE(glIsVertexArray(scene->vertexArray));
    EXPECT_TRUE(glIsProgram(scene->program));
    const Scene copy = *scene;
    glUseProgram(0);
    releaseScene(scene);
    EXPECT_FALSE(glIsBuffer(copy.vertexBuffer));
    EXPECT_FALSE(glIsVertexArray(copy.vertexArray));
    EXPECT_FALSE(glIsProgram(copy.program));
}

using SceneDrawing = GlContextTest;

static std::array<unsigned char, 4> centrePixel() {
    std::array<unsigned char, 4> pixel{};
    glReadPixels(32, 32, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel.data());
    return pixel;
}

TEST_F(SceneDrawing, FeedsTimeAndDecidesTheEndStrictly) {
    ShaderFiles files(plainVertex, timeFragment);
    Scene* scene = constructQuietly(files, 1, 0.5f);
    EXPECT_FALSE(drawScene(*scene, 0.25));
    EXPECT_FALSE(scene->finished);
    float time = -1.0f;
    glGetUniformfv(scene->program, glGetUniformLocation(scene->program, "time"), &time);
    EXPECT_EQ(time, 0.25f);
    EXPECT_EQ(centrePixel(), (std::array<unsigned char, 4>{255, 64, 0, 255}));
    EXPECT_FALSE(drawScene(*scene, 0.5));
    EXPECT_TRUE(drawScene(*scene, 0.5000001));
    EXPECT_TRUE(scene->finished);
    releaseScene(scene);
}

TEST_F(SceneDrawing, ZeroInstancesDrawNothingAndEachFrameStartsBlack) {
    ShaderFiles files(plainVertex, redFragment);
    Scene* drawn = constructQuietly(files, 1);
    Scene* empty = constructQuietly(files, 0);
    Scene* negative = constructQuietly(files, -4);
    drawScene(*drawn, 0.0);
    EXPECT_EQ(centrePixel(), (std::array<unsigned char, 4>{255, 0, 0, 255}));
    drawScene(*empty, 0.0);
    EXPECT_EQ(centrePixel(), (std::array<unsigned char, 4>{0, 0, 0, 255}));
    drawScene(*drawn, 0.0);
    // A negative count is the driver's to reject; the clock still runs out.
    EXPECT_TRUE(drawScene(*negative, 2.0));
    EXPECT_EQ(centrePixel(), (std::array<unsigned char, 4>{0, 0, 0, 255}));
    while (glGetError() != GL_NO_ERROR) {
    }
    for (Scene* scene : {drawn, empty, negative}) {
        releaseScene(scene);
    }
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

TEST_F(SceneListLoader, LoadsEveryLineInOrderWithOrWithoutAFinalLineEnd) {
    ShaderFiles files(plainVertex, redFragment);
    const std::string v = files.vertex, f = files.fragment;
    const std::string body =
        v + "\t" + f + "\t64\t12.5\n" + v + "\t" + f + "\t 20\tx\textra\tfields";
    const std::string expected = "Loaded scene (" + v + ", " + f + ", 64, 12.5)\nLoaded scene (" +
                                 v + ", " + f + ", 20, 0)\n";
    for (const std::string& content : {body, body + "\n"}) {
        LoadResult result;
        load(files.dir.write("prog.csv", content), result);
        EXPECT_EQ(result.out, expected);
        EXPECT_EQ(result.err, "");
        ASSERT_EQ(result.scenes.size(), 2u);
        EXPECT_EQ(result.scenes[0]->instanceCount, 64);
        EXPECT_EQ(result.scenes[0]->duration, 12.5f);
        EXPECT_EQ(result.scenes[1]->instanceCount, 20);
        EXPECT_EQ(result.scenes[1]->duration, 0.0f);
    }
}

TEST_F(SceneListLoader, CarriageReturnsStayInTheLastField) {
    ShaderFiles files(plainVertex, redFragment);
    const std::string line = files.vertex + "\t" + files.fragment + "\t3\t1.5\r\n";
    LoadResult result;
    load(files.dir.write("prog.csv", line + line), result);
    ASSERT_EQ(result.scenes.size(), 2u);
    EXPECT_EQ(result.scenes[1]->duration, 1.5f);
    EXPECT_EQ(result.err, "");
}

TEST_F(SceneListLoader, ShortLinesLoadNothingAndOnlyNonBlankOnesAreReported) {
    ShaderFiles files(plainVertex, redFragment);
    const std::string good = files.vertex + "\t" + files.fragment + "\t1\t2\n";
    const std::string content =
        "\n   \n" + good + "a.vert b.frag 1 2\n\t\t\r\n" + "a\tb\tc\n" + good + "\n\n";
    const std::string listPath = files.dir.write("prog.csv", content);
    LoadResult result;
    load(listPath, result);
    EXPECT_EQ(result.scenes.size(), 2u);
    const std::string line4 = listPath + ":4: skipped: found 1 field,";
    const std::string line6 = listPath + ":6: skipped: found 3 fields,";
    EXPECT_TRUE(startsWith(result.err, line4)) << result.err;
    EXPECT_NE(result.err.find("\n" + line6), std::string::npos) << result.err;
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 2);
}

TEST_F(SceneListLoader, MissingListGivesOneMessageAndNoScenes) {
    TempDir dir;
    const std::string path = (dir.path / "prog.csv").string();
    LoadResult result;
    load(path, result);
    EXPECT_TRUE(result.scenes.empty());
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "Unable to open file " + path + "\n");
}

TEST_F(SceneListLoader, SceneWithMissingShadersKeepsItsPlace) {
    ShaderFiles files(plainVertex, redFragment);
    const std::string content =
        "nowhere.vert\tnowhere.frag\t5\t1\n" + files.vertex + "\t" + files.fragment + "\t6\t1\n";
    LoadResult result;
    load(files.dir.write("prog.csv", content), result);
    ASSERT_EQ(result.scenes.size(), 2u);
    EXPECT_EQ(result.scenes[0]->instanceCount, 5);
    EXPECT_TRUE(startsWith(result.out, "Loaded scene (nowhere.vert, nowhere.frag, 5, 1)\n"));
    EXPECT_TRUE(startsWith(result.err,
                           "Unable to open file nowhere.vert\nUnable to open file nowhere.frag\n"));
}

// The demo that ships in shaders/: every scene builds without a word from the driver.
using DemoScenes = GlContextTest;

TEST_F(DemoScenes, EveryScenePlaysWithoutDiagnostics) {
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(PRISMWAFER_SOURCE_DIR);
    LoadResult result;
    load("shaders/prog.csv", result);
    std::filesystem::current_path(previous);
    EXPECT_EQ(result.err, "");
    ASSERT_GE(result.scenes.size(), 6u);
    for (size_t index = 0; index < result.scenes.size(); ++index) {
        const Scene& scene = *result.scenes[index];
        EXPECT_EQ(programStatus(scene.program, GL_LINK_STATUS), GL_TRUE) << "scene " << index + 1;
        EXPECT_EQ(programStatus(scene.program, GL_INFO_LOG_LENGTH), 0) << "scene " << index + 1;
        // Warnings are in the compile logs, which stay with the attached shaders.
        GLuint shaders[2] = {};
        GLsizei attached = 0;
        glGetAttachedShaders(scene.program, 2, &attached, shaders);
        ASSERT_EQ(attached, 2);
        for (GLuint shader : shaders) {
            GLint length = -1;
            glGetShaderiv(shader, GL_INFO_LOG_LENGTH, &length);
            std::string log(static_cast<size_t>(std::max(length, 1)), '\0');
            glGetShaderInfoLog(shader, length, nullptr, log.data());
            EXPECT_EQ(length, 0) << "scene " << index + 1 << ": " << log;
        }
        EXPECT_GT(scene.instanceCount, 100) << "scene " << index + 1;
    }
}
