// VQ5WVLP's message log: "Copy" and "Save..." on its context menu. The saved file holds the
// rows as the list shows them, byte for byte (UTF-8), "min:sec.xx<TAB>Message" one line per row.
#include "EmuDlg.h"
#include "ShownText.h"
#include "SimSuite.h"

#include "SettingsStore.h"
#include "Simulator.h"

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QMenu>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <cstring>

using namespace vq5;
using namespace vq5::emu;

namespace {

using vq5::test::AtMinute5Second7Ms123;
using vq5::test::ReadFile;
using vq5::test::ShownRows;

using Stores = test::ToolStores;

sim::SimOptions Quiet() {
    sim::SimOptions o;
    o.onboardTraffic = false;
    return o;
}

} // namespace

class EmuLogExportTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        CEmuDlg::SetMessageHook([this](QWidget*, const QString& text) { m_Boxes << text; });
    }
    void cleanupTestCase() {
        CEmuDlg::SetMessageHook(nullptr);
        CEmuDlg::SetClock(nullptr);
    }
    void init() {
        m_Boxes.clear();
        CEmuDlg::SetClock(nullptr);
    }

    void savedFileEqualsTheRowsShown() {
        sim::CSimulator s(Quiet());
        Stores stores(s.Start());
        CEmuDlg dlg(&stores.engine);
        // Real traffic first, then rows with a tab, non-ASCII bytes and no icon digit.
        QTRY_VERIFY_WITH_TIMEOUT(dlg.Log()->model()->rowCount() >= 5, 10000);
        dlg.AddLogLine("1tab\there");
        dlg.AddLogLine(std::string("1caf\xe9 \xff!"));
        dlg.AddLogLine("ERROR: \"P\"");
        dlg.AddLogLine("2");
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("log.txt"));
        // No event is handled between reading the list and writing it: the same rows.
        const QByteArray shown = ShownRows(*dlg.Log()->model());
        QVERIFY(dlg.SaveLogTo(path));
        const QByteArray saved = ReadFile(path);
        QCOMPARE(saved, shown);
        QVERIFY(m_Boxes.isEmpty());

        // One line per row, and the special rows as expected.
        QCOMPARE(saved.count('\n'), dlg.Log()->model()->rowCount());
        const QList<QByteArray> lines = saved.split('\n');
        const int n = dlg.Log()->model()->rowCount();
        QVERIFY(lines[n - 4].endsWith("\ttab\there"));
        QVERIFY(lines[n - 3].endsWith(QByteArray("\tcaf\xc3\xa9 \xc3\xbf!"))); // the bytes as shown: UTF-8
        QVERIFY(lines[n - 2].endsWith("\tERROR: \"P\""));
        QVERIFY(lines[n - 1].endsWith("\t")); // an empty message
        QCOMPARE(lines[n], QByteArray());
        // The time column as the list shows it.
        QVERIFY(QRegularExpression(QStringLiteral("^[ 0-9][0-9]:[0-9]{2}\\.[0-9]{2}\\t"))
                    .match(QString::fromUtf8(lines[0]))
                    .hasMatch());

        // Saving again replaces the file with the rows of now.
        dlg.AddLogLine("0more");
        const QByteArray shown2 = ShownRows(*dlg.Log()->model());
        QVERIFY(dlg.SaveLogTo(path));
        QCOMPARE(ReadFile(path), shown2);
    }

    void rowTextsWithAFixedClock() {
        sim::CSimulator s(Quiet());
        Stores stores(s.Start());
        CEmuDlg dlg(&stores.engine);
        // Wait for the link, then take the log away from the engine's rows.
        QTRY_VERIFY_WITH_TIMEOUT(dlg.Log()->model()->rowCount() >= 1, 10000);
        dlg.LogModel().Clear();
        CEmuDlg::SetClock([] { return AtMinute5Second7Ms123(); });
        dlg.AddLogLine("0Message send: \"$007/012   09:05 XX\"");
        dlg.AddLogLine("1Inquiry: \"?\"");
        CEmuDlg::SetClock(nullptr);
        // No event handled since the clear: exactly these two rows.
        QCOMPARE(dlg.LogRowsText(false), QStringLiteral(" 5:07.12\tMessage send: \"$007/012   09:05 XX\"\n"
                                                        " 5:07.12\tInquiry: \"?\"\n"));
        dlg.Log()->setCurrentIndex(dlg.Log()->model()->index(1, 0));
        QCOMPARE(dlg.LogRowsText(true), QStringLiteral(" 5:07.12\tInquiry: \"?\"\n"));
    }

    void copyTakesTheSelectedRowFromTheMenu() {
        sim::CSimulator s(Quiet());
        Stores stores(s.Start());
        CEmuDlg dlg(&stores.engine);
        dlg.show();
        QTRY_VERIFY_WITH_TIMEOUT(dlg.Log()->model()->rowCount() >= 3, 10000);
        dlg.AddLogLine(std::string("1Userdata: \"\xe4x\ty\""));
        const int row = dlg.Log()->model()->rowCount() - 1;

        // Nothing selected: "Copy" is offered but disabled, "Save..." enabled.
        dlg.Log()->clearSelection();
        QCOMPARE(dlg.LogRowsText(true), QString());
        dlg.ShowLogMenu(QPoint(5, 5));
        QMenu* menu = dlg.Log()->findChild<QMenu*>();
        QVERIFY(menu);
        QCOMPARE(menu->actions().size(), 2);
        QCOMPARE(menu->actions()[0]->text(), QStringLiteral("Copy"));
        QCOMPARE(menu->actions()[1]->text(), QStringLiteral("Save..."));
        QVERIFY(!menu->actions()[0]->isEnabled());
        QVERIFY(menu->actions()[1]->isEnabled());
        menu->close();
        QTRY_VERIFY_WITH_TIMEOUT(dlg.Log()->findChild<QMenu*>() == nullptr, 10000);

        // The row selected: "Copy" puts exactly that row on the clipboard.
        dlg.Log()->setCurrentIndex(dlg.Log()->model()->index(row, 0));
        QCOMPARE(dlg.Log()->selectionModel()->selectedRows().size(), 1);
        const QString expected = QString::fromUtf8(ShownRows(*dlg.Log()->model(), {row}));
        QCOMPARE(expected, dlg.Log()->model()->index(row, 0).data().toString() +
                               QStringLiteral("\tUserdata: \"\u00e4x\ty\"\n"));
        QCOMPARE(dlg.LogRowsText(true), expected);
        QApplication::clipboard()->clear();
        // The context menu is what the list asks for on a right click.
        emit dlg.Log()->customContextMenuRequested(QPoint(5, 5));
        menu = dlg.Log()->findChild<QMenu*>();
        QVERIFY(menu);
        QVERIFY(menu->actions()[0]->isEnabled());
        menu->actions()[0]->trigger();
        QCOMPARE(QApplication::clipboard()->text(), expected);
        menu->close();
    }

    // The log follows new rows while it shows the bottom; scrolled up, it stays put.
    void logFollowsNewRowsOnlyAtTheBottom() {
        sim::CSimulator s(Quiet());
        Stores stores(s.Start());
        CEmuDlg dlg(&stores.engine);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QScrollBar* bar = dlg.Log()->verticalScrollBar();
        auto add = [&](int n) {
            for (int i = 0; i < n; ++i)
                dlg.QueueLogLine("0Message send: \"$123/045   08:56 XX\"");
            dlg.FlushLog();
            QCoreApplication::processEvents();
        };
        add(100);
        QVERIFY(bar->maximum() > 0);
        QCOMPARE(bar->value(), bar->maximum());
        bar->setValue(3);
        add(100);
        QCOMPARE(bar->value(), 3);
        bar->setValue(bar->maximum());
        add(10);
        QCOMPARE(bar->value(), bar->maximum());
    }

    // The rows share their images: a row holds the image's number, the view draws the one
    // icon of that number.
    void rowsShareTheirImages() {
        sim::CSimulator s(Quiet());
        Stores stores(s.Start());
        CEmuDlg dlg(&stores.engine);
        dlg.LogModel().Clear();
        dlg.AddLogLine("0a");
        dlg.AddLogLine("0b");
        dlg.AddLogLine("ERROR: \"P\"");
        const QAbstractItemModel* m = dlg.Log()->model();
        const QIcon first = m->index(0, 0).data(Qt::DecorationRole).value<QIcon>();
        const QIcon second = m->index(1, 0).data(Qt::DecorationRole).value<QIcon>();
        QVERIFY(!first.isNull());
        QCOMPARE(first.cacheKey(), second.cacheKey());
        QVERIFY(m->index(2, 0).data(Qt::DecorationRole).isNull());
        QCOMPARE(m->index(2, 1).data().toString(), QStringLiteral("ERROR: \"P\""));
    }

    void aFailedSaveNamesTheFileAndTheReason() {
        sim::CSimulator s(Quiet());
        Stores stores(s.Start());
        CEmuDlg dlg(&stores.engine);
        dlg.AddLogLine("0x");
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("no/such/folder/log.txt"));
        QVERIFY(!dlg.SaveLogTo(path));
        QCOMPARE(m_Boxes.size(), 1);
        QVERIFY2(m_Boxes[0].contains(QLatin1Char('"') + path + QLatin1Char('"')), qPrintable(m_Boxes[0]));
        QVERIFY2(m_Boxes[0].contains(QString::fromLocal8Bit(std::strerror(ENOENT))), qPrintable(m_Boxes[0]));
        QVERIFY(!QFile::exists(path));

        // A folder in place of the file: no data lost, the reason given.
        m_Boxes.clear();
        QVERIFY(!dlg.SaveLogTo(dir.path()));
        QCOMPARE(m_Boxes.size(), 1);
        QVERIFY2(m_Boxes[0].contains(dir.path()), qPrintable(m_Boxes[0]));
        QVERIFY(QFileInfo(dir.path()).isDir());
    }

private:
    QStringList m_Boxes;
};

QTEST_MAIN(EmuLogExportTest)
#include "test_emu_log_export.moc"
