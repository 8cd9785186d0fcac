// Files written whole: every byte back from the disk, whatever the size and start of the bytes and
// whether or not the file system takes them directly, and nothing left under the partial name.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "../scene/temp_dir.h"
#include "frames/whole_file.h"

static std::string fileText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(WholeFile, EveryByteComesBackWhateverTheSizeAndStart) {
    PageAlignedBytes source(3 * 1024 * 1024 + 3 * pageBytes);
    std::mt19937 random(7);
    for (uint8_t& byte : source) {
        byte = static_cast<uint8_t>(random());
    }
    ASSERT_EQ(reinterpret_cast<uintptr_t>(source.data()) % pageBytes, 0u);
    // The temporary folder is on a disk that takes whole pages directly; memory-backed ones may
    // not.
    std::vector<std::filesystem::path> places{std::filesystem::temp_directory_path()};
    if (std::filesystem::is_directory("/dev/shm")) {
        places.push_back("/dev/shm");
    }
    for (const std::filesystem::path& place : places) {
        TempDir dir(place);
        const std::string path = (dir.path / "frame.png").string();
        for (const size_t offset : {size_t{0}, size_t{1}, pageBytes}) {
            for (const size_t size : {size_t{0}, size_t{1}, pageBytes - 1, pageBytes, pageBytes + 1,
                                      7 * pageBytes + 123, size_t{3 * 1024 * 1024 + 5}}) {
                const std::string name = place.string() + ", from " + std::to_string(offset) +
                                         ", " + std::to_string(size);
                std::string error;
                ASSERT_TRUE(writeWholeFile(path, source.data() + offset, size, error))
                    << name << error;
                EXPECT_EQ(fileText(path),
                          std::string(source.begin() + static_cast<long>(offset),
                                      source.begin() + static_cast<long>(offset + size)))
                    << name;
                EXPECT_FALSE(std::filesystem::exists(partialPathFor(path))) << name;
            }
        }
    }
}

TEST(WholeFile, AFileThatCannotBeMadeLeavesNothingAndSaysWhy) {
    TempDir dir;
    const PageAlignedBytes bytes(2 * pageBytes, 1);
    const std::string path = (dir.path / "missing" / "frame.png").string();
    std::string error;
    EXPECT_FALSE(writeWholeFile(path, bytes.data(), bytes.size(), error));
    EXPECT_EQ(error, "cannot write " + path + ": No such file or directory");
    EXPECT_TRUE(std::filesystem::is_empty(dir.path));
}
