// VQ5WInfo against the simulated VQ-5 on a pseudo-terminal.
#include "InfoDlg.h"
#include "InfoTable.h"

#include "RecordedVisits.h"
#include "ServiceRecord.h"
#include "SimSuite.h"
#include "Simulator.h"
#include "SettingsStore.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

#include <cstdint>
#include <cstdio>
#include <memory>

using namespace vq5;
using namespace vq5::information;

namespace {

constexpr int kWait = 10000; // generous: a loaded 2-core machine

// Counts the identifications and program-mode exits the engine reports, and the device's
// messages the dialog has handled.
class CTestInfoDlg : public CInfoDlg {
public:
    using CInfoDlg::CInfoDlg;
    int exits = 0;
    int idents = 0;
    std::uint64_t received = 0;

protected:
    void OnNotify(const Notification& n) override {
        CInfoDlg::OnNotify(n);
        if (n.kind == nkIdent)
            (n.value == 0 ? exits : idents)++;
        if (n.kind == nkReceived)
            ++received;
    }
};

// The whole suite runs once per device profile (see VQ5_QTEST_PER_PROFILE).
sim::DeviceProfile g_Profile = sim::DeviceProfile::Default;

struct Rig : test::DialogRig<CTestInfoDlg> {
    bool Start(unsigned major, unsigned minor, int fastBaud = 0, bool traffic = false,
               const sim::DeviceState* state = nullptr) {
        sim::SimOptions o = test::QuietDevice(major, minor, g_Profile);
        o.onboardTraffic = traffic;
        o.onboardPeriodMs = 200;
        return Open(o, fastBaud, true, state);
    }
    // Presses a button and waits until the device has left program mode again and every
    // message it sent has been handled.
    bool Press(std::uint32_t group) {
        const std::size_t before = sim->ExitsTaken();
        dlg->Button(group)->click();
        return Done(before);
    }
    bool Done(std::size_t exitsBefore) {
        return QTest::qWaitFor([&] { return sim->BatchDone(exitsBefore, dlg->received); }, kWait);
    }
    std::vector<ListRow> Rows() const {
        std::vector<ListRow> rows;
        QTreeWidget* list = dlg->List();
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            rows.push_back(
                {list->topLevelItem(i)->text(0).toStdString(), list->topLevelItem(i)->text(1).toStdString()});
        return rows;
    }
};

// What the device takes of a request at version 8.7 with letter Q: gates removed, "91>" rows
// held back.
std::vector<std::string> ExpectedOnWire87(std::uint32_t group, bool expert) {
    std::vector<std::string> out = {"$PRG"};
    for (std::string t : RequestTexts(group, expert)) {
        if (t.rfind("91>", 0) == 0)
            continue;
        while (t.size() > 3 && (t[2] == '>' || t[2] == '<'))
            t = t.substr(3);
        t[1] = 'Q';
        out.push_back(t);
    }
    out.push_back("&QX");
    return out;
}

sim::DeviceState KnownState() {
    sim::DeviceState s = sim::FactoryState(8, 7);
    s.identifier = "Config 12";
    s.datacall[0] = "&P.1";
    s.datacall[1] = "Boot call";
    s.datacall[2] = "";
    s.flags['S'] = true;
    s.flags['D'] = true;
    s.flags['O'] = false;
    s.flags['G'] = true;
    s.reboots = 10;
    s.configInits = 3;
    s.programModeEntries = 254; // the request's own entry makes it 255
    s.window = 8;
    s.minimal = 7;
    s.offsetDigit = 0xC;
    s.stable = 0xA;
    s.copyright = "(c) Lumark";
    s.software = "VQ-5 V8.7";
    for (int i = 0; i < 13; ++i)
        s.revision[i] = "rev " + std::to_string(i);
    return s;
}

} // namespace

