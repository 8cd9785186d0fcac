// A hidden window on the test display whose OpenGL 4.5 core context the scene code draws with.
#pragma once

#include <glad/gl.h>

#include <GLFW/glfw3.h>
#include <gtest/gtest.h>

class GlContextTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(glfwInit()) << "no display: run the tests under xvfb-run";
        glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 4);
        glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 5);
        glfwWindowHint(GLFW_OPENGL_PROFILE, GLFW_OPENGL_CORE_PROFILE);
        glfwWindowHint(GLFW_VISIBLE, GLFW_FALSE);
        window = glfwCreateWindow(64, 64, "scene test", nullptr, nullptr);
        ASSERT_NE(window, nullptr);
        glfwMakeContextCurrent(window);
        ASSERT_NE(gladLoadGL(glfwGetProcAddress), 0);
    }
    static void TearDownTestSuite() {
        if (window) {
            glfwDestroyWindow(window);
        }
        glfwTerminate();
        window = nullptr;
    }
    void SetUp() override {
        ASSERT_NE(window, nullptr) << "no OpenGL 4.5 core context";
    }
    static inline GLFWwindow* window = nullptr;
};
