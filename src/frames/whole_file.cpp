// Files written whole or not at all: under NAME.partial until every byte has reached the disk.
#include "frames/whole_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "scene/message_text.h"

std::string partialPathFor(const std::string& path) {
    return path + ".partial";
}

bool writeFully(int fd, const void* bytes, size_t size) {
    const uint8_t* data = static_cast<const uint8_t*>(bytes);
    while (size > 0) {
        const ssize_t written = write(fd, data, size);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            errno = written < 0 ? errno : ENOSPC;
            return false;
        }
        data += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

// Whole pages from a page-aligned start, straight to the disk; `done` is how far the file got,
// and the caller writes the rest through the cache. A write refused (EINVAL: a file system that
// cannot, or a start off a page after a short write) leaves the rest to the cache too. False
// with errno on any other failure.
static bool writeDirectly(int fd, const uint8_t* data, size_t size, size_t& done) {
    done = 0;
    const size_t pages = size / pageBytes * pageBytes;
    if (pages == 0 || reinterpret_cast<uintptr_t>(data) % pageBytes != 0) {
        return true;
    }
    const int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags | O_DIRECT) != 0) {
        return true;
    }
    if (!writeFully(fd, data, pages) && errno != EINVAL) {
        return false;
    }
    const off_t at = lseek(fd, 0, SEEK_CUR);
    if (at < 0 || fcntl(fd, F_SETFL, flags) != 0) {
        return false;
    }
    done = static_cast<size_t>(at);
    return true;
}

bool writeWholeFile(const std::string& path, const void* data, size_t size, std::string& error) {
    const std::string partial = partialPathFor(path);
    const int fd = open(partial.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = describeErrno("cannot write", path);
        return false;
    }
    // Only a file that reached the disk whole gets its name.
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    size_t direct = 0;
    bool written = writeDirectly(fd, bytes, size, direct) &&
                   writeFully(fd, bytes + direct, size - direct) &&
                   (fsync(fd) == 0 || errno == EINVAL);
    int failure = errno;
    // The descriptor is released even when close fails; interrupted, it lost nothing fsync kept.
    if (close(fd) != 0 && errno != EINTR && written) {
        failure = errno;
        written = false;
    }
    if (!written) {
        errno = failure;
        error = describeErrno("cannot write", path);
        unlink(partial.c_str());
        return false;
    }
    if (std::rename(partial.c_str(), path.c_str()) != 0) {
        error = describeErrno("cannot write", path);
        unlink(partial.c_str());
        return false;
    }
    return true;
}
