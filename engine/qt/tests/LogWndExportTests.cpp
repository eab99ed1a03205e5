// The protocol log window's "Copy" and "Save...": the saved file holds the rows as the list
// shows them, byte for byte (UTF-8), "Time<TAB>Message" one line per row; "Copy" takes the
// selected rows; a failed save gives the system's reason.
#include "VLPLogWnd.h"
#include "LogWndRig.h"
#include "MenuChooser.h"
#include "ShownText.h"

#include "ListExport.h"
#include "SettingsStore.h"
#include "VLPEngine.h"

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <cstring>

using namespace vq5;
using namespace vq5::qt;

namespace {

using vq5::test::AtMinute5Second7Ms123;
using vq5::test::ReadFile;
using vq5::test::ShownRows;

} // namespace

class LogWndExportTests : public QObject {
    Q_OBJECT

    vq5::test::CLogWndRig m_Rig;

    std::unique_ptr<CVLPLogWnd> Open() { return m_Rig.Open(); }

private slots:
    void init() { m_Rig.Make(); }
    void cleanup() { m_Rig.Clear(); }

    void savedFileEqualsTheRowsShown() {
        auto wnd = Open();
        m_Rig.engine->Trace(3, "CVLPMsg::TxMessage() = %s", "\"&PIA\"");
        m_Rig.engine->Trace(3, "tab\there");
        m_Rig.engine->Trace(2, "caf\xe9 \xff %d", 7); // bytes above 127 as the list shows them
        m_Rig.engine->Trace(1, "%s", "");
        for (int i = 0; i < 50; ++i)
            m_Rig.engine->Trace(2, "CVLPSlave::StateEngine(), State=%s %d", "sIdle", i);
        wnd->Flush();
        QCOMPARE(wnd->Model().Rows(), std::size_t(54));
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("log.txt"));
        QString reason = QStringLiteral("stale");
        QVERIFY(wnd->SaveTo(path, &reason));
        QCOMPARE(reason, QString());
        const QByteArray saved = ReadFile(path);
        QCOMPARE(saved, ShownRows(wnd->Model()));
        const QList<QByteArray> lines = saved.split('\n');
        QCOMPARE(lines.size(), 55); // 54 rows and the empty rest after the last line end
        QVERIFY(lines[0].endsWith("\tCVLPMsg::TxMessage() = \"&PIA\""));
        QVERIFY(lines[1].endsWith("\ttab\there"));
        QVERIFY(lines[2].endsWith(QByteArray("\tcaf\xc3\xa9 \xc3\xbf 7")));
        QVERIFY(lines[3].endsWith("\t"));
        // The list shows the same character for the byte (not a replacement character).
        QCOMPARE(wnd->Model().MessageText(2), QStringLiteral("caf\u00e9 \u00ff 7"));
    }

    void copyTakesTheSelectedRowsAndSaveAllOfThem() {
        auto wnd = Open();
        wnd->SetClock([] { return AtMinute5Second7Ms123(); });
        m_Rig.engine->Trace(3, "first");
        m_Rig.engine->Trace(3, "second\tcolumn");
        m_Rig.engine->Trace(3, "third \xe4");
        wnd->Flush();
        auto* sel = wnd->List()->selectionModel();
        sel->select(wnd->Model().index(2, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        sel->select(wnd->Model().index(0, 1), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        const QString expected = QStringLiteral(" 5:07.12\tfirst\n 5:07.12\tthird \u00e4\n");
        QCOMPARE(wnd->RowsText(true), expected);
        QCOMPARE(wnd->RowsText(true).toUtf8(), ShownRows(wnd->Model(), {0, 2}));
        QCOMPARE(wnd->RowsText(false),
                 QStringLiteral(" 5:07.12\tfirst\n 5:07.12\tsecond\tcolumn\n 5:07.12\tthird \u00e4\n"));
    }

    void theContextMenuOffersCopyAndSave() {
        auto wnd = Open();
        wnd->show();
        m_Rig.engine->Trace(3, "one");
        m_Rig.engine->Trace(3, "two");
        wnd->Flush();
        wnd->List()->selectionModel()->select(wnd->Model().index(1, 0),
                                              QItemSelectionModel::Select | QItemSelectionModel::Rows);
        QApplication::clipboard()->clear();
        // Read the menu, choose "Copy".
        const auto seen =
            vq5::test::ChooseInMenu(0, [&] { emit wnd->List()->customContextMenuRequested(QPoint(5, 5)); });
        QCOMPARE(seen.menus, 1);
        QCOMPARE(seen.texts, QStringList({QStringLiteral("Copy"), QStringLiteral("Save..."),
                                          QStringLiteral("Record to file...")}));
        QVERIFY(seen.chosenOn);
        QCOMPARE(QApplication::clipboard()->text(), wnd->RowsText(true));
        QVERIFY(QApplication::clipboard()->text().endsWith(QStringLiteral("\ttwo\n")));
    }

    void aFailedSaveGivesTheReason() {
        auto wnd = Open();
        m_Rig.engine->Trace(3, "x");
        wnd->Flush();
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("no/such/folder/log.txt"));
        QString reason;
        QVERIFY(!wnd->SaveTo(path, &reason));
        QCOMPARE(reason, QString::fromLocal8Bit(std::strerror(ENOENT)));
        QVERIFY(!wnd->SaveTo(dir.path()));
        // What the box says.
        QVERIFY(SaveFailedText(path, reason).contains(path));
        QVERIFY(SaveFailedText(path, reason).contains(reason));
    }
};

QTEST_MAIN(LogWndExportTests)
#include "LogWndExportTests.moc"
