/* Preloaded by the fault table: makes chosen calls on the files a test names fail, as a full or
 * broken disk would, in the programs and in the ffmpeg they start.
 *
 *   PRISMWAFER_FAULT="CALL N FAULT PATH[;CALL N FAULT PATH...]"
 *
 * The Nth CALL (open, write, fsync, close, rename, read, pread) on a file whose path holds PATH ("-":
 * what standard output was at the start, on whatever descriptor it moved to) fails with FAULT:
 * an errno name (ENOSPC, EIO, EINTR, EPIPE, EMFILE), or "short", which writes half the bytes or
 * reads one. A call on no file (pipe2) fails as the Nth of its kind, whatever PATH says. N = 0
 * fails nothing; with N = 0, "CALL K", the K calls seen, is appended to the file named by
 * PRISMWAFER_FAULT_COUNTS when the process ends. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

/* Through an object pointer: ISO C has no cast from dlsym's void * to a function. */
#define REAL(name) (*(__typeof__(&name)*)&(void*){dlsym(RTLD_NEXT, #name)})

static struct Rule {
    char call[8], fault[8], path[200];
    int nth, seen, error; /* error 0: a short call */
    char watched[1024];   /* descriptors opened on the path */
} rules[8];
static int ruleCount;
static struct stat standardOutput;

__attribute__((constructor)) static void readRules(void) {
    const char* names[] = {"EIO", "ENOSPC", "EINTR", "EPIPE", "EMFILE", "short"};
    const int errors[] = {EIO, ENOSPC, EINTR, EPIPE, EMFILE, 0};
    fstat(1, &standardOutput);
    for (const char* rule = getenv("PRISMWAFER_FAULT"); rule && ruleCount < 8;
         rule = strchr(rule, ';') ? strchr(rule, ';') + 1 : 0) {
        struct Rule* r = &rules[ruleCount];
        ruleCount += sscanf(rule, "%7s %d %7s %199[^;]", r->call, &r->nth, r->fault, r->path) == 4;
        for (int i = 0; i < 6; ++i) {
            r->error = strcmp(r->fault, names[i]) ? r->error : errors[i];
        }
    }
}

__attribute__((destructor)) static void countCalls(void) {
    const char* name = getenv("PRISMWAFER_FAULT_COUNTS");
    FILE* counts = name ? fopen(name, "a") : 0;
    for (int i = 0; counts && i < ruleCount; ++i) {
        fprintf(counts, "%s %d\n", rules[i].call, rules[i].seen);
    }
    if (counts) {
        fclose(counts);
    }
}

static int onPath(const struct Rule* r, const char* path) {
    return path && strcmp(r->path, "-") && strstr(path, r->path);
}

static int onStandardOutput(const struct Rule* r, int fd) {
    struct stat s;
    return strcmp(r->path, "-") == 0 && fstat(fd, &s) == 0 && s.st_dev == standardOutput.st_dev &&
           s.st_ino == standardOutput.st_ino;
}

/* The rule whose fault this call is to suffer, or 0 to let it through. fd < 0: by the paths, and
 * with no path either, by the call alone. A descriptor opened or closed is watched by the rules of
 * its path, or by none. */
static const struct Rule* fault(const char* call, int fd, const char* path, const char* other) {
    const struct Rule* hit = 0;
    for (struct Rule* r = rules; r < rules + ruleCount; ++r) {
        int on = fd >= 0 ? (fd < 1024 && r->watched[fd]) || onStandardOutput(r, fd)
                 : path  ? onPath(r, path) || onPath(r, other)
                         : 1;
        if (on && strcmp(call, r->call) == 0 &&
            __atomic_add_fetch(&r->seen, 1, __ATOMIC_SEQ_CST) == r->nth) {
            hit = r;
        }
    }
    return hit;
}

static void watch(int fd, const char* path) {
    for (int i = 0; i < ruleCount && fd >= 0 && fd < 1024; ++i) {
        rules[i].watched[fd] = onPath(&rules[i], path) != 0;
    }
}

static int fail(const struct Rule* r) {
    errno = r->error;
    return -1;
}

static int openFile(int (*real)(const char*, int, ...), const char* path, int flags, va_list args) {
    const struct Rule* f = fault("open", -1, path, 0);
    int fd =
        f ? fail(f) : real(path, flags, flags & (O_CREAT | O_TMPFILE) ? va_arg(args, mode_t) : 0);
    watch(fd, path);
    return fd;
}

#define OPEN(name)                                                                                 \
    int name(const char* path, int flags, ...) {                                                   \
        va_list args;                                                                              \
        va_start(args, flags);                                                                     \
        int fd = openFile(REAL(name), path, flags, args);                                          \
        va_end(args);                                                                              \
        return fd;                                                                                 \
    }
OPEN(open)
OPEN(open64)

ssize_t write(int fd, const void* data, size_t size) {
    const struct Rule* f = fault("write", fd, 0, 0);
    return f && f->error ? fail(f) : REAL(write)(fd, data, f ? (size + 1) / 2 : size);
}

ssize_t read(int fd, void* data, size_t size) {
    const struct Rule* f = fault("read", fd, 0, 0);
    return f && f->error ? fail(f) : REAL(read)(fd, data, f ? 1 : size);
}

ssize_t pread(int fd, void* data, size_t size, off_t offset) {
    const struct Rule* f = fault("pread", fd, 0, 0);
    return f && f->error ? fail(f) : REAL(pread)(fd, data, f ? 1 : size, offset);
}

int fsync(int fd) {
    const struct Rule* f = fault("fsync", fd, 0, 0);
    return f ? fail(f) : REAL(fsync)(fd);
}

/* As on Linux, the descriptor is released whatever close says. */
int close(int fd) {
    const struct Rule* f = fault("close", fd, 0, 0);
    watch(fd, 0);
    int result = REAL(close)(fd);
    return f ? fail(f) : result;
}

int rename(const char* from, const char* to) {
    const struct Rule* f = fault("rename", -1, from, to);
    return f ? fail(f) : REAL(rename)(from, to);
}

int pipe2(int ends[2], int flags) {
    const struct Rule* f = fault("pipe", -1, 0, 0);
    return f ? fail(f) : REAL(pipe2)(ends, flags);
}
