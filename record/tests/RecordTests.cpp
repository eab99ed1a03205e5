// The service record on both databases: schema and migrations, visits in and out, filters,
// the previous visit and its differences, two writers at once.
#include "RecordBackend.h"
#include "RecordText.h"
#include "RecordTestSupport.h"
#include "ServiceRecord.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sqlite3.h>

#include <sys/wait.h>
#include <unistd.h>

#include <thread>

namespace vq5::record {
namespace {

using test::DatabaseFor;
using test::Unique;

Visit MakeVisit(const std::string& ident, const std::string& started, std::vector<VisitItem> items = {}) {
    Visit v;
    v.started = started;
    v.ended = started;
    v.tool = "vq5 config read";
    v.operatorName = "tester";
    v.host = "bench-1";
    v.port = "/dev/pts/7";
    v.letter = "Q";
    v.version = "8.7";
    v.identification = ident;
    v.outcome = "done";
    v.items = std::move(items);
    return v;
}

class RecordTest : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override {
        m_Where = DatabaseFor(GetParam());
        VQ5_NEED_DATABASE(m_Where);
        std::string error;
        m_Db = CServiceRecord::Open(m_Where, error);
        ASSERT_TRUE(m_Db) << error;
    }
    long long Add(const Visit& v) {
        std::string error;
        const long long id = m_Db->Add(v, error);
        EXPECT_GT(id, 0) << error;
        return id;
    }
    std::string m_Where;
    std::unique_ptr<CServiceRecord> m_Db;
};

TEST_P(RecordTest, OpensAtTheCurrentSchemaAndReopensWithoutChange) {
    EXPECT_STREQ(m_Db->Kind(), GetParam().c_str());
    EXPECT_EQ(m_Db->SchemaVersion(), CurrentSchemaVersion());
    std::string error;
    auto again = CServiceRecord::Open(m_Where, error);
    ASSERT_TRUE(again) << error;
    EXPECT_EQ(again->SchemaVersion(), CurrentSchemaVersion());
}

TEST_P(RecordTest, VisitComesBackWithEveryFieldAndItemInOrder) {
    Visit v = MakeVisit(Unique("VQ-5 (87) round"), "2026-03-01T10:00:00.000Z",
                        {{kKindConfig, "ConfigID", "01 March 2026: depot 'Noord'; \"quoted\" ? %_"},
                         {kKindConfig, "FlagStreekvervoer", "1"},
                         {kKindCounters, "Counters", "reboots=10, config init=3, program mode=255"},
                         {kKindInfo, "Version software", "V8.7 \xc3\xa9\xc3\xa9n"},
                         {kKindWritten, "1", "&QFS1"}});
    v.configId = "01 March 2026: depot";
    v.ended = "2026-03-01T10:00:02.500Z";
    const long long id = Add(v);
    std::string error;
    auto back = m_Db->Get(id, error);
    ASSERT_TRUE(back) << error;
    v.id = id;
    EXPECT_EQ(*back, v) << JsonVisit(*back, true) << "\n" << JsonVisit(v, true);
    EXPECT_FALSE(m_Db->Get(id + 1000000, error));
}

TEST_P(RecordTest, ListFiltersByDeviceTextAndStartNewestFirst) {
    const std::string a = Unique("VQ-5 (87) A"), b = Unique("VQ-5 (91) B");
    const long long a1 = Add(MakeVisit(a, "2026-01-10T08:00:00.000Z"));
    const long long a2 = Add(MakeVisit(a, "2026-02-10T08:00:00.000Z"));
    Add(MakeVisit(b, "2026-02-11T08:00:00.000Z"));
    std::string error;
    auto list = m_Db->List({a, "", 0}, error);
    ASSERT_EQ(list.size(), 2u) << error;
    EXPECT_EQ(list[0].id, a2);
    EXPECT_EQ(list[1].id, a1);
    list = m_Db->List({a, "2026-02-01", 0}, error);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].id, a2);
    // '%' and '_' are matched as they stand, not as patterns.
    const std::string pct = Unique("VQ-5 (87) 50%");
    Add(MakeVisit(pct, "2026-02-12T08:00:00.000Z"));
    for (const Visit& v : m_Db->List({"50%", "", 0}, error))
        EXPECT_NE(v.identification.find("50%"), std::string::npos) << v.identification;
    EXPECT_EQ(m_Db->List({pct, "", 0}, error).size(), 1u);
    EXPECT_TRUE(m_Db->List({a + "_", "", 0}, error).empty());
    EXPECT_EQ(m_Db->List({a, "", 1}, error).size(), 1u);
}

