// VQ5WVLP against the simulated VQ-5 over a pseudo-terminal: display messages at every free
// transmit opportunity, the inquiry answered once, auto increment and its wrap, the message
// log with its icons, the number fields' checks and the About box variant.
#include "EmuDlg.h"

#include "AboutBox.h"
#include "LogIcons.h"
#include "RecordedVisits.h"
#include "ServiceRecord.h"
#include "SettingsStore.h"
#include "SimSuite.h"
#include "Simulator.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <algorithm>
#include <cstdio>

using namespace vq5;
using namespace vq5::emu;

namespace {

constexpr int kWait = 10000; // ms: generous, the machine is loaded

using Stores = test::ToolStores;

// The line and run numbers the tool starts with, as a settings file keeps them.
void StoreNumbers(Stores& stores, int line, int run) {
    stores.tool.WriteInt("Settings_V2.3", "LijnNr", line);
    stores.tool.WriteInt("Settings_V2.3", "RunNr", run);
}

// The whole suite runs once per device profile (see VQ5_QTEST_PER_PROFILE).
sim::DeviceProfile g_Profile = sim::DeviceProfile::Default;

sim::SimOptions Quiet() {
    sim::SimOptions o;
    o.onboardTraffic = false; // the test sends the on-board traffic itself
    o.profile = g_Profile;
    return o;
}

std::vector<std::string> Starting(const std::vector<std::string>& v, char c) {
    std::vector<std::string> out;
    for (const auto& t : v)
        if (!t.empty() && t[0] == c)
            out.push_back(t);
    return out;
}

// The log's rows: icon index (-1 none) and message text.
struct Row {
    int icon;
    QString text;
    bool hasIcon;
};
std::vector<Row> Rows(QTableView* log) {
    std::vector<Row> rows;
    const QAbstractItemModel* m = log->model();
    for (int i = 0; i < m->rowCount(); ++i) {
        const QModelIndex time = m->index(i, 0);
        rows.push_back({time.data(Qt::UserRole).toInt(), m->index(i, 1).data().toString(),
                        !time.data(Qt::DecorationRole).value<QIcon>().isNull()});
    }
    return rows;
}
const Row* Find(const std::vector<Row>& rows, const QString& text) {
    for (const Row& r : rows)
        if (r.text == text)
            return &r;
    return nullptr;
}

} // namespace

class EmuDlgTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        CEmuDlg::SetMessageHook([this](QWidget*, const QString& text) { m_Boxes << text; });
    }
    void init() { m_Boxes.clear(); }

    void displayMessagesAtEveryFreeOpportunity() {
        sim::CSimulator s(Quiet());
        Stores stores(s.Start());
        StoreNumbers(stores, 7, 12);
        const ClockTime before = LocalClock();
        CEmuDlg dlg(&stores.engine);
        QCOMPARE(dlg.LineEdit()->text(), QStringLiteral("7"));
        QCOMPARE(dlg.RunEdit()->text(), QStringLiteral("12"));
        QVERIFY(s.WaitUntil(
            [](const sim::DeviceState&, const sim::LinkCounters& c) { return c.messagesTaken >= 3; },
            std::chrono::milliseconds(kWait)));
        // From here on every poll carries a display message.
        const auto c0 = s.Counters();
        QVERIFY(s.WaitExchanges(c0.exchanges + 30, std::chrono::milliseconds(kWait)));
        const auto c1 = s.Counters();
        const ClockTime after = LocalClock();
        QVERIFY(c1.polls - c0.polls >= 20);
        QVERIFY(c1.messagesTaken - c0.messagesTaken + 1 >= c1.polls - c0.polls);

        const auto taken = s.Taken();
        QVERIFY(taken.size() >= 20);
        const std::string a = DisplayMessage(7, 12, before.hour, before.minute);
        const std::string b = DisplayMessage(7, 12, after.hour, after.minute);
        for (const auto& t : taken) {
            QVERIFY2(t == a || t == b, t.c_str());
            QCOMPARE(t.size(), std::size_t(19));
        }
        QVERIFY(!s.State().programMode); // the emulator never enters program mode

        // Each generated message is logged as sent, with the sent icon.
        QTRY_VERIFY_WITH_TIMEOUT(dlg.Log()->model()->rowCount() >= 20, kWait);
        const auto rows = Rows(dlg.Log());
        int sent = 0;
        for (const Row& r : rows)
            if (r.text.startsWith(QStringLiteral("Message send: \"$007/012   "))) {
                ++sent;
                QCOMPARE(r.icon, int(kIconSent));
                QVERIFY(r.hasIcon);
            }
        QVERIFY(sent >= 15);
        // Engine events with their icon.
        const Row* status = Find(rows, QStringLiteral("Status changed Connected"));
        QVERIFY(status);
        QCOMPARE(status->icon, int(kIconEvent));
        // The time column: minute, second, hundredths.
        QVERIFY(QRegularExpression(QStringLiteral("^[ 0-9][0-9]:[0-9]{2}\\.[0-9]{2}$"))
                    .match(dlg.Log()->model()->index(0, 0).data().toString())
                    .hasMatch());
        QCOMPARE(dlg.Log()->model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("min:sec.xx"));
        QCOMPARE(dlg.Log()->model()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Message"));
        QVERIFY(dlg.Log()->columnWidth(0) >= 70);
        // The time is shown whole, not elided.
        QVERIFY(dlg.Log()->columnWidth(0) >=
                kLogIconSize + dlg.Log()->fontMetrics().horizontalAdvance(QStringLiteral("59:59.99")));
    }

    void inquiryAnsweredOnceWithTheAnnouncement() {
        sim::CSimulator s(Quiet());
        Stores stores(s.Start());
        StoreNumbers(stores, 7, 12);
        CEmuDlg dlg(&stores.engine);
        QVERIFY(s.WaitUntil(
            [](const sim::DeviceState&, const sim::LinkCounters& c) { return c.messagesTaken >= 3; },
            std::chrono::milliseconds(kWait)));
        const std::size_t before = s.Taken().size();
        s.QueueToPc("?");
        QTRY_VERIFY_WITH_TIMEOUT(!Starting(s.Taken(), '=').empty(), kWait);
        QVERIFY(s.WaitExchanges(s.Counters().exchanges + 20, std::chrono::milliseconds(kWait)));
        const auto taken = s.Taken();
        QCOMPARE(Starting(taken, '='), std::vector<std::string>{"=0070120011777777799999"});
        // At the first opportunity after the inquiry: nothing else from the PC came between
        // the device's handing over of "?" and the announcement but at most one message
        // already on its way.
        const auto at = std::find(taken.begin(), taken.end(), "=0070120011777777799999") - taken.begin();
        QVERIFY(std::size_t(at) <= before + 2);
        QTRY_VERIFY_WITH_TIMEOUT(Find(Rows(dlg.Log()), QStringLiteral("Inquiry: \"?\"")), kWait);
        // The answer's row follows the inquiry's once the GUI has taken the engine's report.
        QTRY_VERIFY_WITH_TIMEOUT(
            Find(Rows(dlg.Log()), QStringLiteral("Message send: \"=0070120011777777799999\"")), kWait);
        const auto rows = Rows(dlg.Log());
        QCOMPARE(Find(rows, QStringLiteral("Inquiry: \"?\""))->icon, int(kIconReceived));
        QVERIFY(Find(rows, QStringLiteral("Message send: \"=0070120011777777799999\"")));
        QCOMPARE(dlg.LineEdit()->text(), QStringLiteral("7"));

        // "?X" is logged as an inquiry but not answered.
        s.QueueToPc("?X");
        QTRY_VERIFY_WITH_TIMEOUT(Find(Rows(dlg.Log()), QStringLiteral("Inquiry: \"?X\"")), kWait);
        QVERIFY(s.WaitExchanges(s.Counters().exchanges + 20, std::chrono::milliseconds(kWait)));
        QCOMPARE(Starting(s.Taken(), '=').size(), std::size_t(1));
    }

    // While the link is up is one visit: the announcement once, a display message repeated at
    // every free opportunity once until another message follows.
    void visitHoldsWhatItPlayed() {
        sim::CSimulator s(Quiet());
        Stores stores(s.Start());
        QTemporaryDir dir;
        const std::string db = test::KeepRecordIn(stores.tool, dir.path().toStdString());
        StoreNumbers(stores, 7, 12);
        {
            CEmuDlg dlg(&stores.engine);
            QTRY_VERIFY_WITH_TIMEOUT(dlg.VisitOpen(), kWait);
            s.QueueToPc("?");
            QTRY_VERIFY_WITH_TIMEOUT(!Starting(s.Taken(), '=').empty(), kWait);
            QVERIFY(s.WaitExchanges(s.Counters().exchanges + 20, std::chrono::milliseconds(kWait)));
            QTRY_VERIFY_WITH_TIMEOUT(
                Find(Rows(dlg.Log()), QStringLiteral("Message send: \"=0070120011777777799999\"")), kWait);
        } // closed: the visit ends and is written
        const auto visits = test::RecordedVisits(db);
        QCOMPARE(visits.size(), std::size_t(1));
        QCOMPARE(visits[0].tool, std::string("VQ5WVLP"));
        QCOMPARE(visits[0].outcome, std::string("done"));
        const std::vector<std::string> played = test::WrittenValues(visits[0]);
        QCOMPARE(Starting(played, '='), std::vector<std::string>{"=0070120011777777799999"});
        QVERIFY(!Starting(played, '$').empty());
        for (std::size_t i = 1; i < played.size(); ++i)
            QVERIFY(played[i] != played[i - 1]);
        QVERIFY(played.size() < 10); // not one per opportunity
    }

    void autoIncrementAndTheWrapAt800() {
        sim::CSimulator s(Quiet());
        Stores stores(s.Start());
        StoreNumbers(stores, 799, 1);
        CEmuDlg dlg(&stores.engine);
        QVERIFY(!dlg.AutoIncrCheck()->isChecked());
        dlg.AutoIncrCheck()->click();
        QCOMPARE(dlg.Vl().m_AutoIncrement.load(), 1);
        s.QueueToPc("?");
        QTRY_VERIFY_WITH_TIMEOUT(!Starting(s.Taken(), '=').empty(), kWait);
        QCOMPARE(Starting(s.Taken(), '=').front(), std::string("=7990010011777777799999"));
        QCOMPARE(dlg.Vl().m_LineNumber.load(), 0);
        // The display messages carry the new number; the field shows it after the next
        // received message.
        QTRY_VERIFY_WITH_TIMEOUT(s.Taken().back().rfind("$000/001   ", 0) == 0, kWait);
        s.QueueToPc("#1");
        QTRY_COMPARE_WITH_TIMEOUT(dlg.LineEdit()->text(), QStringLiteral("0"), kWait);
        // Once more: 0 becomes 1.
        s.QueueToPc("?");
        QTRY_COMPARE_WITH_TIMEOUT(Starting(s.Taken(), '=').size(), std::size_t(2), kWait);
        QCOMPARE(Starting(s.Taken(), '=').back(), std::string("=0000010011777777799999"));
        s.QueueToPc("#2");
        QTRY_COMPARE_WITH_TIMEOUT(dlg.LineEdit()->text(), QStringLiteral("1"), kWait);
        dlg.Shutdown();
        QCOMPARE(stores.tool.ReadInt("Settings_V2.3", "LijnNr"), 1);
        QCOMPARE(stores.tool.ReadInt("Settings_V2.3", "AutoIncrement"), 1);
    }

    void logLinesAndIconsByClass() {
        sim::CSimulator s(Quiet());
        Stores stores(s.Start());
        CEmuDlg dlg(&stores.engine);
        for (const char* t : {"#GP", "$123/045 x", "&QII000000", "=123", "PQ", "?!"})
            s.QueueToPc(t);
        QTRY_VERIFY_WITH_TIMEOUT(Find(Rows(dlg.Log()), QStringLiteral("Inquiry: \"?!\"")), kWait);
        const auto rows = Rows(dlg.Log());
        const struct {
            const char* text;
            int icon;
        } want[] = {{"ControlKey: \"#GP\"", kIconReceived},
                    {"ControlDisplay: \"$123/045 x\"", kIconReceived},
                    {"Userdata: \"&QII000000\"", kIconReceived},
                    {"Announcement: \"=123\"", kIconReceived},
                    {"ERROR: \"PQ\"", kIconNone},
                    {"Inquiry: \"?!\"", kIconReceived}};
        int last = -1;
        for (const auto& w : want) {
            const Row* r = Find(rows, QString::fromLatin1(w.text));
            QVERIFY2(r, w.text);
            QCOMPARE(r->icon, w.icon);
            QCOMPARE(r->hasIcon, w.icon >= 0);
            const int at = int(r - rows.data());
            QVERIFY(at > last); // in the order received
            last = at;
        }
        // The newest row is scrolled into view.
        QTRY_VERIFY_WITH_TIMEOUT(dlg.Log()->model()->rowCount() > 0, kWait);
    }

    void longReceivedTextsAreCutToTheLine() {
        sim::CSimulator s(Quiet());
        Stores stores(s.Start());
        CEmuDlg dlg(&stores.engine);
        const std::string text = "#" + std::string(200, 'K');
        s.QueueToPc(text);
        const QString want =
            QStringLiteral("ControlKey: \"#") + QString(80, QLatin1Char('K')) + QStringLiteral("...\"");
        QTRY_VERIFY_WITH_TIMEOUT(Find(Rows(dlg.Log()), want), kWait);
        QCOMPARE(want.size(), 98); // 99 with the icon digit
    }

    void numberFieldsAreCheckedAndCopiedIntoTheEngine() {
        sim::CSimulator s(Quiet());
        Stores stores(s.Start());
        CEmuDlg dlg(&stores.engine);
        QCOMPARE(dlg.Vl().m_LineNumber.load(), 123);
        QCOMPARE(dlg.Vl().m_RunNumber.load(), 45);
        dlg.LineEdit()->selectAll();
        QTest::keyClicks(dlg.LineEdit(), QStringLiteral("42"));
        QCOMPARE(dlg.Vl().m_LineNumber.load(), 42);
        QTRY_VERIFY_WITH_TIMEOUT(s.Taken().size() > 2 && s.Taken().back().rfind("$042/045   ", 0) == 0,
                                 kWait);
        QVERIFY(m_Boxes.isEmpty());

        QTest::keyClicks(dlg.LineEdit(), QStringLiteral("0")); // 420
        QCOMPARE(dlg.Vl().m_LineNumber.load(), 420);
        QTest::keyClicks(dlg.LineEdit(), QStringLiteral("0")); // 4200: refused
        QCOMPARE(m_Boxes, QStringList{QStringLiteral("Please enter an integer between 0 and 999.")});
        QCOMPARE(dlg.Vl().m_LineNumber.load(), 420);
        m_Boxes.clear();
        dlg.LineEdit()->setText(QStringLiteral("420"));
        dlg.RunEdit()->selectAll();
        QTest::keyClicks(dlg.RunEdit(), QStringLiteral("x"));
        QCOMPARE(m_Boxes, QStringList{QStringLiteral("Please enter an integer.")});
        QCOMPARE(dlg.Vl().m_RunNumber.load(), 45);
        m_Boxes.clear();
        dlg.LineEdit()->setText(QStringLiteral("999"));
        dlg.RunEdit()->setText(QStringLiteral("0"));
        QVERIFY(dlg.TakeControlValues());
        QCOMPARE(dlg.Model().m_LijnNr, 999);
        QCOMPARE(dlg.Model().m_RunNr, 0);
    }

    void aboutBoxVariantReadsTheControlsFirst() {
        sim::CSimulator s(Quiet());
        Stores stores(s.Start());
        CEmuDlg dlg(&stores.engine);
        dlg.LineEdit()->setText(QStringLiteral("321"));
        QString version;
        QTimer::singleShot(0, &dlg, [&] {
            QTRY_VERIFY_WITH_TIMEOUT(dlg.OpenAboutBox() != nullptr, kWait);
            auto* box = qobject_cast<qt::CAboutBox*>(dlg.OpenAboutBox());
            if (box && box->Field(1033))
                version = box->Field(1033)->text();
            if (dlg.OpenAboutBox())
                dlg.OpenAboutBox()->reject();
        });
        dlg.Action(qt::cmdAbout)->trigger();
        QCOMPARE(version, QStringLiteral("VQ5 Tool VQ5WVLP, version 1.4"));
        QCOMPARE(dlg.Model().m_LijnNr, 321);
        QCOMPARE(dlg.windowTitle(), QStringLiteral("VQ-5 Windows Velto"));
    }

    void iconStrip() {
        const QImage strip = LogIconStrip().toImage();
        QCOMPARE(strip.size(), QSize(90, 15));
        QCOMPARE(qAlpha(strip.pixel(0, 0)), 0);
        // Image 0 red with a white arrow, 1 yellow, 2 red, 3 blue, 4 yellow, 5 grey.
        auto at = [&](int i, int x, int y) { return QColor(strip.pixel(i * 15 + x, y)); };
        QVERIFY(at(0, 3, 3).red() > 180 && at(0, 3, 3).green() < 80);
        QCOMPARE(at(0, 10, 7), QColor(Qt::white));
        QVERIFY(at(1, 12, 3).red() > 200 && at(1, 12, 3).green() > 180 && at(1, 12, 3).blue() < 60);
        QVERIFY(at(3, 7, 7).blue() > 180 && at(3, 7, 7).red() < 80);
        QVERIFY(at(5, 7, 7).red() == at(5, 7, 7).green() && at(5, 7, 7).green() == at(5, 7, 7).blue());
        QVERIFY(!LogIcon(2).isNull());
        QVERIFY(LogIcon(6).isNull());
        QVERIFY(LogIcon(-1).isNull());
    }

private:
    QStringList m_Boxes;
};

VQ5_QTEST_PER_PROFILE(EmuDlgTest, QApplication, g_Profile)
#include "test_emu_dlg.moc"
