// The protocol log window while a tool's main dialog runs through exec(), the way RunTool
// runs it: mouse and keyboard events go through the window system layer (where modality
// blocks windows), and the log window's Stop, a level check box, its scroll bar, the
// keyboard and "Save..." of its context menu must all work.
#define QTEST_QPA_MOUSE_HANDLING // clicks go where a person's go: through the window system
#include "ToolDialog.h"

#include "CountingStore.h"
#include "EngineFront.h"
#include "PtyHelpers.h"
#include "VLPEngine.h"
#include "VLPLogWnd.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <functional>

using namespace vq5;
using namespace vq5::qt;
using vq5::test::CCountingStore;

namespace {

class CExecDlg : private CToolEngineHolder<CVLPEngine>, public CToolDialog {
public:
    explicit CExecDlg(ISettingsStore* store) : CToolEngineHolder(store), CToolDialog(Info(), m_Engine) {
        SetBodySize(QSize(300, 160));
        auto* placeholder = new QGroupBox(Body());
        placeholder->setObjectName("1000");
        placeholder->setGeometry(10, 10, 280, 140);
        m_Engine.m_ComPort = m_Pty.Path(); // a line nobody drives: no box, no traffic
        InitDialog(placeholder);
    }
    ~CExecDlg() override { Shutdown(); }

private:
    test::CPty m_Pty;
    static ToolInfo Info() {
        ToolInfo info;
        info.program = "VQ5WTest";
        info.caption = "exec";
        info.placement = "dlgWnd-1.8";
        info.menu = ToolInfo::TestStyle;
        return info;
    }
};

// Runs `body` from inside the dialog's exec(), then closes the dialog whatever happened.
void RunInsideExec(QDialog& dlg, const std::function<void()>& body) {
    bool ran = false;
    // Whatever a failed step leaves open (a menu, a file dialog, a box) is closed in the end,
    // so a failure is reported instead of waiting for ever.
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [&] {
        if (QWidget* popup = QApplication::activePopupWidget())
            popup->close();
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* d = qobject_cast<QDialog*>(w); d && d != &dlg && d->isVisible())
                d->reject();
        watchdog.start(1000);
    });
    watchdog.start(60000);
    QTimer::singleShot(0, &dlg, [&] {
        struct Closer {
            QDialog& d;
            ~Closer() { d.reject(); }
        } closer{dlg};
        ran = true;
        body();
    });
    dlg.exec();
    QVERIFY(ran);
}

} // namespace

