// Builds a scene's GPU program and prints the compiler's and linker's logs when they fail.
#include <glad/gl.h>

#include <iostream>
#include <vector>

#include "scene/scene.h"

// Prints a header line, the log, and two line ends. The log is written by the length the
// driver reports having written, so an empty log reads nothing from the buffer.
static void printLog(const char* header, GLint length, PFNGLGETSHADERINFOLOGPROC fetch,
                     GLuint object) {
    std::vector<GLchar> log(length > 0 ? static_cast<size_t>(length) : 0);
    GLsizei written = 0;
    if (length > 0) {
        fetch(object, length, &written, log.data());
    }
    std::cerr << header << std::endl;
    std::cerr.write(log.data(), written > 0 ? written : 0);
    std::cerr << std::endl << std::endl;
}

bool checkCompile(uint32_t shader, const char* label) {
    GLint status = 0;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &status);
    if (status != 0) {
        return true;
    }
    GLint length = 0;
    glGetShaderiv(shader, GL_INFO_LOG_LENGTH, &length);
    const std::string header = std::string("Unable to compile ") + label + ". OpenGL returned:";
    printLog(header.c_str(), length, glGetShaderInfoLog, shader);
    return false;
}

bool checkLink(uint32_t program) {
    GLint status = 0;
    glGetProgramiv(program, GL_LINK_STATUS, &status);
    if (status != 0) {
        return true;
    }
    GLint length = 0;
    glGetProgramiv(program, GL_INFO_LOG_LENGTH, &length);
    printLog("ERROR: Unable to link program. OpenGL returned:", length, glGetProgramInfoLog,
             program);
    return false;
}

// Compiles one stage and attaches it whether or not it compiled; the program keeps it alive, and
// with it the compile status and log.
static void attachStage(GLuint program, GLenum type, const std::string& source, const char* label,
                        bool printFailures) {
    const GLuint shader = glCreateShader(type);
    const GLchar* text = source.c_str();
    glShaderSource(shader, 1, &text, nullptr);
    glCompileShader(shader);
    if (printFailures) {
        checkCompile(shader, label);
    }
    glAttachShader(program, shader);
    glDeleteShader(shader);
}

static uint32_t build(const std::string& vertexSource, const std::string& fragmentSource,
                      bool printFailures) {
    const GLuint program = glCreateProgram();
    attachStage(program, GL_VERTEX_SHADER, vertexSource, "vertexShader", printFailures);
    attachStage(program, GL_FRAGMENT_SHADER, fragmentSource, "fragmentShader", printFailures);
    glLinkProgram(program);
    if (printFailures) {
        checkLink(program);
    }
    return program;
}

uint32_t buildProgram(const std::string& vertexSource, const std::string& fragmentSource) {
    return build(vertexSource, fragmentSource, true);
}

uint32_t buildProgramSilently(const std::string& vertexSource, const std::string& fragmentSource) {
    return build(vertexSource, fragmentSource, false);
}

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

ProgramReport readProgramReport(uint32_t program) {
    ProgramReport report;
    GLuint shaders[2] = {};
    GLsizei count = 0;
    glGetAttachedShaders(program, 2, &count, shaders);
    for (GLsizei i = 0; i < count; ++i) {
        GLint type = 0;
        GLint compiled = 0;
        glGetShaderiv(shaders[i], GL_SHADER_TYPE, &type);
        glGetShaderiv(shaders[i], GL_COMPILE_STATUS, &compiled);
        BuildStep& step = type == GL_VERTEX_SHADER ? report.vertex : report.fragment;
        step.succeeded = compiled != 0;
        step.log = fetchLog(shaders[i], glGetShaderiv, glGetShaderInfoLog);
    }
    GLint linked = 0;
    glGetProgramiv(program, GL_LINK_STATUS, &linked);
    report.link.succeeded = linked != 0;
    report.link.log = fetchLog(program, glGetProgramiv, glGetProgramInfoLog);
    return report;
}
