// A tool's visits to a device go to the service record: a program mode against the simulated
// VQ-5 writes one visit (tool, port, letter, version, identification, what was read and
// written, outcome); the record's switches keep it out; a database that cannot be used is
// told once and the tool goes on working.
#include "ToolDialog.h"

#include "PlainToolDlg.h"
#include "RecordWriter.h"
#include "ServiceHistoryDlg.h"
#include "ServiceRecord.h"
#include "ServiceReport.h"
#include "SettingsStore.h"
#include "Simulator.h"
#include "VLPEngine.h"

#include <QGroupBox>
#include <QLabel>
#include <QTableWidget>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <memory>

using namespace vq5;
using namespace vq5::qt;

namespace {

constexpr int kWait = 10000; // generous: a loaded 2-core machine

class CRecordDlg : public test::CPlainToolDlg {
public:
    CRecordDlg(ISettingsStore* store, const std::string& port) : CPlainToolDlg("record", store, port) {}
    ~CRecordDlg() override { Shutdown(); }
    int exits = 0;
    int idents = 0;

protected:
    // Each visit reads a configuration whose identifier counts the visits; "Mode" never changes.
    void OnNotify(const Notification& n) override {
        if (n.kind == nkIdent && n.value == 1) {
            ++idents;
            RecordRead(record::kKindConfig, "ConfigID", "CFG-" + std::to_string(idents));
            RecordRead(record::kKindConfig, "Mode", "2");
            RecordWrote({"&QIAnew"});
        }
        if (n.kind == nkIdent && n.value == 0)
            ++exits;
    }
};

std::atomic<int> g_Warnings{0}; // the writer reports on its own thread
void CountWarnings(QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (type == QtWarningMsg && text.startsWith("VQ5WPrg: "))
        ++g_Warnings;
}

} // namespace

class ToolRecordTests : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void visitRecorded();
    void switchedOff_data();
    void switchedOff();
    void failingDatabaseToldOnce();
    void historyListsVisitsAndChanges();
    void reportHasHistory();
    void reportWithoutRecord();
    void reportToBadPlace();

private:
    // Runs `visits` program modes (enter, leave) through the dialog; true when each came back.
    bool Visit(CRecordDlg& dlg, int visits);
    std::vector<record::Visit> Stored();

    std::unique_ptr<QTemporaryDir> m_Dir;
    std::unique_ptr<sim::CSimulator> m_Sim;
    std::string m_Port;
    CMemoryStore m_Store;
    QString m_Db;
};

void ToolRecordTests::init() {
    m_Dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_Dir->isValid());
    m_Db = m_Dir->filePath("record.db");
    qputenv("VQ5_RECORD_DB", m_Db.toUtf8());
    qunsetenv("VQ5_RECORD");
    m_Store.Replace({});
    SetDefaultSettingsStore(&m_Store);
    sim::SimOptions o;
    o.versionMajor = 8;
    o.versionMinor = 7;
    o.letter = 'Q';
    m_Sim = std::make_unique<sim::CSimulator>(o);
    m_Port = m_Sim->Start();
    QVERIFY(!m_Port.empty());
}

void ToolRecordTests::cleanup() {
    if (m_Sim)
        m_Sim->Stop();
    m_Sim.reset();
    SetDefaultSettingsStore(nullptr);
    qunsetenv("VQ5_RECORD_DB");
    qunsetenv("VQ5_RECORD");
    m_Dir.reset();
}

bool ToolRecordTests::Visit(CRecordDlg& dlg, int visits) {
    for (int i = 0; i < visits; ++i) {
        const int before = dlg.exits;
        dlg.Engine().EnterProgramMode();
        dlg.Engine().LeaveProgramMode(false);
        if (!QTest::qWaitFor([&] { return dlg.exits > before; }, kWait))
            return false;
    }
    return true;
}

std::vector<record::Visit> ToolRecordTests::Stored() {
    std::string error;
    auto rec = record::CServiceRecord::Open(m_Db.toStdString(), error);
    if (!rec)
        return {};
    return rec->List({}, error);
}

void ToolRecordTests::visitRecorded() {
    {
        CRecordDlg dlg(&m_Store, m_Port);
        QVERIFY(Visit(dlg, 1));
        QVERIFY(!dlg.VisitOpen());
        QVERIFY(dlg.FlushRecord());
    }
    const std::vector<record::Visit> visits = Stored();
    QCOMPARE(visits.size(), std::size_t(1));
    const record::Visit& v = visits.front();
    QCOMPARE(v.tool, std::string("VQ5WPrg"));
    QCOMPARE(v.port, m_Port);
    QCOMPARE(v.letter, std::string("Q"));
    QCOMPARE(v.version, std::string("8.7"));
    QVERIFY(!v.identification.empty());
    QCOMPARE(v.outcome, std::string("done"));
    QCOMPARE(v.configId, std::string("new")); // the written identifier wins over the one read
    const std::vector<record::VisitItem> expected = {{record::kKindConfig, "ConfigID", "CFG-1"},
                                                     {record::kKindConfig, "Mode", "2"},
                                                     {record::kKindWritten, "1", "&QIAnew"}};
    QVERIFY(v.items == expected);
    QVERIFY(v.started <= v.ended);
}