class LogWindowInputTests : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QApplication::setEffectEnabled(Qt::UI_AnimateMenu, false); }

    void logWindowTakesInputWhileDialogRuns() {
        CCountingStore store;
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString savePath = dir.filePath("log.txt");
        CExecDlg dlg(&store);
        RunInsideExec(dlg, [&] {
            dlg.Front()->ShowLogWindow();
            CVLPLogWnd* wnd = dlg.Front()->LogWindow();
            QVERIFY(wnd);
            QVERIFY(QTest::qWaitForWindowExposed(wnd));
            wnd->SetLevelMask(14);
            for (int i = 0; i < 300; ++i)
                wnd->AddLine(3, "line " + std::to_string(i));
            QVERIFY(QTest::qWaitFor([&] { return wnd->Model().Rows() >= 300; }));

            // Stop: the button reads "Start" and lines are no longer taken.
            QTest::mouseClick(wnd->StartStopButton(), Qt::LeftButton);
            QVERIFY(QTest::qWaitFor([&] { return wnd->Paused(); }));
            QCOMPARE(wnd->StartStopButton()->text(), QString("Start"));
            QTest::mouseClick(wnd->StartStopButton(), Qt::LeftButton);
            QVERIFY(QTest::qWaitFor([&] { return !wnd->Paused(); }));

            // A level check box: "I/O" switches level 0 on.
            QCheckBox* io = wnd->LevelBox(0);
            QTest::mouseClick(io, Qt::LeftButton, {}, QPoint(6, io->height() / 2));
            QVERIFY(QTest::qWaitFor([&] { return (wnd->LevelMask() & 1) != 0; }));
            QVERIFY(io->isChecked());

            // Scrolling: the list follows the newest row; a click on the scroll bar above
            // its handle pages up, the keyboard goes to the top.
            QScrollBar* bar = wnd->List()->verticalScrollBar();
            QVERIFY(QTest::qWaitFor([&] { return bar->maximum() > 0 && bar->value() == bar->maximum(); }));
            const int bottom = bar->value();
            QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(bar->width() / 2, bar->width() + 2));
            QVERIFY(QTest::qWaitFor([&] { return bar->value() < bottom; }));
            wnd->List()->setFocus();
            QTest::keyClick(wnd->windowHandle(), Qt::Key_Home, Qt::ControlModifier);
            QVERIFY(QTest::qWaitFor([&] { return bar->value() == 0; }));

            // "Save..." of the list's context menu writes the rows.
            bool saved = false;
            QTimer poll;
            poll.setInterval(20);
            QObject::connect(&poll, &QTimer::timeout, [&] {
                if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
                    for (QAction* a : menu->actions())
                        if (a->text() == "Save...")
                            menu->setActiveAction(a);
                    QTest::keyClick(menu, Qt::Key_Return);
                    return;
                }
                for (QWidget* w : QApplication::topLevelWidgets()) {
                    auto* fd = qobject_cast<QFileDialog*>(w);
                    if (fd && fd->isVisible()) { // again on the next tick while it stays open
                        saved = true;
                        // The name typed into the file name field, then the "Save" button.
                        if (auto* edit = fd->findChild<QLineEdit*>("fileNameEdit"))
                            edit->setText(savePath);
                        static_cast<QDialog*>(fd)->accept();
                    }
                }
            });
            poll.start();
            const QPoint inList = wnd->List()->viewport()->rect().center();
            QTest::mouseClick(wnd->List()->viewport(), Qt::RightButton, {}, inList);
            QVERIFY(QTest::qWaitFor([&] { return QFile::exists(savePath); }));
            poll.stop();
            QVERIFY(saved);
            QFile f(savePath);
            QVERIFY(f.open(QIODevice::ReadOnly));
            const QByteArray text = f.readAll();
            QVERIFY(text.contains("\tline 0\n"));
            QVERIFY(text.contains("\tline 299\n"));

            // "Exit" closes the log window.
            QTest::mouseClick(wnd->ExitButton(), Qt::LeftButton);
            QVERIFY(QTest::qWaitFor([&] { return dlg.Front()->LogWindow() == nullptr; }));
        });
    }

    void dialogStaysModalTowardItsBoxes() {
        CCountingStore store;
        CExecDlg dlg(&store);
        RunInsideExec(dlg, [&] {
            QCOMPARE(dlg.windowModality(), Qt::WindowModal);
            QVERIFY(dlg.isModal());
            // A box of the dialog blocks the dialog: a click on its Exit action does nothing.
            bool boxSeen = false, dialogStayed = false;
            QTimer poll;
            poll.setInterval(20);
            QObject::connect(&poll, &QTimer::timeout, [&] {
                for (QWidget* w : QApplication::topLevelWidgets())
                    if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) {
                        boxSeen = true;
                        QTest::keyClick(dlg.windowHandle(), Qt::Key_Escape);
                        dialogStayed = dlg.isVisible(); // the Escape did not reach the dialog
                        box->accept();
                    }
            });
            poll.start();
            QMessageBox::information(&dlg, "exec", "box");
            poll.stop();
            QVERIFY(boxSeen);
            QVERIFY(dialogStayed);
        });
    }
};

QTEST_MAIN(LogWindowInputTests)
#include "LogWindowInputTests.moc"
