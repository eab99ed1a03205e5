// The main dialog conventions every tool shares: menus of each style, the About entry in the
// Help menu and in the context menu, tooltips from the string table, expert mode, the debug
// and exit commands, notifications on the GUI thread, and the shutdown order (worker stopped,
// front gone, sections written, placement saved once).
#include "ToolDialog.h"

#include "CountingStore.h"
#include "PtyHelpers.h"
#include "EngineFront.h"
#include "VLPEngine.h"
#include "WindowBinding.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QtTest>

#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>

using namespace vq5;
using namespace vq5::qt;
using vq5::test::CCountingStore;

namespace {

constexpr int kWait = 10000;

class CTestDlg : private CToolEngineHolder<CVLPEngine>, public CToolDialog {
public:
    CTestDlg(ToolInfo info, ISettingsStore* store)
        : CToolEngineHolder(store), CToolDialog(std::move(info), m_Engine) {
        SetBodySize(QSize(400, 200));
        placeholder = new QGroupBox(Body());
        placeholder->setObjectName("1000");
        placeholder->setGeometry(10, 10, 200, 150);
        named = new QPushButton("&Go", Body());
        named->setObjectName("go");
        named->setGeometry(250, 10, 80, 24);
        numbered = new QLineEdit(Body());
        numbered->setProperty("vq5Id", 1046);
        numbered->setGeometry(250, 40, 80, 24);
        plain = new QPushButton("x", Body());
        plain->setObjectName("plain");
        plain->setGeometry(250, 70, 80, 24);
        Section().BindInt(field, "Field", 5);
        frameGroupsBuiltBeforeTooltips = false;
        Section().BindString(text, "Text", "start");
        created = InitDialog(placeholder);
    }
    ~CTestDlg() override { Shutdown(); }
    using CToolDialog::ApplyToolTips;
    using CToolDialog::Information;
    using CToolDialog::OnManual;
    using CToolDialog::Warning;

    void InitFrameGroups() override {
        // The engine runs already; tooltips come after.
        frameGroupsBuiltBeforeTooltips = Front() != nullptr && named->toolTip().isEmpty();
    }

    void OnNotify(const Notification& n) override {
        notes.push_back(n);
        onGui = onGui && QThread::currentThread() == thread();
    }

    QGroupBox* placeholder;
    QPushButton* named;
    QLineEdit* numbered;
    QPushButton* plain;
    int field = 0;
    std::string text;
    bool created = false;
    bool frameGroupsBuiltBeforeTooltips = false;
    std::vector<Notification> notes;
    bool onGui = true;
};

ToolInfo Info(ToolInfo::Menu menu) {
    ToolInfo i = MakeToolInfo("VQ5WTestTool", "Test Tool", menu, 130);
    i.description = "a tool under test";
    i.tooltips = {{"go", "Starts it"}, {"1046", "A numbered control"}};
    return i;
}

QStringList Texts(const QList<QAction*>& actions) {
    QStringList out;
    for (QAction* a : actions)
        if (!a->isSeparator())
            out << a->text();
    return out;
}

} // namespace

class ToolDialogTests : public QObject {
    Q_OBJECT

    vq5::test::CPty m_Pty; // nobody drives it: the engine opens it and waits for polls
    CCountingStore m_Store;

    void Fresh() {
        m_Store.Replace({});
        m_Store.ResetCounts();
        m_Store.WriteString("VLPIO", "ComPort", m_Pty.Path());
        m_Store.WriteInt("VLPIO", "Timeout", 300);
        m_Store.ResetCounts();
    }

private slots:

