// The tool launcher: settings file, environment, output, ending.
#include "ToolProcess.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <sys/stat.h>

using namespace vq5::bench;

namespace {
std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::string Script(const std::string& dir, const std::string& name, const std::string& body) {
    const std::string path = dir + "/" + name;
    std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
    chmod(path.c_str(), 0755);
    return path;
}
} // namespace

TEST(ToolProcess, SettingsFileNamesThePort) {
    const std::string dir = MakeTempDir("vq5-bench-test-");
    ASSERT_FALSE(dir.empty());
    std::string error;
    ASSERT_TRUE(WriteToolSettings(dir, "VQ5WInfo", "/dev/pts/77", error)) << error;
    EXPECT_EQ(ReadFile(dir + "/Lumark Electronics/VQ5WInfo.conf"), "[VLPIO]\nComPort=/dev/pts/77\n");
    RemoveTree(dir);
    EXPECT_FALSE(std::ifstream(dir + "/Lumark Electronics/VQ5WInfo.conf").good());
}

TEST(ToolProcess, EnvironmentAndOutput) {
    const std::string dir = MakeTempDir("vq5-bench-test-");
    ASSERT_FALSE(dir.empty());
    const std::string path = Script(dir, "show", "echo \"x=$VQ5_X p=$QT_QPA_PLATFORM\"; echo err >&2");
    CToolProcess p;
    std::string error;
    ASSERT_TRUE(p.Start(path, {"VQ5_X=1"}, dir + "/out.txt", error)) << error;
    int status = -1;
    ASSERT_TRUE(p.Wait(10000, &status));
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(ReadFile(dir + "/out.txt"), "x=1 p=offscreen\nerr\n");
    RemoveTree(dir);
}

TEST(ToolProcess, TerminateEndsAProgramThatWaits) {
    const std::string dir = MakeTempDir("vq5-bench-test-");
    ASSERT_FALSE(dir.empty());
    const std::string path = Script(dir, "wait", "exec sleep 60");
    CToolProcess p;
    std::string error;
    ASSERT_TRUE(p.Start(path, {}, "", error)) << error;
    EXPECT_TRUE(p.Running());
    EXPECT_FALSE(p.Wait(50));
    EXPECT_TRUE(p.Terminate(10000));
    EXPECT_FALSE(p.Running());
    RemoveTree(dir);
}

TEST(ToolProcess, MissingProgramIsReported) {
    CToolProcess p;
    std::string error;
    EXPECT_FALSE(p.Start("/nonexistent/VQ5WNone", {}, "", error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(p.Running());
}