class InfoDlgTest : public QObject {
    Q_OBJECT
private slots:
    void listHasItemAndValueColumns();
    void allInfoQueuesTableOrder_data();
    void allInfoQueuesTableOrder();
    void rowsShowTheDeviceState();
    void countersOfAllOnesShowMinusOne();
    void oldDeviceGivesNoFilterRows();
    void versionTwiceAppendsTwice();
    void visitKeepsTheRowsRead();
    void clearEmptiesAndLaterRepliesAppend();
    void fastSpeedSequence();
    void strayTextsFromTheDevice();
    void manualShowsItsMessage();
    void valueTooltipHoldsTheWholeValue();
    void copyTakesTheSelectedRows_data();
    void copyTakesTheSelectedRows();
    void commandLineListsTheSameRows();
};

void InfoDlgTest::listHasItemAndValueColumns() {
    Rig rig;
    QVERIFY(rig.Start(8, 7));
    rig.dlg->show();
    QVERIFY(QTest::qWaitForWindowExposed(rig.dlg.get()));
    QTreeWidget* list = rig.dlg->List();
    QCOMPARE(list->headerItem()->text(0), QStringLiteral("Item"));
    QCOMPARE(list->headerItem()->text(1), QStringLiteral("Value"));
    const int item = ItemColumnWidth(rig.dlg.get());
    QCOMPARE(list->columnWidth(0), item);
    QVERIFY(list->columnWidth(1) >= list->header()->width() - item - 2);
    // The longest labels fit the "Item" column.
    for (const char* label : {"Stadsvervoer CAT1", "Paralelle transp.", "Version software"})
        QVERIFY2(list->fontMetrics().horizontalAdvance(QString::fromLatin1(label)) + 8 <= item, label);
    QCOMPARE(rig.dlg->windowTitle(), QStringLiteral("VQ-5 Information"));
    QCOMPARE(rig.dlg->Button(gAllInfo)->text(), QStringLiteral("All info"));
    QCOMPARE(rig.dlg->Button(gRcsIds)->text(), QStringLiteral("RCS Id's"));
    QCOMPARE(rig.dlg->ClearButton()->text(), QStringLiteral("&Clear"));
    QVERIFY(rig.dlg->ExitButton()->isDefault());
}

void InfoDlgTest::allInfoQueuesTableOrder_data() {
    QTest::addColumn<bool>("expert");
    QTest::newRow("no marker") << false;
    QTest::newRow("marker") << true;
}

void InfoDlgTest::allInfoQueuesTableOrder() {
    QFETCH(bool, expert);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString oldCwd = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir.path()));
    if (expert) {
        QFile marker(dir.filePath(QStringLiteral("VQ5WInfo.Lumark")));
        QVERIFY(marker.open(QIODevice::WriteOnly));
    }
    {
        Rig rig;
        QVERIFY(rig.Start(8, 7));
        QDir::setCurrent(oldCwd);
        QCOMPARE(rig.dlg->ExpertMode(), expert);
        // Hold the worker while the request is queued, to count what was queued.
        rig.dlg->Engine().Stop();
        rig.dlg->Button(gAllInfo)->click();
        QCOMPARE(rig.dlg->Engine().QueueLength(), std::size_t(expert ? 47 : 45)); // + entry and exit
        rig.dlg->Engine().Start();
        QVERIFY(rig.Done(0));
        QCOMPARE(rig.sim->Taken(), ExpectedOnWire87(gAllInfo, expert));
        auto taken = rig.sim->Taken();
        bool hasParallel = std::find(taken.begin(), taken.end(), "&QFV") != taken.end();
        QCOMPARE(hasParallel, expert);
    }
    QDir::setCurrent(oldCwd);
}