    // The last line of a failed open's box: the settings command, or (VQ5WReset, no menu) the
    // settings file and the command line.
    void portOpenAdviceNamesWhereThePortIsSet() {
        ToolInfo withMenu;
        withMenu.menu = ToolInfo::TestStyle;
        QCOMPARE(
            PortOpenAdvice(withMenu, "/x.conf"),
            QString("The link stays down. Choose the port in VQ-5 > Settings, or start the tool again."));
        ToolInfo reset;
        reset.menu = ToolInfo::None;
        const QString text = PortOpenAdvice(reset, "/home/u/.config/Lumark Electronics/VQ5WReset.conf");
        QVERIFY(
            text.contains("ComPort in section [VLPIO] of /home/u/.config/Lumark Electronics/VQ5WReset.conf"));
        QVERIFY(text.contains("vq5 reset --port"));
        QVERIFY(PortOpenAdvice(reset, "").contains("the tool's settings file"));
    }
    void initTestCase() {
        QVERIFY(!m_Pty.Path().empty());
        SetDefaultSettingsStore(&m_Store); // the tool's section uses the default store
    }
    void cleanupTestCase() { SetDefaultSettingsStore(nullptr); }

    void prgStyleMenu() {
        Fresh();
        CTestDlg d(Info(ToolInfo::PrgStyle), &m_Store);
        QVERIFY(d.created);
        QVERIFY(d.MenuBar());
        QCOMPARE(Texts(d.MenuBar()->actions()), (QStringList{"&File", "V&Q-5", "&Help"}));
        const auto menus = d.MenuBar()->actions();
        QCOMPARE(Texts(menus[0]->menu()->actions()), QStringList{"&Exit"});
        QCOMPARE(Texts(menus[1]->menu()->actions()),
                 (QStringList{"&Settings", "&Debug window", "&Link health"}));
        QCOMPARE(Texts(menus[2]->menu()->actions()), (QStringList{"&About", "Save service &report..."}));
        QVERIFY(d.Action(cmdServiceReport));
        QVERIFY(d.Action(cmdSettingsPrg));
        QVERIFY(d.Action(cmdDebugWindow));
        QVERIFY(d.Action(cmdAbout));
        QVERIFY(d.Action(cmdExit));
        QVERIFY(!d.Action(cmdDebug));
        QCOMPARE(d.windowTitle(), QString("Test Tool"));
        QVERIFY(!d.windowIcon().isNull());
        // The packaged icons are built in, by program name.
        QVERIFY(QFile::exists(":/vq5/icons/32/VQ5WReset.png"));
        QVERIFY(QFile::exists(":/vq5/icons/16/VQ5WPrg.png"));
        // The body lies under the menu bar.
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        QVERIFY(d.Body()->geometry().top() >= d.MenuBar()->geometry().bottom());
    }

    void testStyleMenuHasManual() {
        Fresh();
        CTestDlg d(Info(ToolInfo::TestStyle), &m_Store);
        const auto menus = d.MenuBar()->actions();
        QCOMPARE(Texts(menus[1]->menu()->actions()), (QStringList{"&Settings", "&Debug", "&Link health"}));
        QCOMPARE(Texts(menus[2]->menu()->actions()),
                 (QStringList{"&About", "&Manual", "Save service &report..."}));
        QVERIFY(d.Action(cmdSettingsTest));
        QVERIFY(d.Action(cmdDebug));
    }

    // What every tool shares; the rest stays as the defaults.
    void makeToolInfoFillsTheSharedFields() {
        const ToolInfo i = MakeToolInfo("VQ5WInfo", "VQ-5 Information", ToolInfo::TestStyle, 132);
        QCOMPARE(i.program, QString("VQ5WInfo"));
        QCOMPARE(i.caption, QString("VQ-5 Information"));
        QCOMPARE(i.placement, QString("dlgWnd-1.8"));
        QCOMPARE(i.aboutItem, QString("&About VQ5WInfo..."));
        QCOMPARE(i.menu, ToolInfo::TestStyle);
        QCOMPARE(i.aboutBitmap, 132);
        QCOMPARE(i.description, QString("VQ-5 Information"));
        QVERIFY(!i.shortAbout);
        QVERIFY(!i.serviceHistory);
        QVERIFY(i.tooltips.isEmpty());
    }

