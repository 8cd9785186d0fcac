/* Preloaded by the fault table: makes chosen calls on the files a test names fail, as a full or
 * broken disk would, in the programs and in the ffmpeg they start.
 *
 *   PRISMWAFER_FAULT="CALL N FAULT PATH[;CALL N FAULT PATH...]"
 *
 * The Nth CALL (open, write, fsync, close, rename, read) on a file whose path holds PATH ("-":
 * what standard output was at the start, on whatever descriptor it moved to) fails with FAULT:
 * ENOSPC, EIO or EINTR, or "short", which writes half the bytes or reads one. N = 0 fails nothing
 * and appends "CALL K", the K calls it saw, to the file named by PRISMWAFER_FAULT_COUNTS when the
 * process ends. */
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
    int nth, seen;
    char watched[1024]; // descriptors opened on the path
} rules[8];
static int ruleCount;
static struct stat standardOutput;

__attribute__((constructor)) static void readRules(void) {
    fstat(1, &standardOutput);
    const char* spec = getenv("PRISMWAFER_FAULT");
    for (; spec && ruleCount < 8; spec = strchr(spec, ';'), spec = spec ? spec + 1 : 0) {
        struct Rule* r = &rules[ruleCount];
        if (sscanf(spec, "%7s %d %7s %199[^;]", r->call, &r->nth, r->fault, r->path) == 4) {
            ++ruleCount;
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

static int fail(const char* fault) {
    errno = strcmp(fault, "EIO") == 0 ? EIO : strcmp(fault, "ENOSPC") == 0 ? ENOSPC : EINTR;
    return -1;
}

static int isStandardOutput(int fd) {
    struct stat status;
    return fstat(fd, &status) == 0 && status.st_dev == standardOutput.st_dev &&
           status.st_ino == standardOutput.st_ino;
}

/* The fault this call is to suffer, or 0 to let it through. fd < 0: the call names paths. */
static const char* fault(const char* call, int fd, const char* path, const char* other) {
    for (int i = 0; i < ruleCount; ++i) {
        struct Rule* r = &rules[i];
        int on = fd >= 0 ? (fd < 1024 && r->watched[fd]) ||
                               (strcmp(r->path, "-") == 0 && isStandardOutput(fd))
                         : strcmp(r->path, "-") &&
                               (strstr(path, r->path) || (other && strstr(other, r->path)));
        if (on && strcmp(call, r->call) == 0 &&
            __atomic_add_fetch(&r->seen, 1, __ATOMIC_SEQ_CST) == r->nth) {
            return r->fault;
        }
    }
    return 0;
}

static void watch(int fd, const char* path, int on) {
    for (int i = 0; i < ruleCount && fd >= 0 && fd < 1024; ++i) {
        rules[i].watched[fd] = on && strcmp(rules[i].path, "-") && strstr(path, rules[i].path);
    }
}

static int openFile(int (*real)(const char*, int, ...), const char* path, int flags, va_list args) {
    mode_t mode = flags & (O_CREAT | O_TMPFILE) ? va_arg(args, mode_t) : 0;
    const char* f = fault("open", -1, path, 0);
    if (f) {
        return fail(f);
    }
    int fd = real(path, flags, mode);
    watch(fd, path, 1);
    return fd;
}

int open(const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    int fd = openFile(REAL(open), path, flags, args);
    va_end(args);
    return fd;
}

int open64(const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    int fd = openFile(REAL(open64), path, flags, args);
    va_end(args);
    return fd;
}

ssize_t write(int fd, const void* data, size_t size) {
    const char* f = fault("write", fd, 0, 0);
    return !f                   ? REAL(write)(fd, data, size)
           : strcmp(f, "short") ? fail(f)
                                : REAL(write)(fd, data, (size + 1) / 2);
}

ssize_t read(int fd, void* data, size_t size) {
    const char* f = fault("read", fd, 0, 0);
    return !f ? REAL(read)(fd, data, size) : strcmp(f, "short") ? fail(f) : REAL(read)(fd, data, 1);
}

int fsync(int fd) {
    const char* f = fault("fsync", fd, 0, 0);
    return f ? fail(f) : REAL(fsync)(fd);
}

/* As on Linux, the descriptor is released whatever close says. */
int close(int fd) {
    const char* f = fault("close", fd, 0, 0);
    watch(fd, "", 0);
    int result = REAL(close)(fd);
    return f ? fail(f) : result;
}

int rename(const char* from, const char* to) {
    const char* f = fault("rename", -1, from, to);
    return f ? fail(f) : REAL(rename)(from, to);
}