void InfoDlgTest::rowsShowTheDeviceState() {
    Rig rig;
    sim::DeviceState state = KnownState();
    QVERIFY(rig.Start(8, 7, 0, false, &state));
    QVERIFY(rig.Press(gAllInfo));
    auto rows = rig.Rows();
    const std::vector<ListRow> head = {
        {"Version config", "Config 12"}, {"Datacall 0", "&P.1"}, {"Datacall 1", "Boot call"},
        // "Datacall 2" is empty: no row
    };
    QVERIFY(rows.size() > 10);
    for (std::size_t i = 0; i < head.size(); ++i)
        QCOMPARE(rows[i], head[i]);
    QCOMPARE(rows[3].item, std::string("All the flags"));
    QCOMPARE(rows[4], (ListRow{"Counters", "reboots=10, config init=3, program mode=255"}));
    QCOMPARE(rows[5], (ListRow{"Copyright", "(c) Lumark"}));
    QCOMPARE(rows[6], (ListRow{"Version software", "VQ-5 V8.7"}));
    QCOMPARE(rows[7].item, std::string("I/O Lines input"));
    QVERIFY(rows[7].value.find_first_not_of("01") == std::string::npos);
    QCOMPARE(rows[8].item, std::string("I/O Lines output"));
    QVERIFY(rows[8].value.find_first_not_of("01") == std::string::npos);
    const char* rcs[13] = {"H",   "MAIN", "CBF", "VTG", "TIM", "CFG", "V24",
                           "EEP", "I2C",  "DBG", "LED", "KEY", "TRP"};
    for (int i = 0; i < 13; ++i)
        QCOMPARE(rows[9 + i], (ListRow{std::string("RCS ID - ") + rcs[i], "rev " + std::to_string(i)}));
    const std::vector<ListRow> tail = {
        {"StreekVetag", "Flag: On"},        {"LijnNrTabel", "Flag: Off"},
        {"DienstNrMax79", "Flag: On"},      {"Bit19GpKey", "Flag: Off"},
        {"DatacallLijnNr", "Flag: Off"},    {"DatacallAtBoot", "Flag: Off"},
        {"DatacallGpKey", "Flag: Off"},     {"OpenbaarVetag", "Flag: Off"},
        {"Programmer", "Flag: Off"},        {"ClearConfig", "Flag: Off"},
        {"TestOnReboot", "Flag: Off"},      {"Ready-To-Go", "Flag: On"},
        {"DoorLussen", "Flag: Off"},        {"Transp. Window", "Constant: 8"},
        {"Transp. Minimal", "Constant: 7"}, {"Transp. Offset", "Constant: C"},
        {"Transp. Stable", "Constant: A"},
    };
    QCOMPARE(rows.size(), 22u + tail.size());
    for (std::size_t i = 0; i < tail.size(); ++i)
        QCOMPARE(rows[22 + i], tail[i]);
    for (const auto& r : rows) {
        QVERIFY(r.item != "Niet weergeven");
        QVERIFY(r.value.find("VQ-5 (87)") == std::string::npos); // the identification
    }
}

void InfoDlgTest::countersOfAllOnesShowMinusOne() {
    Rig rig;
    sim::DeviceState state = KnownState();
    state.reboots = 0xFFFFFFFFu;
    state.programModeEntries = 0xFFFFFFFEu;
    QVERIFY(rig.Start(8, 7, 0, false, &state));
    QVERIFY(rig.Press(gMisc));
    auto rows = rig.Rows();
    QCOMPARE(rows.size(), 4u);
    QCOMPARE(rows[1], (ListRow{"Counters", "reboots=-1, config init=3, program mode=-1"}));
}

void InfoDlgTest::oldDeviceGivesNoFilterRows() {
    Rig rig;
    QVERIFY(rig.Start(7, 1));
    QVERIFY(rig.Press(gAllInfo));
    auto rows = rig.Rows();
    QVERIFY(!rows.empty());
    for (const auto& r : rows)
        QVERIFY2(r.item.rfind("Transp.", 0) != 0, r.item.c_str());
    // "70>" lets the LED, KEY and TRP identifiers through on 7.1.
    QVERIFY(std::find_if(rows.begin(), rows.end(),
                         [](const ListRow& r) { return r.item == "RCS ID - TRP"; }) != rows.end());
    QVERIFY(rig.Press(gVersion));
    auto after = rig.Rows();
    QVERIFY(after.size() - rows.size() <= 3u);
}