TEST_P(RecordTest, PreviousVisitOfTheSameDeviceGivesTheConfigurationChanges) {
    const std::string dev = Unique("VQ-5 (87) prev"), other = Unique("VQ-5 (87) other");
    Add(MakeVisit(dev, "2026-04-01T09:00:00.000Z",
                  {{kKindConfig, "FlagReadyToGo", "0"}, {kKindConfig, "ConfigID", "old"}}));
    const long long second = Add(MakeVisit(dev, "2026-04-02T09:00:00.000Z",
                                           {{kKindConfig, "FlagReadyToGo", "1"},
                                            {kKindConfig, "ConfigID", "old"},
                                            {kKindConfig, "TransConfigSliderWindow", "8"}}));
    Add(MakeVisit(dev, "2026-04-03T09:00:00.000Z", {{kKindInfo, "Counters", "x"}})); // no configuration
    Add(MakeVisit(other, "2026-04-04T09:00:00.000Z", {{kKindConfig, "FlagReadyToGo", "0"}}));
    const long long fifth = Add(MakeVisit(dev, "2026-04-05T09:00:00.000Z",
                                          {{kKindConfig, "FlagReadyToGo", "0"},
                                           {kKindConfig, "ConfigID", "new"},
                                           {kKindConfig, "FlagDoorLussen", "1"}}));
    std::string error;
    auto five = m_Db->Get(fifth, error);
    ASSERT_TRUE(five);
    auto prev = m_Db->Previous(*five, error);
    ASSERT_TRUE(prev) << error;
    EXPECT_EQ(prev->id, second);
    const auto diff = ConfigDifferences(*prev, *five);
    ASSERT_EQ(diff.size(), 3u);
    EXPECT_EQ(diff[0].key, "ConfigID");
    EXPECT_EQ(*diff[0].before, "old");
    EXPECT_EQ(*diff[0].after, "new");
    EXPECT_EQ(diff[1].key, "FlagDoorLussen");
    EXPECT_FALSE(diff[1].before);
    EXPECT_EQ(diff[2].key, "FlagReadyToGo"); // the slider, not read in the later visit, is no change
    auto first = m_Db->List({dev, "", 0}, error).back();
    EXPECT_FALSE(m_Db->Previous(first, error));
}