    // The tools' warning and information boxes go to the message hook when one is set.
    void messageBoxesGoToTheHook() {
        Fresh();
        CTestDlg d(Info(ToolInfo::TestStyle), &m_Store);
        QStringList texts;
        QWidget* on = nullptr;
        CToolDialog::SetMessageHook([&](QWidget* dialog, const QString& text) {
            on = dialog;
            texts << text;
        });
        d.Warning("Out of range", "Save");
        d.Information("No HELP availeble!");
        d.OnManual();
        CToolDialog::SetMessageHook(nullptr);
        QCOMPARE(texts, (QStringList{"Out of range", "No HELP availeble!",
                                     "No manual is installed with VQ5WTestTool."}));
        QCOMPARE(on, static_cast<QWidget*>(&d));
    }

    void noMenu() {
        Fresh();
        CTestDlg d(Info(ToolInfo::None), &m_Store);
        QVERIFY(d.MenuBar() == nullptr);
        QCOMPARE(d.Body()->pos(), QPoint(0, 0));
    }

    void tooltipsFromTheStringTable() {
        Fresh();
        CTestDlg d(Info(ToolInfo::None), &m_Store);
        QCOMPARE(d.named->toolTip(), QString("Starts it"));
        QCOMPARE(d.numbered->toolTip(), QString("A numbered control"));
        QVERIFY(d.plain->toolTip().isEmpty()); // an id without a string: no tooltip
        QVERIFY(d.frameGroupsBuiltBeforeTooltips);
    }

    void expertModeFollowsTheMarkerFile() {
        QTemporaryDir dir;
        const QString old = QDir::currentPath();
        QVERIFY(QDir::setCurrent(dir.path()));
        {
            Fresh();
            CTestDlg d(Info(ToolInfo::None), &m_Store);
            QVERIFY(!d.ExpertMode());
        }
        {
            QFile marker(dir.filePath("VQ5WTestTool.Lumark"));
            QVERIFY(marker.open(QIODevice::WriteOnly)); // empty: the content is not read
            marker.close();
            Fresh();
            CTestDlg d(Info(ToolInfo::None), &m_Store);
            QVERIFY(d.ExpertMode());
        }
        QDir::setCurrent(old);
    }

    void debugCommandTogglesTheLogWindow() {
        for (auto menu : {ToolInfo::PrgStyle, ToolInfo::TestStyle}) {
            Fresh();
            CTestDlg d(Info(menu), &m_Store);
            d.show();
            const int cmd = menu == ToolInfo::PrgStyle ? cmdDebugWindow : cmdDebug;
            d.Action(cmd)->trigger();
            QVERIFY(d.Front()->LogWindow() != nullptr);
            d.Action(cmd)->trigger();
            QTRY_VERIFY_WITH_TIMEOUT(d.Front()->LogWindow() == nullptr, kWait);
        }
    }

    void aboutFromMenuAndContextMenuIsTheSameBox() {
        Fresh();
        CTestDlg d(Info(ToolInfo::PrgStyle), &m_Store);
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        QStringList titles;
        auto closeBox = [&] {
            QTimer::singleShot(30, &d, [&] {
                if (QDialog* box = d.OpenAboutBox()) {
                    titles << box->windowTitle();
                    box->accept();
                }
            });
        };
        closeBox();
        d.Action(cmdAbout)->trigger();
        QString item;
        QTimer::singleShot(30, &d, [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (!menu)
                return;
            item = menu->actions().value(0)->text();
            closeBox();
            menu->actions().value(0)->trigger();
            menu->close();
        });
        QContextMenuEvent ev(QContextMenuEvent::Mouse, QPoint(5, 5), d.mapToGlobal(QPoint(5, 5)));
        QCoreApplication::sendEvent(&d, &ev);
        QTRY_COMPARE_WITH_TIMEOUT(titles.size(), 2, kWait);
        QCOMPARE(titles, (QStringList{"About VQ-5 Tools", "About VQ-5 Tools"}));
        QCOMPARE(item, QString("&About VQ5WTestTool..."));
    }

