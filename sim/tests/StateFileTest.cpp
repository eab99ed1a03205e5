// The device state's text form and file: round trip, damaged files, atomic saving.
#include "DeviceState.h"

#include "CommandSet.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <string>
#include <unistd.h>

using namespace vq5::sim;

namespace {
struct TempDir {
    std::string path;
    TempDir() {
        char tmpl[] = "/tmp/vq5simXXXXXX";
        path = mkdtemp(tmpl);
    }
    ~TempDir() {
        std::string cmd = "rm -rf '" + path + "'";
        (void)!std::system(cmd.c_str());
    }
    int Count() const {
        int n = 0;
        DIR* d = opendir(path.c_str());
        while (dirent* e = readdir(d))
            if (e->d_name[0] != '.')
                ++n;
        closedir(d);
        return n;
    }
};
std::string ReadAll(const std::string& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}
} // namespace

TEST(FactoryState, EveryFlagAndTheOffsetInTheVersionsEncoding) {
    DeviceState s = FactoryState(8, 7);
    EXPECT_EQ(s.flags.size(), vq5::device::Flags().size());
    EXPECT_EQ(s.offsetDigit, 0xCu);                  // 22 ms from 8.2 on
    EXPECT_EQ(FactoryState(8, 1).offsetDigit, 0xEu); // 22 ms before 8.2
    EXPECT_EQ(s.window, 8u);
    EXPECT_EQ(s.datacall[0], "&P.1");
    EXPECT_FALSE(s.revision[12].empty());
}

TEST(StateText, RoundTripKeepsEveryValue) {
    DeviceState s = FactoryState(9, 1);
    s.identifier = "12 mei 2024: bus 7 \\ \"quoted\"";
    s.datacall[1] = std::string("ctl\x01\n\xE1 end", 10);
    s.flags['G'] = true;
    s.flags['2'] = true;
    s.window = 15;
    s.minimal = 1;
    s.offsetDigit = 0;
    s.stable = 10;
    s.reboots = 4000000000u;
    s.configInits = 3;
    s.programModeEntries = 17;
    s.revision[5] = "$Id: cfg.c 1.9 $";
    s.line = 999;
    s.run = 79;
    const std::string text = StateToText(s, 9, 1);
    EXPECT_NE(text.find("identifier=12 mei 2024: bus 7 \\\\ \"quoted\"\n"), std::string::npos);
    EXPECT_NE(text.find("flag.G=1"), std::string::npos);
    EXPECT_NE(text.find("window=F\n"), std::string::npos);
    EXPECT_NE(text.find("offset=0    # 10 ms"), std::string::npos);
    DeviceState back = FactoryState(9, 1);
    int skipped = -1;
    StateFromText(text, back, &skipped);
    EXPECT_EQ(skipped, 0);
    EXPECT_EQ(back, s);
}

TEST(StateText, DamagedLinesAreSkippedAndKeepTheirValues) {
    DeviceState s = FactoryState(8, 7);
    int skipped = 0;
    StateFromText("window=G\nminimal=12\nflag.S=2\nflag.Z=1\nreboots=-1\nline=1000\nnonsense\n=x\nrun=12\r\n"
                  "identifier=ok\\x4\n",
                  s, &skipped);
    EXPECT_EQ(skipped, 8);
    EXPECT_EQ(s.window, 8u);
    EXPECT_EQ(s.minimal, 7u);
    EXPECT_FALSE(s.flags['S']);
    EXPECT_EQ(s.reboots, 0u);
    EXPECT_EQ(s.line, 0);
    EXPECT_EQ(s.run, 12);
    EXPECT_EQ(s.identifier, "ok\\x4"); // a broken escape stays as written
}

TEST(StateFile, SaveIsAtomicAndLoadReadsItBack) {
    TempDir dir;
    const std::string path = dir.path + "/device.state";
    DeviceState s = FactoryState(8, 7);
    s.identifier = "first";
    std::string error;
    ASSERT_TRUE(SaveStateFile(path, s, 8, 7, error)) << error;
    s.identifier = "second";
    ASSERT_TRUE(SaveStateFile(path, s, 8, 7, error)) << error;
    EXPECT_EQ(dir.Count(), 1); // no temporary file is left behind
    EXPECT_NE(ReadAll(path).find("identifier=second\n"), std::string::npos);
    DeviceState back = FactoryState(8, 7);
    ASSERT_TRUE(LoadStateFile(path, back, error)) << error;
    EXPECT_EQ(back.identifier, "second");
}

TEST(StateFile, MissingFileIsFineUnreadableOneIsNot) {
    TempDir dir;
    DeviceState s = FactoryState(8, 7);
    std::string error;
    EXPECT_TRUE(LoadStateFile(dir.path + "/none", s, error));
    EXPECT_FALSE(LoadStateFile(dir.path + "/none", s, error, false));
    EXPECT_FALSE(LoadStateFile(dir.path, s, error)); // a directory
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(SaveStateFile(dir.path + "/no/such/dir/file", s, 8, 7, error));
    EXPECT_NE(error.find("cannot write"), std::string::npos);
}
