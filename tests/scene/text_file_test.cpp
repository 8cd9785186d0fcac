// Reading files whole: contents byte for byte, and one message for anything that is no file.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "scene/text_file.h"
#include "temp_dir.h"

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

static std::string readQuietly(const std::string& path, std::string& messages) {
    CaptureStderr();
    std::string text = readTextFile(path);
    messages = GetCapturedStderr();
    return text;
}

TEST(ReadTextFile, ReturnsTheBytesAsStoredThroughLinksToo) {
    TempDir dir;
    const std::string binary("a\0b\r\n\xff\xfe last", 12);
    const std::string big(3 * 1024 * 1024 + 17, 'q');
    const std::string link = (dir.path / "link").string();
    ASSERT_EQ(symlink(dir.write("target", "linked").c_str(), link.c_str()), 0);
    const std::pair<std::string, std::string> files[] = {{dir.write("binary", binary), binary},
                                                         {dir.write("noend", "x\ny"), "x\ny"},
                                                         {dir.write("empty", ""), ""},
                                                         {dir.write("big", big), big},
                                                         {link, "linked"}};
    for (const auto& [path, content] : files) {
        std::string messages;
        EXPECT_EQ(readQuietly(path, messages), content) << path;
        EXPECT_EQ(messages, "") << path;
    }
}

TEST(ReadTextFile, AnythingButARegularFileCannotBeOpened) {
    TempDir dir;
    const std::string fifo = (dir.path / "fifo").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // A FIFO with no writer would block a plain open or read forever; a path with a NUL byte
    // must not open the shorter path before it.
    const std::string withNul = dir.write("a", "secret") + std::string("\0.vert", 6);
    // Descriptors open on the test's own files; the driver's threads open files of their own.
    const auto openDescriptors = [&dir] {
        int count = 0;
        for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
            std::error_code ignored;
            const std::string target = std::filesystem::read_symlink(entry, ignored).string();
            count += target.rfind(dir.path.string(), 0) == 0 ? 1 : 0;
        }
        return count;
    };
    for (const std::string& path : {(dir.path / "missing").string(), dir.path.string(), fifo,
                                    std::string("/dev/zero"), std::string(""), withNul}) {
        std::string messages;
        EXPECT_EQ(readQuietly(path, messages), "") << path;
        EXPECT_EQ(messages, "Unable to open file " + path + "\n");
        std::string reason;
        EXPECT_FALSE(canReadTextFile(path, reason)) << path;
        EXPECT_NE(reason, "") << path;
    }
    // Neither a file refused nor one read keeps a descriptor open.
    for (int i = 0; i < 20; ++i) {
        std::string messages;
        std::string reason;
        EXPECT_TRUE(canReadTextFile(dir.write("file", "text"), reason)) << reason;
        readQuietly(dir.write("file", "text"), messages);
    }
    EXPECT_EQ(openDescriptors(), 0);
}
