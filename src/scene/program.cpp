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

// Compiles one stage and attaches it whether or not it compiled; the program keeps it alive.
static void attachStage(GLuint program, GLenum type, const std::string& source, const char* label) {
    const GLuint shader = glCreateShader(type);
    const GLchar* text = source.c_str();
    glShaderSource(shader, 1, &text, nullptr);
    glCompileShader(shader);
    checkCompile(shader, label);
    glAttachShader(program, shader);
    glDeleteShader(shader);
}

uint32_t buildProgram(const std::string& vertexSource, const std::string& fragmentSource) {
    const GLuint program = glCreateProgram();
    attachStage(program, GL_VERTEX_SHADER, vertexSource, "vertexShader");
    attachStage(program, GL_FRAGMENT_SHADER, fragmentSource, "fragmentShader");
    glLinkProgram(program);
    checkLink(program);
    return program;
}