TEST_P(RecordTest, TwoWritersAtOnceLoseNoVisit) {
    const std::string dev = Unique("VQ-5 (87) busy");
    constexpr int kEach = 60;
    auto writer = [&](int who) {
        std::string error;
        auto db = CServiceRecord::Open(m_Where, error);
        ASSERT_TRUE(db) << error;
        for (int i = 0; i < kEach; ++i) {
            Visit v = MakeVisit(dev, NowText(),
                                {{kKindConfig, "Who", std::to_string(who)}, {kKindWritten, "1", "x"}});
            ASSERT_GT(db->Add(v, error), 0) << error;
        }
    };
    std::thread one(writer, 1), two(writer, 2);
    one.join();
    two.join();
    std::string error;
    const auto all = m_Db->List({dev, "", 0}, error);
    EXPECT_EQ(all.size(), 2u * kEach) << error;
    for (const Visit& v : all)
        EXPECT_EQ(v.items.size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(Databases, RecordTest, ::testing::Values("SQLite", "PostgreSQL"),
                         [](const auto& info) { return info.param; });

// Two processes, as two tools on one laptop, on one SQLite file.
TEST(RecordSqliteTest, TwoProcessesWritingOneFileLoseNoVisit) {
    const std::string where = DatabaseFor("SQLite");
    constexpr int kEach = 80;
    auto write = [&](const char* who) {
        std::string error;
        auto db = CServiceRecord::Open(where, error);
        bool ok = db != nullptr;
        for (int i = 0; ok && i < kEach; ++i)
            ok = db->Add(MakeVisit(who, NowText(), {{kKindWritten, "1", who}}), error) != 0;
        if (!ok)
            std::fprintf(stderr, "%s: %s\n", who, error.c_str());
        return ok;
    };
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0)
        ::_exit(write("tool-two") ? 0 : 1);
    const bool mine = write("tool-one");
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(mine);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    std::string error;
    auto db = CServiceRecord::Open(where, error);
    ASSERT_TRUE(db) << error;
    EXPECT_EQ(db->List({"tool-one", "", 0}, error).size(), unsigned(kEach));
    EXPECT_EQ(db->List({"tool-two", "", 0}, error).size(), unsigned(kEach));
}

// A file of the first schema (tables only) is brought up to date with its visits kept; a
// file of a newer schema is refused with its version named.
TEST(RecordSqliteTest, MigratesAnEarlierSchemaAndRefusesANewerOne) {
    const std::string where = DatabaseFor("SQLite");
    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open(where.c_str(), &raw), SQLITE_OK);
    const char* v1 =
        "CREATE TABLE record_schema (version INTEGER NOT NULL); INSERT INTO record_schema VALUES (1);"
        "CREATE TABLE visit (id INTEGER PRIMARY KEY AUTOINCREMENT, started TEXT NOT NULL, ended TEXT NOT "
        "NULL, "
        "tool TEXT NOT NULL, operator TEXT NOT NULL, host TEXT NOT NULL, port TEXT NOT NULL, letter TEXT NOT "
        "NULL, "
        "version TEXT NOT NULL, identification TEXT NOT NULL, config_id TEXT NOT NULL, outcome TEXT NOT "
        "NULL);"
        "CREATE TABLE visit_item (visit_id BIGINT NOT NULL REFERENCES visit(id) ON DELETE CASCADE, seq "
        "INTEGER "
        "NOT NULL, kind TEXT NOT NULL, item TEXT NOT NULL, value TEXT NOT NULL);"
        "INSERT INTO visit VALUES (1, '2025-01-01T00:00:00.000Z', '2025-01-01T00:00:01.000Z', 'VQ5WPrg', "
        "'op', "
        "'h', 'COM1', 'Q', '8.7', 'VQ-5 (87) kept', 'id', 'done');"
        "INSERT INTO visit_item VALUES (1, 1, 'config', 'FlagReadyToGo', '1');";
    ASSERT_EQ(sqlite3_exec(raw, v1, nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(raw);

    std::string error;
    auto db = CServiceRecord::Open(where, error);
    ASSERT_TRUE(db) << error;
    EXPECT_EQ(db->SchemaVersion(), CurrentSchemaVersion());
    auto kept = db->Get(1, error);
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->identification, "VQ-5 (87) kept");
    ASSERT_EQ(kept->items.size(), 1u);
    db.reset();

    ASSERT_EQ(sqlite3_open(where.c_str(), &raw), SQLITE_OK);
    int indexes = 0;
    sqlite3_exec(
        raw,
        "SELECT count(*) FROM sqlite_master WHERE type = 'index' AND name IN ('visit_device', "
        "'visit_item_visit')",
        [](void* out, int, char** v, char**) {
            *static_cast<int*>(out) = std::atoi(v[0]);
            return 0;
        },
        &indexes, nullptr);
    EXPECT_EQ(indexes, 2);
    ASSERT_EQ(sqlite3_exec(raw, "UPDATE record_schema SET version = 99", nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(raw);
    EXPECT_FALSE(CServiceRecord::Open(where, error));
    EXPECT_NE(error.find("99"), std::string::npos) << error;
}

} // namespace
} // namespace vq5::record