void InfoDlgTest::versionTwiceAppendsTwice() {
    Rig rig;
    QVERIFY(rig.Start(8, 7));
    QVERIFY(rig.Press(gVersion));
    QVERIFY(rig.Press(gVersion));
    auto rows = rig.Rows();
    QCOMPARE(rows.size(), 6u);
    QCOMPARE(rows[0].item, std::string("Version config"));
    QCOMPARE(rows[1].item, std::string("Copyright"));
    QCOMPARE(rows[2].item, std::string("Version software"));
    for (int i = 0; i < 3; ++i)
        QCOMPARE(rows[3 + i], rows[i]);
    // The list shows the newest row.
    QTreeWidget* list = rig.dlg->List();
    QCOMPARE(list->topLevelItemCount(), 6);
}

void InfoDlgTest::clearEmptiesAndLaterRepliesAppend() {
    Rig rig;
    QVERIFY(rig.Start(8, 7));
    QVERIFY(rig.Press(gDataCalls));
    QCOMPARE(rig.Rows().size(), 3u);
    rig.dlg->ClearButton()->click();
    QCOMPARE(rig.dlg->List()->topLevelItemCount(), 0);
    QVERIFY(rig.Press(gVersion));
    QCOMPARE(rig.Rows().size(), 3u);
    QCOMPARE(rig.Rows()[0].item, std::string("Version config"));
}

void InfoDlgTest::fastSpeedSequence() {
    Rig rig;
    QVERIFY(rig.Start(8, 7, 3));
    QVERIFY(rig.Press(gVersion));
    QCOMPARE(rig.sim->Taken(), (std::vector<std::string>{"$PRG", "&QS3", "&QIA", "&QIG", "&QIH", "&QX0"}));
    QCOMPARE(rig.Rows().size(), 3u);
}

void InfoDlgTest::strayTextsFromTheDevice() {
    Rig rig;
    QVERIFY(rig.Start(8, 7, 0, true)); // with the on-board traffic ("?", "#GP", "#STOP")
    rig.sim->QueueToPc("&QIF0000000A00000003000000FF");
    rig.sim->QueueToPc("&QIF0000000A000"); // cut short
    rig.sim->QueueToPc("&QPVQ-5 (87) again");
    rig.sim->QueueToPc("&ZKO7"); // another device letter
    rig.sim->QueueToPc("&QIH");  // nothing after the code
    rig.sim->QueueToPc("&QFS1");
    QVERIFY(QTest::qWaitFor([&] { return rig.Rows().size() >= 4; }, kWait));
    QVERIFY(QTest::qWaitFor([&] { return rig.sim->PendingToPc() == 0; }, kWait));
    QVERIFY(vq5::test::WaitMoreExchanges(*rig.sim, 5));
    auto rows = rig.Rows();
    QCOMPARE(rows.size(), 4u);
    QCOMPARE(rows[0], (ListRow{"Counters", "reboots=10, config init=3, program mode=255"}));
    QCOMPARE(rows[1], (ListRow{"Counters", "reboots=10, config init=?, program mode=?"}));
    QCOMPARE(rows[2], (ListRow{"Transp. Offset", "Constant: 7"}));
    QCOMPARE(rows[3], (ListRow{"StreekVetag", "Flag: On"}));
}

void InfoDlgTest::manualShowsItsMessage() {
    Rig rig;
    QVERIFY(rig.Start(8, 7));
    QString shown;
    CInfoDlg::SetMessageHook([&](QWidget*, const QString& text) { shown = text; });
    QAction* manual = rig.dlg->Action(-1);
    QVERIFY(manual);
    QCOMPARE(manual->text(), QStringLiteral("&Manual"));
    manual->trigger();
    CInfoDlg::SetMessageHook({});
    QCOMPARE(shown, QStringLiteral("No HELP availeble!"));
}

