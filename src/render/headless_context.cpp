// An OpenGL 4.5 core context with no window system, through EGL.
#include "render/headless_context.h"

#include <glad/gl.h>

#include <EGL/egl.h>
#include <EGL/eglext.h>

#include <cstring>

static bool hasExtension(const char* list, const char* name) {
    const size_t length = std::strlen(name);
    for (const char* at = list; at && (at = std::strstr(at, name)); at += length) {
        if ((at == list || at[-1] == ' ') && (at[length] == ' ' || at[length] == '\0')) {
            return true;
        }
    }
    return false;
}

// Mesa's surfaceless platform needs no display server; the device platform reaches a GPU
// directly; the default display is the last resort.
static EGLDisplay openDisplay() {
    const char* clientExtensions = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
    auto getPlatformDisplay = reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(
        eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (getPlatformDisplay && hasExtension(clientExtensions, "EGL_MESA_platform_surfaceless")) {
        EGLDisplay display =
            getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
        if (display != EGL_NO_DISPLAY && eglInitialize(display, nullptr, nullptr)) {
            return display;
        }
    }
    auto queryDevices =
        reinterpret_cast<PFNEGLQUERYDEVICESEXTPROC>(eglGetProcAddress("eglQueryDevicesEXT"));
    if (getPlatformDisplay && queryDevices &&
        hasExtension(clientExtensions, "EGL_EXT_platform_device")) {
        EGLDeviceEXT devices[8];
        EGLint count = 0;
        if (queryDevices(8, devices, &count)) {
            for (EGLint i = 0; i < count; ++i) {
                EGLDisplay display =
                    getPlatformDisplay(EGL_PLATFORM_DEVICE_EXT, devices[i], nullptr);
                if (display != EGL_NO_DISPLAY && eglInitialize(display, nullptr, nullptr)) {
                    return display;
                }
            }
        }
    }
    EGLDisplay display = eglGetDisplay(EGL_DEFAULT_DISPLAY);
    if (display != EGL_NO_DISPLAY && eglInitialize(display, nullptr, nullptr)) {
        return display;
    }
    return EGL_NO_DISPLAY;
}

static const EGLint contextAttributes[] = {
    EGL_CONTEXT_MAJOR_VERSION,
    4,
    EGL_CONTEXT_MINOR_VERSION,
    5,
    EGL_CONTEXT_OPENGL_PROFILE_MASK,
    EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT,
    EGL_NONE,
};

static GLADapiproc loadGlFunction(const char* name) {
    return reinterpret_cast<GLADapiproc>(eglGetProcAddress(name));
}

bool createHeadlessContext(HeadlessContext& headless, std::string& error) {
    EGLDisplay display = openDisplay();
    if (display == EGL_NO_DISPLAY) {
        error = "no EGL display could be opened";
        return false;
    }
    static const EGLint configAttributes[] = {
        EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_NONE,
    };
    EGLConfig config = nullptr;
    EGLint configCount = 0;
    EGLContext context = EGL_NO_CONTEXT;
    // Without a config the context can still be made where the driver allows configless ones.
    if (!eglChooseConfig(display, configAttributes, &config, 1, &configCount) || configCount < 1) {
        config = EGL_NO_CONFIG_KHR;
    }
    if (eglBindAPI(EGL_OPENGL_API)) {
        context = eglCreateContext(display, config, EGL_NO_CONTEXT, contextAttributes);
    }
    if (context == EGL_NO_CONTEXT) {
        eglTerminate(display);
        error = "no OpenGL 4.5 core context is available";
        return false;
    }
    if (!eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, context)) {
        eglDestroyContext(display, context);
        eglTerminate(display);
        error = "the OpenGL context cannot be used without a surface";
        return false;
    }
    const int version = gladLoadGL(loadGlFunction);
    if (version == 0) {
        eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        eglDestroyContext(display, context);
        eglTerminate(display);
        error = "the OpenGL entry points could not be loaded";
        return false;
    }
    headless.display = display;
    headless.config = config;
    headless.context = context;
    headless.glVersion = version;
    return true;
}

void destroyHeadlessContext(HeadlessContext& headless) {
    eglMakeCurrent(headless.display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    eglDestroyContext(headless.display, headless.context);
    eglTerminate(headless.display);
    eglReleaseThread();
    headless = HeadlessContext{};
}

void* createSharedContext(const HeadlessContext& headless) {
    const EGLContext shared =
        eglCreateContext(headless.display, headless.config, headless.context, contextAttributes);
    return shared == EGL_NO_CONTEXT ? nullptr : shared;
}

bool makeCurrentOnThisThread(const HeadlessContext& headless, void* context) {
    if (!context) {
        const bool released =
            eglMakeCurrent(headless.display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        eglReleaseThread();
        return released;
    }
    return eglMakeCurrent(headless.display, EGL_NO_SURFACE, EGL_NO_SURFACE, context) == EGL_TRUE;
}

void destroySharedContext(const HeadlessContext& headless, void* context) {
    eglDestroyContext(headless.display, context);
}