    void exitClosesTheDialog() {
        Fresh();
        CTestDlg d(Info(ToolInfo::PrgStyle), &m_Store);
        QTimer::singleShot(0, &d, [&] { d.Action(cmdExit)->trigger(); });
        QCOMPARE(d.exec(), int(QDialog::Accepted));
    }

    void notificationsArriveOnTheGuiThread() {
        Fresh();
        CTestDlg d(Info(ToolInfo::None), &m_Store);
        std::thread worker([&] { d.Engine().Notify(nkReceived, 0, "&QIAhello"); });
        worker.join();
        // The worker posts link status changes of its own meanwhile: look for the text.
        auto received = [&](const char* text) {
            return std::count_if(d.notes.begin(), d.notes.end(), [&](const Notification& n) {
                return n.kind == nkReceived && n.text == text;
            });
        };
        QTRY_COMPARE_WITH_TIMEOUT(received("&QIAhello"), 1L, kWait);
        QVERIFY(d.onGui);
        // After the shutdown nothing reaches the dialog any more.
        d.Shutdown();
        d.Engine().Notify(nkReceived, 0, "late");
        QCoreApplication::processEvents();
        QCOMPARE(received("late"), 0L);
    }

    void shutdownStopsWritesAndSavesThePlacementOnce() {
        Fresh();
        {
            CTestDlg d(Info(ToolInfo::None), &m_Store);
            QCOMPARE(d.field, 5);
            QCOMPARE(QString::fromStdString(d.text), QString("start"));
            d.show();
            QVERIFY(QTest::qWaitForWindowExposed(&d));
            d.move(64, 48);
            QTRY_VERIFY_WITH_TIMEOUT(d.Engine().IsRunning(), kWait);
            d.field = 9;
            d.text = "changed";
            d.Action(cmdExit) ? d.Action(cmdExit)->trigger() : d.accept();
            QCOMPARE(m_Store.TotalWrites(), 0); // nothing is written piecemeal
            d.Shutdown();
            QVERIFY(!d.Engine().IsRunning());
            QVERIFY(d.Front() == nullptr);
            QCOMPARE(m_Store.Writes("Settings_V2.3", "Field"), 1);
            QCOMPARE(m_Store.Writes("Settings_V2.3", "dlgWnd-1.8_x1"), 1);
            d.Shutdown(); // a second call does nothing
        }
        // The dialog's destruction does not save the placement again.
        QCOMPARE(m_Store.Writes("Settings_V2.3", "dlgWnd-1.8_x1"), 1);
        QCOMPARE(m_Store.ReadInt("Settings_V2.3", "dlgWnd-1.8_x1").value_or(-1), 64);
        QCOMPARE(m_Store.ReadInt("Settings_V2.3", "dlgWnd-1.8_y1").value_or(-1), 48);
        QCOMPARE(m_Store.ReadInt("Settings_V2.3", "Field").value_or(-1), 9);
        QCOMPARE(QString::fromStdString(m_Store.ReadString("Settings_V2.3", "Text").value_or("")),
                 QString("changed"));
        // The engine's own section went with the engine.
        QCOMPARE(m_Store.Writes("VLPIO", "ComPort"), 1);
        QCOMPARE(m_Store.Writes("VLPIO", "FastBaudRate"), 1);
    }

    void firstStartUsesTheBuiltInPosition() {
        Fresh();
        CTestDlg d(Info(ToolInfo::None), &m_Store);
        // Nothing stored: no placement was applied (the window was not moved).
        QVERIFY(!d.testAttribute(Qt::WA_Moved));
    }
};

QTEST_MAIN(ToolDialogTests)
#include "ToolDialogTests.moc"
