// The verbs that reach a device leave a visit in the service record; several ports at once;
// vq5 history and vq5 report; a record that cannot be used never stops the work.
#include "DeviceState.h"
#include "Files.h"
#include "RecordText.h"
#include "ServiceRecord.h"
#include "Simulator.h"
#include "ToolProcess.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

namespace {

using vq5::record::CServiceRecord;
using vq5::record::Visit;
using vq5::sim::CSimulator;
using vq5::sim::SimOptions;

using vq5::test::ReadFile;

int Count(const std::string& text, const std::string& what) {
    int n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size()))
        ++n;
    return n;
}

struct Result {
    int rc = -1;
    std::string out; // standard output and error together
};

class RecordVerbTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_Dir = vq5::bench::MakeTempDir("vq5-record-verbs");
        ASSERT_FALSE(m_Dir.empty());
        m_Db = m_Dir + "/record.db";
    }
    void TearDown() override {
        m_Sims.clear();
        vq5::bench::RemoveTree(m_Dir);
    }
    // A simulated device whose identification ends with `name`.
    std::string AddDevice(const std::string& name) {
        SimOptions o;
        o.letter = 'Q';
        o.onboardTraffic = false;
        auto sim = std::make_unique<CSimulator>(o);
        auto state = sim->State();
        state.identText = name;
        sim->SetState(state);
        const std::string path = sim->Start();
        EXPECT_FALSE(path.empty()) << sim->Error();
        m_Sims.push_back(std::move(sim));
        return path;
    }
    Result Vq5(std::vector<std::string> args, std::vector<std::string> env = {}) {
        static int n = 0;
        const std::string out = m_Dir + "/out" + std::to_string(n++);
        env.push_back("XDG_DATA_HOME=" + m_Dir + "/data");
        env.push_back("VQ5_RECORD_DB=" + m_Db);
        vq5::bench::CToolProcess p;
        std::string error;
        Result r;
        if (!p.Start(VQ5_BIN, args, env, out, error)) {
            ADD_FAILURE() << error;
            return r;
        }
        int status = 0;
        EXPECT_TRUE(p.Wait(90000, &status));
        r.rc = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        r.out = ReadFile(out);
        return r;
    }
    std::vector<Visit> Visits(const std::string& where) {
        std::string error;
        auto db = CServiceRecord::Open(where, error);
        EXPECT_TRUE(db) << error;
        return db ? db->List({}, error) : std::vector<Visit>{};
    }
    std::string m_Dir, m_Db;
    std::vector<std::unique_ptr<CSimulator>> m_Sims;
};

TEST_F(RecordVerbTest, ConfigWriteOnEightPortsAtOnceGivesTheTableAndEightVisits) {
    std::vector<std::string> args = {"config", "write"};
    for (int i = 0; i < 8; ++i) {
        args.push_back("--port");
        args.push_back(AddDevice("unit " + std::to_string(i)));
    }
    std::ofstream(m_Dir + "/cfg") << "ConfigID=bench batch 4\nCheckConfigID=1\nFlagReadyToGo=1\n";
    args.push_back(m_Dir + "/cfg");
    const Result r = Vq5(args);
    EXPECT_EQ(r.rc, 0) << r.out;
    EXPECT_NE(r.out.find("PORT"), std::string::npos) << r.out;
    EXPECT_EQ(Count(r.out, "  done  "), 8) << r.out;
    for (int i = 0; i < 8; ++i) {
        EXPECT_NE(r.out.find("VQ-5 (87) unit " + std::to_string(i)), std::string::npos) << r.out;
        EXPECT_EQ(m_Sims[i]->State().identifier, "bench batch 4");
    }
    const auto visits = Visits(m_Db);
    ASSERT_EQ(visits.size(), 8u);
    for (const Visit& v : visits) {
        EXPECT_EQ(v.tool, "vq5 config write");
        EXPECT_EQ(v.outcome, "done");
        EXPECT_EQ(v.configId, "bench batch 4");
        EXPECT_EQ(v.version, "8.7");
        EXPECT_EQ(v.letter, "Q");
        bool took = false;
        for (const auto& i : v.items)
            took = took || (i.kind == vq5::record::kKindWritten && i.value == "&QFG1");
        EXPECT_TRUE(took);
    }
}

