/* Preloaded into the player and the bare programs by scripts/bench: times buffer swaps and
 * counts heap allocations from outside, since the player itself reads no environment.
 *
 *   PRISMWAFER_PROBE_OUT     file to append one result line to
 *   PRISMWAFER_PROBE_WARMUP  frames to let pass before measuring (default 60)
 *   PRISMWAFER_PROBE_FRAMES  frames to measure; 0 stops at the first swap (default 0)
 *   PRISMWAFER_PROBE_TRACE   file to write, for every swap, its time and the brightness of the
 *                            window's centre pixel in the frame it shows ("T LEVEL", seconds on
 *                            the monotonic clock and 0 to 765)
 *
 * The line: "first_swap_ms=T fps=F allocations_per_frame=A". The process ends right after it. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdatomic.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

extern void* __libc_malloc(size_t size);
extern void* __libc_calloc(size_t count, size_t size);
extern void* __libc_realloc(void* pointer, size_t size);

static atomic_ulong allocations;
static double loadedAt;
static long swaps;
static double measureStart;
static unsigned long allocationsAtStart;

static double now(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec + (double)t.tv_nsec * 1e-9;
}

static long setting(const char* name, long fallback) {
    const char* text = getenv(name);
    return text ? atol(text) : fallback;
}

__attribute__((constructor)) static void probeLoaded(void) {
    loadedAt = now();
}

void* malloc(size_t size) {
    atomic_fetch_add_explicit(&allocations, 1, memory_order_relaxed);
    return __libc_malloc(size);
}

void* calloc(size_t count, size_t size) {
    atomic_fetch_add_explicit(&allocations, 1, memory_order_relaxed);
    return __libc_calloc(count, size);
}

void* realloc(void* pointer, size_t size) {
    atomic_fetch_add_explicit(&allocations, 1, memory_order_relaxed);
    return __libc_realloc(pointer, size);
}

static void report(double firstSwap, double fps, double perFrame) {
    const char* path = getenv("PRISMWAFER_PROBE_OUT");
    FILE* out = path ? fopen(path, "a") : stderr;
    if (out) {
        fprintf(out, "first_swap_ms=%.3f fps=%.3f allocations_per_frame=%.3f\n", firstSwap * 1000.0,
                fps, perFrame);
        fclose(out);
    }
    _exit(0);
}

/* The centre pixel of the frame about to be shown, read from the window's back buffer. */
static int centreLevel(void* window) {
    static void (*readPixels)(int, int, int, int, unsigned, unsigned, void*);
    static void (*bindFramebuffer)(unsigned, unsigned);
    static void (*framebufferSize)(void*, int*, int*);
    if (!readPixels) {
        void* gl = dlopen("libGL.so.1", RTLD_LAZY | RTLD_NOLOAD);
        *(void**)(&readPixels) = gl ? dlsym(gl, "glReadPixels") : NULL;
        *(void**)(&bindFramebuffer) = gl ? dlsym(gl, "glBindFramebuffer") : NULL;
        *(void**)(&framebufferSize) = dlsym(RTLD_DEFAULT, "glfwGetFramebufferSize");
    }
    if (!readPixels || !bindFramebuffer || !framebufferSize) {
        return -1;
    }
    int width = 0, height = 0;
    unsigned char rgba[4] = {0};
    framebufferSize(window, &width, &height);
    bindFramebuffer(0x8CA8 /* GL_READ_FRAMEBUFFER */, 0);
    readPixels(width / 2, height / 2, 1, 1, 0x1908 /* GL_RGBA */, 0x1401 /* GL_UNSIGNED_BYTE */, rgba);
    return rgba[0] + rgba[1] + rgba[2];
}

void glfwSwapBuffers(void* window) {
    static void (*realSwap)(void*);
    static double firstSwap;
    static FILE* trace;
    if (!realSwap) {
        /* The POSIX way to turn the symbol into a function pointer. */
        *(void**)(&realSwap) = dlsym(RTLD_NEXT, "glfwSwapBuffers");
        const char* tracePath = getenv("PRISMWAFER_PROBE_TRACE");
        trace = tracePath ? fopen(tracePath, "w") : NULL;
    }
    const int level = trace ? centreLevel(window) : 0;
    realSwap(window);
    if (trace) {
        fprintf(trace, "%.6f %d\n", now(), level);
        fflush(trace);
    }
    ++swaps;
    const long warmup = setting("PRISMWAFER_PROBE_WARMUP", 60);
    const long frames = setting("PRISMWAFER_PROBE_FRAMES", 0);
    if (swaps == 1) {
        firstSwap = now() - loadedAt;
        if (frames == 0) {
            report(firstSwap, 0.0, 0.0);
        }
    }
    if (swaps == warmup) {
        measureStart = now();
        allocationsAtStart = atomic_load(&allocations);
    } else if (swaps == warmup + frames) {
        const double seconds = now() - measureStart;
        const unsigned long counted = atomic_load(&allocations) - allocationsAtStart;
        report(firstSwap, (double)frames / seconds, (double)counted / (double)frames);
    }
}