void InfoDlgTest::valueTooltipHoldsTheWholeValue() {
    Rig rig;
    QVERIFY(rig.Start(8, 7));
    rig.dlg->show();
    QVERIFY(QTest::qWaitForWindowExposed(rig.dlg.get()));
    QVERIFY(rig.Press(gMisc));
    // As long as a message can be (99 characters), far wider than the "Value" column.
    std::string flags;
    while (flags.size() < 94)
        flags += "0110";
    flags.resize(94);
    rig.sim->QueueToPc("&QIE" + flags + "1");
    QTreeWidget* list = rig.dlg->List();
    QVERIFY(QTest::qWaitFor([&] { return list->topLevelItemCount() == 5; }, kWait));
    // Every row, the device's own "All the flags" among them.
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* it = list->topLevelItem(i);
        QVERIFY(!it->text(1).isEmpty());
        QCOMPARE(it->toolTip(1), it->text(1));
    }
    const QTreeWidgetItem* longRow = list->topLevelItem(4);
    QCOMPARE(longRow->text(0), QStringLiteral("All the flags"));
    const QString whole = QString::fromStdString(flags + "1");
    // The column cannot show it; the tooltip the view gives for the cell holds all of it.
    QVERIFY(list->fontMetrics().horizontalAdvance(whole) > list->columnWidth(1));
    QCOMPARE(list->model()->data(list->model()->index(4, 1), Qt::ToolTipRole).toString(), whole);
}

void InfoDlgTest::copyTakesTheSelectedRows_data() {
    QTest::addColumn<bool>("fromMenu");
    QTest::addColumn<QList<int>>("rows");
    QTest::addColumn<QString>("expected");
    const QString config = QStringLiteral("Version config\tConfig 12\n");
    const QString copyright = QStringLiteral("Copyright\t(c) Lumark\n");
    const QString software = QStringLiteral("Version software\tVQ-5 V8.7\n");
    for (bool menu : {false, true}) {
        const char* how = menu ? "menu" : "ctrl+c";
        QTest::addRow("%s one row", how) << menu << QList<int>{1} << copyright;
        QTest::addRow("%s first and last", how) << menu << QList<int>{2, 0} << config + software;
        QTest::addRow("%s all", how) << menu << QList<int>{0, 1, 2} << config + copyright + software;
        QTest::addRow("%s none", how) << menu << QList<int>{} << QString();
    }
}

void InfoDlgTest::copyTakesTheSelectedRows() {
    QFETCH(bool, fromMenu);
    QFETCH(QList<int>, rows);
    QFETCH(QString, expected);
    Rig rig;
    sim::DeviceState state = KnownState();
    QVERIFY(rig.Start(8, 7, 0, false, &state));
    rig.dlg->show();
    rig.dlg->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(rig.dlg.get()));
    QVERIFY(rig.Press(gVersion));
    QTreeWidget* list = rig.dlg->List();
    QCOMPARE(list->topLevelItemCount(), 3);
    list->clearSelection();
    for (int row : rows)
        list->topLevelItem(row)->setSelected(true);
    list->setFocus();
    QVERIFY(QTest::qWaitFor([&] { return list->hasFocus(); }, kWait));
    const QString before = QStringLiteral("left alone");
    QApplication::clipboard()->setText(before);
    if (fromMenu) {
        // What the list asks for on a right click.
        emit list->customContextMenuRequested(QPoint(5, 5));
        QMenu* menu = list->findChild<QMenu*>();
        QVERIFY(menu);
        QCOMPARE(menu->actions().size(), 1);
        QCOMPARE(menu->actions()[0]->text(), QStringLiteral("Copy"));
        QCOMPARE(menu->actions()[0]->isEnabled(), !rows.isEmpty());
        if (!rows.isEmpty())
            menu->actions()[0]->trigger();
        menu->close();
        QTRY_VERIFY_WITH_TIMEOUT(list->findChild<QMenu*>() == nullptr, kWait);
    } else {
        QTest::keyClick(list, Qt::Key_C, Qt::ControlModifier);
    }
    QCOMPARE(QApplication::clipboard()->text(), rows.isEmpty() ? before : expected);
    QCOMPARE(rig.dlg->SelectedRowsText(), expected);
}

