// A hidden window on the test display whose OpenGL 4.5 core context the scene code draws with.
#pragma once

#include <glad/gl.h>

#include <GLFW/glfw3.h>
#include <gtest/gtest.h>

#include <string>

class GlContextTest : public ::testing::Test {
  protected:
    // Made on first use, in the test itself, so that a missing context fails the test rather
    // than skipping it.
    void SetUp() override {
        if (!window) {
            glfwSetErrorCallback([](int, const char* description) { glfwError = description; });
            ASSERT_TRUE(glfwInit()) << "no display (run the tests under xvfb-run): " << glfwError;
            glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 4);
            glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 5);
            glfwWindowHint(GLFW_OPENGL_PROFILE, GLFW_OPENGL_CORE_PROFILE);
            glfwWindowHint(GLFW_VISIBLE, GLFW_FALSE);
            window = glfwCreateWindow(64, 64, "scene test", nullptr, nullptr);
            ASSERT_NE(window, nullptr) << "no OpenGL 4.5 core context: " << glfwError;
            glfwMakeContextCurrent(window);
            ASSERT_NE(gladLoadGL(glfwGetProcAddress), 0);
        }
    }
    static void TearDownTestSuite() {
        if (window) {
            glfwDestroyWindow(window);
            glfwTerminate();
            window = nullptr;
        }
    }
    static inline GLFWwindow* window = nullptr;
    static inline std::string glfwError;
};
