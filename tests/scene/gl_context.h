// The renderer's headless OpenGL 4.5 core context, which the scene code draws with in the tests.
#pragma once

#include <glad/gl.h>
#include <gtest/gtest.h>

#include <string>

#include "render/headless_context.h"

class GlContextTest : public ::testing::Test {
  protected:
    // Made on first use, in the test itself, so that a missing context fails the test rather
    // than skipping it.
    void SetUp() override {
        if (!made) {
            std::string error;
            ASSERT_TRUE(createHeadlessContext(headless, error)) << error;
            made = true;
        }
    }
    static void TearDownTestSuite() {
        if (made) {
            destroyHeadlessContext(headless);
            made = false;
        }
    }
    static inline HeadlessContext headless;
    static inline bool made = false;
};
