// Reads the scene list and shader sources whole, as byte strings.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>

#include "scene/text_file.h"

// Only regular files are read: a directory has no contents to give, and a FIFO or a device could
// block start-up forever. O_NONBLOCK keeps the open itself from waiting on a FIFO, and the type is
// taken from the opened descriptor so that it cannot change underneath us. A path with a NUL byte
// would name a different, shorter path to the system. Returns the descriptor, or -1 with the
// reason.
static int openRegularFile(const std::string& path, struct stat& status, std::string& reason) {
    if (path.find('\0') != std::string::npos) {
        reason = "the path holds a NUL byte";
        return -1;
    }
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        reason = std::strerror(errno);
        return -1;
    }
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        reason = "not a regular file";
        close(fd);
        return -1;
    }
    return fd;
}

bool canReadTextFile(const std::string& path, std::string& reason) {
    struct stat status {};
    const int fd = openRegularFile(path, status, reason);
    if (fd < 0) {
        return false;
    }
    close(fd);
    return true;
}

void reportUnreadableFile(const std::string& path) {
    std::cerr << "Unable to open file " << path << std::endl;
}

bool readTextFileQuietly(const std::string& path, std::string& text, std::string& reason) {
    text.clear();
    struct stat status {};
    const int fd = openRegularFile(path, status, reason);
    if (fd < 0) {
        return false;
    }
    text.reserve(static_cast<size_t>(status.st_size));
    char chunk[65536];
    for (;;) {
        const ssize_t count = read(fd, chunk, sizeof chunk);
        if (count > 0) {
            text.append(chunk, static_cast<size_t>(count));
        } else if (count == 0) {
            break;
        } else if (errno != EINTR) {
            // Half a shader would be reported as the compiler's nonsense; better to say why.
            reason = std::strerror(errno);
            text.clear();
            close(fd);
            return false;
        }
    }
    close(fd);
    return true;
}

std::string readTextFile(const std::string& path) {
    std::string text;
    std::string reason;
    if (!readTextFileQuietly(path, text, reason)) {
        reportUnreadableFile(path);
    }
    return text;
}
