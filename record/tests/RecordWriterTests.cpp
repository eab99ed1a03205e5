// The record writer: visits reach the database off the caller's thread; a database that
// cannot be used is reported once and the caller goes on; where the record goes.
#include "RecordTestSupport.h"
#include "RecordWriter.h"
#include "SettingsStore.h"

#include <gtest/gtest.h>

#include <fstream>
#include <mutex>

namespace vq5::record {
namespace {

using test::FreshFolder;

struct Reports {
    std::mutex lock;
    std::vector<std::string> lines;
    ReportFn Fn() {
        return [this](const std::string& m) {
            std::lock_guard<std::mutex> l(lock);
            lines.push_back(m);
        };
    }
};

Visit Some(const std::string& ident) {
    Visit v;
    v.started = v.ended = NowText();
    v.tool = "test";
    v.identification = ident;
    v.outcome = "done";
    v.items = {{kKindConfig, "FlagReadyToGo", "1"}};
    return v;
}

TEST(RecordWriterTest, WritesEveryVisitAndFillsOperatorAndHost) {
    const std::string where = FreshFolder("w") + "/sub/folder/record.db"; // folders are made
    Reports reports;
    {
        CRecordWriter writer({true, where, ""}, reports.Fn());
        for (int i = 0; i < 5; ++i)
            writer.Add(Some("VQ-5 (87) w"));
        ASSERT_TRUE(writer.Flush());
        EXPECT_EQ(writer.Written(), 5u);
    }
    EXPECT_TRUE(reports.lines.empty());
    std::string error;
    auto db = CServiceRecord::Open(where, error);
    ASSERT_TRUE(db) << error;
    const auto all = db->List({}, error);
    ASSERT_EQ(all.size(), 5u);
    EXPECT_FALSE(all[0].operatorName.empty());
    EXPECT_FALSE(all[0].host.empty());
}

// Each way a database can fail: one message naming it, every later visit given up quietly,
// and Add never waits.
struct FailCase {
    const char* name;
    std::string (*make)(); // the database to point at, "" to skip
};

std::string FolderIsAFile() {
    const std::string dir = FreshFolder("f");
    std::ofstream(dir + "/plain") << "x";
    return dir + "/plain/record.db";
}
std::string CorruptFile() {
    const std::string path = FreshFolder("c") + "/record.db";
    std::ofstream out(path, std::ios::binary);
    for (int i = 0; i < 512; ++i)
        out << "this is not a database file ";
    return path;
}
std::string ReadOnlyFolder() {
    const std::string dir = FreshFolder("r");
    std::filesystem::permissions(dir,
                                 std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    std::ofstream probe(dir + "/probe");
    if (!probe)
        return dir + "/record.db";
    // Root writes anyway: a folder of a read-only file system stops it too.
    return std::filesystem::is_directory("/proc/self") ? "/proc/self/record.db" : "";
}
std::string StoppedServer() {
    // Nothing listens on port 1 of this machine.
    return "postgresql://vq5@127.0.0.1:1/vq5?connect_timeout=2";
}

class RecordWriterFailTest : public ::testing::TestWithParam<FailCase> {};

TEST_P(RecordWriterFailTest, ReportsOnceAndGoesOn) {
    const std::string where = GetParam().make();
    if (where.empty())
        GTEST_SKIP() << "no read-only folder can be made for this user";
    Reports reports;
    CRecordWriter writer({true, where, ""}, reports.Fn());
    const auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < 3; ++i)
        writer.Add(Some("VQ-5 (87) fail"));
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(200)); // never waits
    ASSERT_TRUE(writer.Flush(std::chrono::seconds(30)));
    EXPECT_EQ(writer.Failed(), 3u);
    EXPECT_EQ(writer.Written(), 0u);
    ASSERT_EQ(reports.lines.size(), 1u);
    EXPECT_NE(reports.lines[0].find("Service record not written"), std::string::npos) << reports.lines[0];
    EXPECT_NE(reports.lines[0].find("works on"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Failures, RecordWriterFailTest,
                         ::testing::Values(FailCase{"FolderIsAFile", &FolderIsAFile},
                                           FailCase{"CorruptFile", &CorruptFile},
                                           FailCase{"ReadOnlyFolder", &ReadOnlyFolder},
                                           FailCase{"StoppedServer", &StoppedServer}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(RecordWriterTest, SwitchedOffWritesNothing) {
    const std::string where = FreshFolder("o") + "/record.db";
    CRecordWriter writer({false, where, "VQ5_RECORD=off"}, {});
    writer.Add(Some("x"));
    EXPECT_TRUE(writer.Flush());
    EXPECT_FALSE(std::filesystem::exists(where));
}

// Where the record goes: default file, settings, environment, --db; in that order.
struct ConfigCase {
    const char* name;
    int enabledSetting;    // -1 absent
    const char* dbSetting; // nullptr absent
    const char* envRecord; // nullptr unset
    const char* envDb;
    const char* option;
    bool enabled;
    const char* where; // nullptr: the default file
};

class RecordConfigTest : public ::testing::TestWithParam<ConfigCase> {
protected:
    void TearDown() override {
        ::unsetenv("VQ5_RECORD");
        ::unsetenv("VQ5_RECORD_DB");
    }
};

TEST_P(RecordConfigTest, Resolves) {
    const ConfigCase& c = GetParam();
    CMemoryStore store;
    if (c.enabledSetting >= 0)
        store.WriteInt(kSection, kKeyEnabled, c.enabledSetting);
    if (c.dbSetting)
        store.WriteString(kSection, kKeyDatabase, c.dbSetting);
    c.envRecord ? ::setenv("VQ5_RECORD", c.envRecord, 1) : ::unsetenv("VQ5_RECORD");
    c.envDb ? ::setenv("VQ5_RECORD_DB", c.envDb, 1) : ::unsetenv("VQ5_RECORD_DB");
    ::setenv("XDG_DATA_HOME", "/data/home", 1);
    const RecordConfig r = ResolveConfig(&store, c.option);
    EXPECT_EQ(r.enabled, c.enabled);
    EXPECT_EQ(r.where, c.where ? c.where : "/data/home/vq5-tools/service-record.db");
    if (!r.enabled) {
        EXPECT_FALSE(r.off.empty());
    }
}

// The command line's settings file, in the tools' INI form.
TEST_F(RecordConfigTest, ReadsTheServiceRecordSectionOfASettingsFile) {
    ::unsetenv("VQ5_RECORD");
    ::unsetenv("VQ5_RECORD_DB");
    const std::string file = FreshFolder("ini") + "/vq5.conf";
    std::ofstream(file)
        << "[VLPIO]\nEnabled=0\nDatabase=/wrong.db\n[ServiceRecord]\r\nDatabase=/depot.db\r\n";
    RecordConfig r = ResolveConfigFromFile(file);
    EXPECT_TRUE(r.enabled);
    EXPECT_EQ(r.where, "/depot.db");
    std::ofstream(file, std::ios::app) << "Enabled=false\n";
    r = ResolveConfigFromFile(file, "/option.db");
    EXPECT_FALSE(r.enabled);
    EXPECT_EQ(r.where, "/option.db");
    EXPECT_TRUE(ResolveConfigFromFile(file + ".missing").enabled);
}

INSTANTIATE_TEST_SUITE_P(
    Sources, RecordConfigTest,
    ::testing::Values(ConfigCase{"Default", -1, nullptr, nullptr, nullptr, "", true, nullptr},
                      ConfigCase{"SettingOff", 0, nullptr, nullptr, nullptr, "", false, nullptr},
                      ConfigCase{"SettingOn", 1, "/x.db", nullptr, nullptr, "", true, "/x.db"},
                      ConfigCase{"EnvOff", -1, nullptr, "off", nullptr, "", false, nullptr},
                      ConfigCase{"EnvZero", 1, nullptr, "0", nullptr, "", false, nullptr},
                      ConfigCase{"EnvOnKeepsSettingOff", 0, nullptr, "1", nullptr, "", false, nullptr},
                      ConfigCase{"EnvDbOverSetting", -1, "/x.db", nullptr, "postgresql://h/db", "", true,
                                 "postgresql://h/db"},
                      ConfigCase{"OptionOverAll", -1, "/x.db", nullptr, "/y.db", "/z.db", true, "/z.db"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace vq5::record
