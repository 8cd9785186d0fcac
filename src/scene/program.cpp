// Builds a scene's GPU program, with what the driver's compiler and linker said of each step.
#include "scene/program.h"

#include <glad/gl.h>

#include <algorithm>
#include <iostream>

// A log as text, by the length the driver reports having written.
static std::string fetchLog(GLuint object, PFNGLGETSHADERIVPROC query,
                            PFNGLGETSHADERINFOLOGPROC fetch) {
    GLint length = 0;
    query(object, GL_INFO_LOG_LENGTH, &length);
    std::string log(length > 0 ? static_cast<size_t>(length) : 0, '\0');
    GLsizei written = 0;
    if (length > 0) {
        fetch(object, length, &written, log.data());
    }
    log.resize(written > 0 ? static_cast<size_t>(written) : 0);
    return log;
}

// The verdict of a compile or link, and its log when it failed or when every log is kept.
static BuildStep readStep(GLuint object, GLenum statusQuery, PFNGLGETSHADERIVPROC query,
                          PFNGLGETSHADERINFOLOGPROC fetch, bool keepEveryLog) {
    GLint status = 0;
    query(object, statusQuery, &status);
    BuildStep step;
    step.succeeded = status != 0;
    if (!step.succeeded || keepEveryLog) {
        step.log = fetchLog(object, query, fetch);
    }
    return step;
}

// A header line, the log, and two line ends.
static void printFailure(const std::string& header, const BuildStep& step) {
    std::cerr << header << std::endl;
    std::cerr << step.log;
    std::cerr << std::endl << std::endl;
}

// Compiles one stage and attaches it whether or not it compiled; the program keeps it alive.
static BuildStep attachStage(GLuint program, GLenum type, const std::string& source,
                             const char* label, bool printLogs) {
    const GLuint shader = glCreateShader(type);
    const GLchar* text = source.c_str();
    glShaderSource(shader, 1, &text, nullptr);
    glCompileShader(shader);
    const BuildStep step =
        readStep(shader, GL_COMPILE_STATUS, glGetShaderiv, glGetShaderInfoLog, !printLogs);
    if (printLogs && !step.succeeded) {
        printFailure(std::string("Unable to compile ") + label + ". OpenGL returned:", step);
    }
    glAttachShader(program, shader);
    glDeleteShader(shader);
    return step;
}

uint32_t buildProgram(const std::string& vertexSource, const std::string& fragmentSource,
                      bool printLogs, ProgramReport& report) {
    const GLuint program = glCreateProgram();
    report.vertex = attachStage(program, GL_VERTEX_SHADER, vertexSource, "vertexShader", printLogs);
    report.fragment =
        attachStage(program, GL_FRAGMENT_SHADER, fragmentSource, "fragmentShader", printLogs);
    glLinkProgram(program);
    report.link =
        readStep(program, GL_LINK_STATUS, glGetProgramiv, glGetProgramInfoLog, !printLogs);
    if (printLogs && !report.link.succeeded) {
        printFailure("ERROR: Unable to link program. OpenGL returned:", report.link);
    }
    return program;
}

std::vector<std::string> activeUniformNames(uint32_t program) {
    GLint count = 0;
    GLint longest = 0;
    glGetProgramiv(program, GL_ACTIVE_UNIFORMS, &count);
    glGetProgramiv(program, GL_ACTIVE_UNIFORM_MAX_LENGTH, &longest);
    std::vector<std::string> names;
    std::string name(static_cast<size_t>(std::max(longest, 1)), '\0');
    for (GLint index = 0; index < count; ++index) {
        GLsizei length = 0;
        GLint size = 0;
        GLenum type = 0;
        glGetActiveUniform(program, static_cast<GLuint>(index), static_cast<GLsizei>(name.size()),
                           &length, &size, &type, name.data());
        names.emplace_back(name.data(), static_cast<size_t>(std::max(length, 0)));
    }
    return names;
}