// The command line escapes a backslash and control characters; the rows compared here have
// none. I/O line values follow the simulated clock and are compared by item only.
static std::vector<std::string> Lines(const std::vector<ListRow>& rows) {
    std::vector<std::string> out;
    for (const auto& r : rows)
        out.push_back(r.item + "\t" + (r.item.rfind("I/O Lines", 0) == 0 ? std::string("*") : r.value));
    return out;
}

void InfoDlgTest::commandLineListsTheSameRows() {
#ifndef VQ5_CLI_PATH
    QSKIP("the vq5 command line is not built");
#else
    sim::DeviceState state = KnownState();
    std::vector<std::string> cliLines;
    {
        sim::SimOptions o;
        o.letter = 'Q';
        o.onboardTraffic = false;
        sim::CSimulator device(o);
        device.SetState(state);
        const std::string path = device.Start();
        QVERIFY(!path.empty());
        QProcess vq5;
        vq5.start(QStringLiteral(VQ5_CLI_PATH), {QStringLiteral("info"), QStringLiteral("--port"),
                                                 QString::fromStdString(path), QStringLiteral("all")});
        QVERIFY(vq5.waitForFinished(30000));
        QCOMPARE(vq5.exitCode(), 0);
        const QList<QByteArray> out = vq5.readAllStandardOutput().split('\n');
        std::vector<ListRow> rows;
        for (const QByteArray& line : out) {
            if (line.isEmpty())
                continue;
            const int tab = line.indexOf('\t');
            QVERIFY(tab > 0);
            rows.push_back({line.left(tab).toStdString(), line.mid(tab + 1).toStdString()});
        }
        cliLines = Lines(rows);
        device.Stop();
    }
    Rig rig;
    QVERIFY(rig.Start(8, 7, 0, false, &state));
    QVERIFY(rig.Press(gAllInfo));
    const auto toolLines = Lines(rig.Rows());
    QCOMPARE(toolLines.size(), 39u);
    QCOMPARE(cliLines, toolLines);
#endif
}

// A button's program mode is one visit in the service record, with the rows it read.
void InfoDlgTest::visitKeepsTheRowsRead() {
    QTemporaryDir dir;
    const QString db = dir.filePath("record.db");
    qputenv("VQ5_RECORD_DB", db.toUtf8());
    {
        Rig rig;
        QVERIFY(rig.Start(8, 7));
        QVERIFY(rig.Press(gVersion));
    } // the dialog closed: the visit is handed over and written
    qunsetenv("VQ5_RECORD_DB");
    const auto visits = test::RecordedVisits(db.toStdString());
    QCOMPARE(visits.size(), std::size_t(1));
    const record::Visit& v = visits.front();
    QCOMPARE(v.tool, std::string("VQ5WInfo"));
    QCOMPARE(v.letter, std::string("Q"));
    QCOMPARE(v.version, std::string("8.7"));
    QVERIFY(!v.identification.empty());
    std::vector<std::string> items;
    for (const record::VisitItem& i : v.items) {
        QCOMPARE(i.kind, std::string(record::kKindInfo));
        items.push_back(i.item);
    }
    QCOMPARE(items, (std::vector<std::string>{"Version config", "Copyright", "Version software"}));
    QCOMPARE(v.configId, v.items.front().value); // "Version config" is the configuration identifier
}

VQ5_QTEST_PER_PROFILE(InfoDlgTest, QApplication, g_Profile)
#include "InfoDlgTest.moc"
