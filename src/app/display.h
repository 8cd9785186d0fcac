// Opens the player's full-screen window with a current OpenGL 4.5 core context.
#pragma once

struct GLFWwindow;

// The window, or nullptr after printing why not (the library is then terminated where it
// had been initialised).
GLFWwindow* createDisplay();