// The exit code is the worst of the ports; a port that cannot be used is no visit.
TEST_F(RecordVerbTest, SeveralPortsEndWithTheWorstExitCode) {
    const std::string good = AddDevice("good");
    const Result r = Vq5({"config", "read", "--port", good, "--port", m_Dir + "/no-such-port"});
    EXPECT_EQ(r.rc, 3) << r.out;
    EXPECT_NE(r.out.find("port could not be used"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(good + "\tConfigID=Factory default"), std::string::npos)
        << r.out; // lines carry their port
    const auto visits = Visits(m_Db);
    ASSERT_EQ(visits.size(), 1u);
    EXPECT_EQ(visits[0].identification, "VQ-5 (87) good");
}

// A record that cannot be used: the verb does its work, says so once, and exits 0.
struct BadRecord {
    const char* name;
    std::string (*make)(const std::string& dir);
};

class RecordVerbBadRecordTest : public RecordVerbTest, public ::testing::WithParamInterface<BadRecord> {};

TEST_P(RecordVerbBadRecordTest, WorkGoesOnWithOneMessage) {
    const std::string port = AddDevice("patient");
    m_Db = GetParam().make(m_Dir);
    const Result r = Vq5({"info", "version", "--port", port});
    EXPECT_EQ(r.rc, 0) << r.out;
    EXPECT_NE(r.out.find("Version software\t"), std::string::npos) << r.out;
    EXPECT_EQ(Count(r.out, "Service record not written"), 1) << r.out;
}

INSTANTIATE_TEST_SUITE_P(
    Failures, RecordVerbBadRecordTest,
    ::testing::Values(BadRecord{"FolderIsAFile",
                                [](const std::string& dir) {
                                    std::ofstream(dir + "/file") << "x";
                                    return dir + "/file/record.db";
                                }},
                      BadRecord{"CorruptFile",
                                [](const std::string& dir) {
                                    std::ofstream out(dir + "/bad.db");
                                    for (int i = 0; i < 400; ++i)
                                        out << "garbage, not a database ";
                                    return dir + "/bad.db";
                                }},
                      BadRecord{"ReadOnlyFolder",
                                [](const std::string&) { return std::string("/proc/self/r.db"); }},
                      BadRecord{"StoppedServer",
                                [](const std::string&) {
                                    return std::string("postgresql://vq5@127.0.0.1:1/vq5?connect_timeout=2");
                                }}),
    [](const auto& info) { return std::string(info.param.name); });

// The verbs beyond config, info, reset and report: each leaves one visit with what it read
// and the texts the device took ("{port}" stands for the simulator).
struct VerbVisit {
    const char* name;
    std::vector<std::string> args;
    const char* tool;
    std::vector<vq5::record::VisitItem> mustHave; // among the visit's items; value "*": any
};

class RecordVerbVisitTest : public RecordVerbTest, public ::testing::WithParamInterface<VerbVisit> {};

TEST_P(RecordVerbVisitTest, LeavesItsVisit) {
    const VerbVisit& row = GetParam();
    const std::string port = AddDevice("verb box");
    std::vector<std::string> args = row.args;
    for (std::string& a : args)
        if (a == "{port}")
            a = port;
    const Result r = Vq5(args);
    EXPECT_EQ(r.rc, 0) << r.out;
    const auto visits = Visits(m_Db);
    ASSERT_EQ(visits.size(), 1u) << r.out;
    const Visit& v = visits[0];
    EXPECT_EQ(v.tool, row.tool);
    EXPECT_EQ(v.outcome, "done");
    EXPECT_EQ(v.port, port);
    for (const auto& want : row.mustHave) {
        bool found = false;
        for (const auto& i : v.items)
            found = found || (i.kind == want.kind && i.item == want.item &&
                              (want.value == "*" || i.value == want.value));
        EXPECT_TRUE(found) << want.kind << " " << want.item << "=" << want.value;
    }
}

using vq5::record::kKindConfig;
using vq5::record::kKindInfo;
using vq5::record::kKindWritten;
INSTANTIATE_TEST_SUITE_P(
    Verbs, RecordVerbVisitTest,
    ::testing::Values(VerbVisit{"FilterSave",
                                {"filter", "save", "--port", "{port}", "--window", "9", "--minimal", "4"},
                                "vq5 filter save",
                                {{kKindWritten, "1", "&QKW9"},
                                 {kKindWritten, "2", "&QKM4"},
                                 {kKindConfig, "TransConfigSliderWindow", "9"},
                                 {kKindConfig, "TransConfigSliderMinimal", "4"}}},
                      VerbVisit{"FilterLoad",
                                {"filter", "load", "--port", "{port}"},
                                "vq5 filter load",
                                {{kKindConfig, "TransConfigSliderWindow", "8"},
                                 {kKindConfig, "TransConfigSliderStable", "10"}}},
                      VerbVisit{"Send",
                                {"send", "--port", "{port}", "87>&PFR1", "91>&PFS1"},
                                "vq5 send",
                                {{kKindWritten, "1", "&QFR1"}}},
                      // A text longer than a message is recorded as it went out: cut.
                      VerbVisit{"SendCut",
                                {"send", "--port", "{port}", "&PIA" + std::string(120, 'x')},
                                "vq5 send",
                                {{kKindWritten, "1", "&QIA" + std::string(95, 'x')}}},
                      VerbVisit{"Io",
                                {"io", "--port", "{port}", "--duration", "1.5"},
                                "vq5 io",
                                {{kKindInfo, "Inputs", "*"}, {kKindInfo, "Outputs", "*"}}},
                      VerbVisit{
                          "Velto", {"velto", "--port", "{port}", "--duration", "1.5"}, "vq5 velto", {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(RecordVerbTest, SwitchedOffByTheEnvironmentOrOptionRecordsNothing) {
    const std::string port = AddDevice("quiet");
    Result r = Vq5({"info", "version", "--port", port}, {"VQ5_RECORD=off"});
    EXPECT_EQ(r.rc, 0) << r.out;
    r = Vq5({"info", "version", "--no-record", "--port", port});
    EXPECT_EQ(r.rc, 0) << r.out;
    EXPECT_FALSE(std::filesystem::exists(m_Db));
}

TEST_F(RecordVerbTest, HistoryListsFiltersAndShowsTheChanges) {
    const std::string a = AddDevice("alpha"), b = AddDevice("beta");
    std::ofstream(m_Dir + "/one") << "ConfigID=first, \"quoted\"\nCheckConfigID=1\nFlagReadyToGo=0\n";
    std::ofstream(m_Dir + "/two") << "ConfigID=second\nCheckConfigID=1\nFlagReadyToGo=1\n";
    ASSERT_EQ(Vq5({"config", "write", "--port", a, m_Dir + "/one"}).rc, 0);
    ASSERT_EQ(Vq5({"config", "read", "--port", b, "--out", m_Dir + "/b.txt"}).rc, 0);
    ASSERT_EQ(Vq5({"config", "write", "--port", a, m_Dir + "/two"}).rc, 0);

    Result r = Vq5({"history", "--device", "alpha"});
    EXPECT_EQ(r.rc, 0);
    EXPECT_EQ(Count(r.out, "VQ-5 (87) alpha"), 2) << r.out;
    EXPECT_EQ(Count(r.out, "beta"), 0) << r.out;

    r = Vq5({"history", "--csv"});
    EXPECT_EQ(r.rc, 0);
    EXPECT_EQ(Count(r.out, "\r\n"), 4) << r.out; // header and three visits
    EXPECT_NE(r.out.find("\"first, \"\"quoted\"\"\""), std::string::npos) << r.out;

    r = Vq5({"history", "--json", "--since", "2000-01-01"});
    EXPECT_EQ(r.rc, 0);
    EXPECT_EQ(Count(r.out, "\"tool\":\"vq5 config write\""), 2) << r.out;
    EXPECT_EQ(Count(r.out, "\"tool\":\"vq5 config read\""), 1) << r.out;
    EXPECT_EQ(Vq5({"history", "--since", "2999-01-01"}).out.find("alpha"), std::string::npos);

    const auto visits = Visits(m_Db);
    ASSERT_EQ(visits.size(), 3u);
    r = Vq5({"history", "show", std::to_string(visits[0].id)}); // the second write to alpha
    EXPECT_EQ(r.rc, 0);
    EXPECT_NE(r.out.find("Changes since visit " + std::to_string(visits[2].id)), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("FlagReadyToGo"), std::string::npos);
    EXPECT_NE(r.out.find("0 -> 1"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("&QIAsecond"), std::string::npos) << r.out;

    struct Bad {
        std::vector<std::string> args;
        int rc;
    };
    for (const Bad& bad :
         {Bad{{"history", "--since", "yesterday"}, 2}, Bad{{"history", "--csv", "--json"}, 2},
          Bad{{"history", "show", "x"}, 2}, Bad{{"history", "show", "999999"}, 1},
          Bad{{"history", "--bogus"}, 2}, Bad{{"--db", m_Db}, 2}, Bad{{"--db"}, 2}, Bad{{"--no-record"}, 2}})
        EXPECT_EQ(Vq5(bad.args).rc, bad.rc) << bad.args.back();
}

// The report holds every section and nothing from outside; the record gets its visit.
TEST_F(RecordVerbTest, ReportIsOneSelfContainedFileWithEverySection) {
    const std::string port = AddDevice("report <b>me</b>");
    std::ofstream(m_Dir + "/c") << "ConfigID=before the report\nCheckConfigID=1\n";
    ASSERT_EQ(Vq5({"config", "write", "--port", port, m_Dir + "/c"}).rc, 0);
    const std::string html = m_Dir + "/report.html";
    const Result r = Vq5({"report", "--port", port, "--out", html});
    ASSERT_EQ(r.rc, 0) << r.out;
    const std::string text = ReadFile(html);
    for (const char* id : {"identification", "versions", "revisions", "counters", "flags", "configuration",
                           "link", "log", "history"})
        EXPECT_NE(text.find(std::string("<section id=\"") + id + "\""), std::string::npos) << id;
    EXPECT_NE(text.find("report &lt;b&gt;me&lt;/b&gt;"), std::string::npos); // escaped, never markup
    EXPECT_EQ(text.find("<b>me"), std::string::npos);
    EXPECT_NE(text.find("RCS ID - MAIN"), std::string::npos);
    EXPECT_NE(text.find("reboots="), std::string::npos);
    EXPECT_NE(text.find("before the report"), std::string::npos);
    EXPECT_NE(text.find("CVLP"), std::string::npos);             // log lines
    EXPECT_NE(text.find("<td>polls/s</td>"), std::string::npos); // the link figures of the visit
    EXPECT_EQ(text.find("No link figures were taken"), std::string::npos);
    // The parser's check: every section, no outside reference.
    const int rc = std::system(
        ("python3 '" + std::string(VQ5_CHECK_REPORT) + "' '" + html + "' > '" + m_Dir + "/check.txt' 2>&1")
            .c_str());
    EXPECT_EQ(rc, 0) << ReadFile(m_Dir + "/check.txt");
    const auto visits = Visits(m_Db);
    ASSERT_EQ(visits.size(), 2u);
    EXPECT_EQ(visits[0].tool, "vq5 report");
    EXPECT_EQ(Vq5({"report", "--port", port}).rc, 2);
}

} // namespace
