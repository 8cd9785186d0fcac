// Reading files whole: contents byte for byte, and one message for anything that is no file.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "scene/scene.h"
#include "temp_dir.h"

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

static std::string readQuietly(const std::string& path, std::string& messages) {
    CaptureStderr();
    std::string text = readTextFile(path);
    messages = GetCapturedStderr();
    return text;
}

TEST(ReadTextFile, ReturnsTheBytesAsStored) {
    TempDir dir;
    std::string messages;
    const std::string binary("a\0b\r\n\xff\xfe last", 12);
    EXPECT_EQ(readQuietly(dir.write("binary", binary), messages), binary);
    EXPECT_EQ(readQuietly(dir.write("noend", "x\ny"), messages), "x\ny");
    EXPECT_EQ(readQuietly(dir.write("empty", ""), messages), "");
    EXPECT_EQ(messages, "");
    const std::string big(3 * 1024 * 1024 + 17, 'q');
    EXPECT_EQ(readQuietly(dir.write("big", big), messages), big);
    EXPECT_EQ(messages, "");
}

TEST(ReadTextFile, AnythingButARegularFileCannotBeOpened) {
    TempDir dir;
    const std::string fifo = (dir.path / "fifo").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string missing = (dir.path / "missing").string();
    // A FIFO with no writer would block a plain open or read forever.
    for (const std::string& path :
         {missing, dir.path.string(), fifo, std::string("/dev/zero"), std::string("")}) {
        std::string messages;
        EXPECT_EQ(readQuietly(path, messages), "") << path;
        EXPECT_EQ(messages, "Unable to open file " + path + "\n");
    }
}

TEST(ReadTextFile, PathWithNulByteDoesNotOpenItsPrefix) {
    TempDir dir;
    const std::string prefix = dir.write("a", "secret");
    const std::string path = prefix + std::string("\0.vert", 6);
    std::string messages;
    EXPECT_EQ(readQuietly(path, messages), "");
    EXPECT_EQ(messages, "Unable to open file " + path + "\n");
}

TEST(ReadTextFile, FollowsSymbolicLinksToFiles) {
    TempDir dir;
    const std::string target = dir.write("target", "linked");
    const std::string link = (dir.path / "link").string();
    ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
    std::string messages;
    EXPECT_EQ(readQuietly(link, messages), "linked");
    EXPECT_EQ(messages, "");
}
