// Opens the player's full-screen window with a current OpenGL 4.5 core context; the start of
// any window of ours.
#pragma once

struct GLFWwindow;

// The window, or nullptr after printing why not (the library is then terminated where it
// had been initialised).
GLFWwindow* createDisplay();

// What both windowed programs start their window with: the hints for a resizable window with an
// OpenGL 4.5 core context, and once it exists, its context made current and OpenGL loaded
// through it, the version said; nullptr after printing why not.
void hintCoreContext();
GLFWwindow* startOpenGl(GLFWwindow* window);
// Prints a start-up failure; the window cannot exist without the library, so it goes too.
GLFWwindow* failAndTerminate(const char* message);