void ToolRecordTests::switchedOff_data() {
    QTest::addColumn<QByteArray>("environment");
    QTest::addColumn<int>("enabledSetting"); // -1: not set
    QTest::addColumn<int>("expected");
    QTest::newRow("default") << QByteArray() << -1 << 2;
    QTest::newRow("setting on") << QByteArray() << 1 << 2;
    QTest::newRow("environment off") << QByteArray("off") << -1 << 0;
    QTest::newRow("environment 0") << QByteArray("0") << 1 << 0;
    QTest::newRow("setting off") << QByteArray() << 0 << 0;
}

void ToolRecordTests::switchedOff() {
    QFETCH(QByteArray, environment);
    QFETCH(int, enabledSetting);
    QFETCH(int, expected);
    if (!environment.isEmpty())
        qputenv("VQ5_RECORD", environment);
    if (enabledSetting >= 0)
        m_Store.WriteInt(record::kSection, record::kKeyEnabled, enabledSetting);
    {
        CRecordDlg dlg(&m_Store, m_Port);
        QVERIFY(Visit(dlg, 2));
        QVERIFY(dlg.FlushRecord());
    }
    if (expected == 0)
        QVERIFY(!QFile::exists(m_Db)); // nothing made when the record is off
    else
        QCOMPARE(int(Stored().size()), expected);
}

void ToolRecordTests::failingDatabaseToldOnce() {
    // A database inside a plain file: its folder cannot be made.
    QFile blocker(m_Dir->filePath("blocker"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    qputenv("VQ5_RECORD_DB", m_Dir->filePath("blocker/record.db").toUtf8());
    g_Warnings = 0;
    QtMessageHandler previous = qInstallMessageHandler(CountWarnings);
    bool visited = false;
    bool flushed = false;
    {
        CRecordDlg dlg(&m_Store, m_Port);
        visited = Visit(dlg, 3); // the tool goes on: every program mode still comes back
        flushed = dlg.FlushRecord();
    }
    qInstallMessageHandler(previous);
    QVERIFY(visited);
    QVERIFY(flushed);
    QCOMPARE(g_Warnings.load(), 1);
}

namespace {
QString ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}
// The report checker: every section there, nothing fetched from outside the file.
void CheckSelfContained(const QString& path) {
    QProcess check;
    check.start("python3", {QStringLiteral(VQ5_SOURCE_DIR "/scripts/check-report.py"), path});
    QVERIFY(check.waitForFinished(kWait));
    QVERIFY2(check.exitCode() == 0, check.readAllStandardOutput().constData());
}
} // namespace

void ToolRecordTests::historyListsVisitsAndChanges() {
    CRecordDlg dlg(&m_Store, m_Port);
    {
        auto none = dlg.MakeServiceHistory(); // no device yet
        QCOMPARE(none->Visits()->rowCount(), 0);
        QVERIFY(none->Note()->text().contains("did not identify"));
    }
    QVERIFY(Visit(dlg, 3));
    auto history = dlg.MakeServiceHistory();
    QTableWidget* visits = history->Visits();
    QCOMPARE(visits->rowCount(), 3);
    QCOMPARE(visits->item(0, 5)->text(), QString("new")); // the configuration identifier written
    QCOMPARE(visits->item(2, 1)->text(), QString("VQ5WPrg"));
    QCOMPARE(history->Changes()->rowCount(), 0);
    // Newest and oldest selected: ConfigID changed from the first visit's to the third's.
    visits->selectRow(0);
    visits->selectRow(2);
    QTableWidget* changes = history->Changes();
    QCOMPARE(changes->rowCount(), 1);
    QCOMPARE(changes->item(0, 0)->text(), QString("ConfigID"));
    QCOMPARE(changes->item(0, 1)->text(), QString("CFG-1"));
    QCOMPARE(changes->item(0, 2)->text(), QString("CFG-3"));
    QVERIFY(changes->item(0, 2)->font().bold());
    // A third selection: no comparison.
    visits->selectRow(1);
    QCOMPARE(changes->rowCount(), 0);
    QVERIFY(history->Note()->text().contains("Select two"));
}

void ToolRecordTests::reportHasHistory() {
    const QString path = m_Dir->filePath("report.html");
    std::string ident;
    {
        CRecordDlg dlg(&m_Store, m_Port);
        QVERIFY(Visit(dlg, 2));
        QString reason;
        QVERIFY2(dlg.SaveServiceReport(path, &reason), qPrintable(reason));
        ident = Stored().front().identification;
    }
    const QString html = ReadAll(path);
    QVERIFY(html.contains(QString::fromStdString(record::HtmlEscape(ident))));
    QVERIFY(html.contains("VQ5WPrg"));
    QCOMPARE(html.count("<td>done</td>"), 2); // both visits in the history
    CheckSelfContained(path);
}

void ToolRecordTests::reportWithoutRecord() {
    qputenv("VQ5_RECORD", "off");
    const QString path = m_Dir->filePath("report.html");
    {
        CRecordDlg dlg(&m_Store, m_Port);
        QVERIFY(Visit(dlg, 1));
        QVERIFY(dlg.SaveServiceReport(path));
    }
    QVERIFY(ReadAll(path).contains("The service record is switched off"));
    CheckSelfContained(path);
}

void ToolRecordTests::reportToBadPlace() {
    CRecordDlg dlg(&m_Store, m_Port);
    QString reason;
    QVERIFY(!dlg.SaveServiceReport(m_Dir->filePath("no/such/folder/report.html"), &reason));
    QVERIFY(!reason.isEmpty());
}

QTEST_MAIN(ToolRecordTests)
#include "ToolRecordTests.moc"
