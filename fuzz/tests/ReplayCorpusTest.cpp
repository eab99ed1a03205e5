// Replays every file of fuzz/corpus/<harness>/ through the harness's entry function, so the
// ordinary test run (and its sanitizers) exercises the corpus. A broken rule is recorded and
// reported with the file that broke it.
#include "FuzzHarness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace vq5::fuzz;

namespace {

std::vector<std::string> g_Broken;

void Record(const char* harness, const std::string& what) {
    g_Broken.push_back(std::string(harness) + ": " + what);
}

std::vector<std::uint8_t> ReadAll(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

std::vector<fs::path> FilesIn(const fs::path& dir) {
    std::vector<fs::path> files;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(dir, ec))
        if (e.is_regular_file() && e.path().filename().string()[0] != '.')
            files.push_back(e.path());
    std::sort(files.begin(), files.end());
    return files;
}

// Runs each file; returns how many ran. Broken rules become test failures naming the file.
std::size_t Replay(const HarnessInfo& h, const fs::path& dir) {
    std::size_t ran = 0;
    for (const fs::path& file : FilesIn(dir)) {
        std::vector<std::uint8_t> bytes = ReadAll(file);
        g_Broken.clear();
        SetFailureHandler(&Record);
        h.entry(bytes.empty() ? nullptr : bytes.data(), bytes.size());
        SetFailureHandler(nullptr);
        for (const std::string& b : g_Broken)
            ADD_FAILURE() << file.filename().string() << ": " << b;
        ++ran;
    }
    return ran;
}

class CorpusReplay : public ::testing::TestWithParam<std::string> {};

} // namespace

TEST_P(CorpusReplay, EverySeedKeepsTheRules) {
    const HarnessInfo* h = FindHarness(GetParam());
    ASSERT_NE(h, nullptr);
    if (!h->entry)
        GTEST_SKIP() << "the code this harness drives is not part of this build";
    const fs::path dir = fs::path(VQ5_FUZZ_CORPUS_DIR) / h->name;
    const std::size_t ran = Replay(*h, dir);
    EXPECT_GE(ran, 3u) << "too few seeds in " << dir;
}

TEST_P(CorpusReplay, EmptyAndTinyInputsKeepTheRules) {
    const HarnessInfo* h = FindHarness(GetParam());
    ASSERT_NE(h, nullptr);
    if (!h->entry)
        GTEST_SKIP() << "the code this harness drives is not part of this build";
    g_Broken.clear();
    SetFailureHandler(&Record);
    h->entry(nullptr, 0);
    for (int b = 0; b < 256; ++b) {
        const std::uint8_t one[1] = {static_cast<std::uint8_t>(b)};
        h->entry(one, 1);
        const std::uint8_t two[2] = {static_cast<std::uint8_t>(b), static_cast<std::uint8_t>(255 - b)};
        h->entry(two, 2);
    }
    SetFailureHandler(nullptr);
    for (const std::string& b : g_Broken)
        ADD_FAILURE() << b;
}

std::vector<std::string> HarnessNames() {
    std::vector<std::string> names;
    for (const HarnessInfo& h : Harnesses())
        names.push_back(h.name);
    return names;
}

INSTANTIATE_TEST_SUITE_P(Fuzz, CorpusReplay, ::testing::ValuesIn(HarnessNames()),
                         [](const ::testing::TestParamInfo<std::string>& info) { return info.param; });

TEST(CorpusLayout, EveryCorpusFolderBelongsToAHarness) {
    std::error_code ec;
    std::size_t folders = 0;
    for (const auto& e : fs::directory_iterator(VQ5_FUZZ_CORPUS_DIR, ec)) {
        if (!e.is_directory())
            continue;
        ++folders;
        EXPECT_NE(FindHarness(e.path().filename().string()), nullptr) << e.path();
    }
    EXPECT_EQ(folders, Harnesses().size());
}

TEST(FailureHandler, ABrokenRuleReachesTheHandler) {
    g_Broken.clear();
    SetFailureHandler(&Record);
    VQ5_FUZZ_CHECK("self", 1 + 1 == 3, "arithmetic");
    VQ5_FUZZ_CHECK("self", 1 + 1 == 2, "arithmetic");
    SetFailureHandler(nullptr);
    ASSERT_EQ(g_Broken.size(), 1u);
    EXPECT_NE(g_Broken[0].find("1 + 1 == 3"), std::string::npos);
}
