// Reading and saving small text files: what is refused, and what a save never touches.
#include "Files.h"
#include "TextFile.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

namespace vq5 {
namespace {

class TextFile : public ::testing::Test {
protected:
    void SetUp() override {
        char dir[] = "/tmp/vq5-textfile-XXXXXX";
        ASSERT_NE(::mkdtemp(dir), nullptr);
        m_Dir = dir;
    }
    void TearDown() override {
        for (const std::string& name : Names())
            ::unlink((m_Dir + "/" + name).c_str());
        ::rmdir(m_Dir.c_str());
    }
    std::string Path(const std::string& name) const { return m_Dir + "/" + name; }
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        if (DIR* d = ::opendir(m_Dir.c_str())) {
            while (dirent* e = ::readdir(d))
                if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
                    names.push_back(e->d_name);
            ::closedir(d);
        }
        std::sort(names.begin(), names.end());
        return names;
    }
    static std::string Contents(const std::string& path) { return vq5::test::ReadFile(path); }
    static void Put(const std::string& path, const std::string& text) { vq5::test::WriteFile(path, text); }
    std::string m_Dir;
};

TEST_F(TextFile, ReadsARegularFile) {
    Put(Path("a.conf"), "Key=1\n");
    std::string text, error;
    EXPECT_EQ(ReadTextFile(Path("a.conf"), text, error), ReadFileResult::Read);
    EXPECT_EQ(text, "Key=1\n");
    EXPECT_EQ(ReadTextFile(Path("none"), text, error), ReadFileResult::Missing);
}

// What is not a regular file is refused without being waited on or read whole.
TEST_F(TextFile, RefusesWhatIsNotARegularFileOrTooLarge) {
    ASSERT_EQ(::mkfifo(Path("fifo").c_str(), 0600), 0);
    Put(Path("big"), std::string(kMaxTextFile + 1, 'k'));
    struct Row {
        std::string path;
        std::string message;
    };
    const std::vector<Row> rows = {
        {"/dev/zero", "cannot read /dev/zero: not a regular file"},
        {Path("fifo"), "cannot read " + Path("fifo") + ": not a regular file"},
        {m_Dir, "cannot read " + m_Dir + ": not a regular file"},
        {Path("big"), "cannot read " + Path("big") + ": larger than 1 MB"},
    };
    for (const Row& row : rows) {
        std::string text = "unchanged", error;
        EXPECT_EQ(ReadTextFile(row.path, text, error), ReadFileResult::Failed) << row.path;
        EXPECT_EQ(error, row.message);
        EXPECT_EQ(text, "unchanged");
    }
}

// A link planted where a fixed temporary name would be is not followed, the user's own file
// of that name stays, the mode of the file replaced is kept, and nothing is left behind.
TEST_F(TextFile, SaveTouchesNothingButTheFile) {
    Put(Path("victim"), "precious");
    ASSERT_EQ(::symlink(Path("victim").c_str(), Path("out.conf.tmp").c_str()), 0);
    Put(Path("out.conf"), "old");
    ASSERT_EQ(::chmod(Path("out.conf").c_str(), 0600), 0);
    std::string error;
    ASSERT_TRUE(SaveTextFile(Path("out.conf"), "new\n", error)) << error;
    EXPECT_EQ(Contents(Path("out.conf")), "new\n");
    EXPECT_EQ(Contents(Path("victim")), "precious");
    struct stat st {};
    ASSERT_EQ(::lstat(Path("out.conf").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    ASSERT_EQ(::lstat(Path("out.conf.tmp").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(Names(), (std::vector<std::string>{"out.conf", "out.conf.tmp", "victim"}));
}

TEST_F(TextFile, NewFileTakesTheUmask) {
    const mode_t old = ::umask(027);
    std::string error;
    const bool saved = SaveTextFile(Path("fresh"), "x", error);
    ::umask(old);
    ASSERT_TRUE(saved) << error;
    struct stat st {};
    ASSERT_EQ(::stat(Path("fresh").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST_F(TextFile, SaveRefusesATargetThatIsNoRegularFileAndLeavesNothing) {
    ASSERT_EQ(::mkfifo(Path("fifo").c_str(), 0600), 0);
    std::string error;
    EXPECT_FALSE(SaveTextFile(Path("fifo"), "x", error));
    EXPECT_EQ(error, "cannot write " + Path("fifo") + ": not a regular file");
    EXPECT_FALSE(SaveTextFile(Path("no-such-folder/out"), "x", error));
    EXPECT_EQ(Names(), std::vector<std::string>{"fifo"});
}

} // namespace
} // namespace vq5
