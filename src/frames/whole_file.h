// Files written whole or not at all: under NAME.partial until every byte has reached the disk.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

// Bytes that start on a page, which the disk can take straight from memory: written whole, their
// pages skip the kernel's cache, and the copy into fresh pages of it that a large file costs.
const size_t pageBytes = 4096;
template <class T> struct PageAligned {
    using value_type = T;
    PageAligned() = default;
    template <class U> PageAligned(const PageAligned<U>&) {}
    T* allocate(size_t count) {
        void* memory = std::aligned_alloc(pageBytes, (count * sizeof(T) + pageBytes - 1) /
                                                         pageBytes * pageBytes);
        if (!memory) {
            throw std::bad_alloc();
        }
        return static_cast<T*>(memory);
    }
    void deallocate(T* memory, size_t) {
        std::free(memory);
    }
    template <class U> bool operator==(const PageAligned<U>&) const {
        return true;
    }
    template <class U> bool operator!=(const PageAligned<U>&) const {
        return false;
    }
};
using PageAlignedBytes = std::vector<uint8_t, PageAligned<uint8_t>>;

// The name a file is written under until it is whole; renamed to its own name only then.
std::string partialPathFor(const std::string& path);

// Writes everything, again from where it stopped after an interrupted or short write; false
// with errno.
bool writeFully(int fd, const void* data, size_t size);

// Writes the bytes to the partial name, syncs them and renames the file to its own. Interrupted
// and short writes are carried on. From a page-aligned start, the whole pages go to the disk
// directly where the file system can do that. False with "cannot write PATH: REASON", leaving no
// partial file and whatever the path held before.
bool writeWholeFile(const std::string& path, const void* data, size_t size, std::string& error);
