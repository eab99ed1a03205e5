// The "Settings VQ-5" dialog and EditConnectionSettings: the read time-out check, the port
// box (list, typed names, exact selection), the speed list with index 5, what OK applies
// and in which case the engine restarts, and that the close box changes nothing.
#include "SettingsDlg.h"

#include "EngineFront.h"
#include "NotifyQueue.h"
#include "PtyHelpers.h"
#include "QtTestSupport.h"
#include "SettingsStore.h"
#include "VLPEngine.h"
#include "WindowBinding.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

using namespace vq5;
using namespace vq5::qt;
using namespace vq5::qt::test;
namespace kit = vq5::test; // the device's end of a pseudo-terminal

namespace {

CSettingsDlg* OpenSettings() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* d = qobject_cast<CSettingsDlg*>(w); d != nullptr && d->isVisible())
            return d;
    return nullptr;
}

} // namespace

class SettingsDlgTests : public QObject {
    Q_OBJECT

    CMemoryStore m_Store;
    std::unique_ptr<CVLPEngine> m_Engine;
    QStringList m_Messages;

    std::unique_ptr<CSettingsDlg> Dialog(QStringList ports = {}) {
        auto dlg = std::make_unique<CSettingsDlg>(nullptr, ports);
        dlg->m_ShowMessage = [this](const QString& text) { m_Messages << text; };
        FillSettingsDialog(*dlg, *m_Engine);
        dlg->show();
        return dlg;
    }

private slots:
    void init() {
        m_Store.Replace({});
        m_Messages.clear();
        m_Engine = std::make_unique<CVLPEngine>(&m_Store);
    }
    // Long port names of the machine fit the port box; every label's text fits its label.
    void longPortNamesAndLabelsFit() {
        const QString longName = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
        CSettingsDlg dlg(nullptr, {longName});
        CSettingsDlg plain(nullptr, {});
        QVERIFY(dlg.PortBox()->width() >= dlg.PortBox()->fontMetrics().horizontalAdvance(longName));
        QVERIFY(dlg.width() > plain.width());
        QVERIFY(dlg.rect().contains(dlg.OkButton()->geometry()));
        QVERIFY(dlg.rect().contains(dlg.PortBox()->geometry()));
        QCOMPARE(plain.PortBox()->width(), plain.TimeoutEdit()->width()); // COM1..COM8 fit as before
        const int plainWidth = plain.width();
        // A long name typed earlier (not in the list) fits as well.
        plain.m_ComPort = "/tmp/vq5-sim-demo-folder/a-long-link-name-of-the-simulated-device";
        plain.PutValues();
        QVERIFY(plain.PortBox()->width() >=
                plain.PortBox()->fontMetrics().horizontalAdvance(plain.m_ComPort));
        QVERIFY(plain.rect().contains(plain.OkButton()->geometry()));
        QVERIFY(plain.width() > plainWidth);
        for (QLabel* l : plain.findChildren<QLabel*>())
            if (!l->text().isEmpty())
                QVERIFY2(l->fontMetrics().horizontalAdvance(l->text()) <= l->width(), qPrintable(l->text()));
    }

    void cleanup() { m_Engine.reset(); }

    void dialogLayoutInDialogUnits() {
        auto dlg = Dialog();
        QCOMPARE(dlg->windowTitle(), QStringLiteral("Settings VQ-5"));
        QCOMPARE(dlg->size(), DluSize(dlg.get(), 147, 109));
        QCOMPARE(dlg->OkButton()->geometry(), DluRect(dlg.get(), 86, 88, 54, 14));
        QCOMPARE(dlg->OkButton()->text(), QStringLiteral("OK"));
        QVERIFY(dlg->OkButton()->isDefault());
        QCOMPARE(dlg->TimeoutEdit()->geometry(), DluRect(dlg.get(), 86, 60, 46, 12));
        QCOMPARE(dlg->PortBox()->pos(), DluRect(dlg.get(), 86, 14, 46, 45).topLeft());
        QCOMPARE(dlg->SpeedBox()->pos(), DluRect(dlg.get(), 86, 30, 46, 49).topLeft());
        QStringList titles;
        for (auto* g : dlg->findChildren<QGroupBox*>())
            titles << g->title();
        QCOMPARE(titles, (QStringList{"RS232", ""}));
        QStringList labels;
        for (auto* l : dlg->findChildren<QLabel*>())
            if (!l->text().isEmpty())
                labels << l->text();
        QCOMPARE(labels, (QStringList{"COM Port", "Baudrate", "Read timeout (ms)"}));
        // No Cancel button: OK is the only one.
        QCOMPARE(dlg->findChildren<QPushButton*>().size(), 1);
    }

    void portListHoldsCom1To8AndTheMachinesPortsSorted() {
        auto dlg = Dialog({"/dev/ttyUSB0", "/dev/ttyS10", "/dev/ttyS2", "COM3"});
        QStringList items;
        for (int i = 0; i < dlg->PortBox()->count(); ++i)
            items << dlg->PortBox()->itemText(i);
        QCOMPARE(items, (QStringList{"/dev/ttyS2", "/dev/ttyS10", "/dev/ttyUSB0", "COM1", "COM2", "COM3",
                                     "COM4", "COM5", "COM6", "COM7", "COM8"}));
        QVERIFY(dlg->PortBox()->isEditable());
        QStringList speeds;
        for (int i = 0; i < dlg->SpeedBox()->count(); ++i)
            speeds << dlg->SpeedBox()->itemText(i);
        QCOMPARE(speeds, (QStringList{"1200", "2400", "4800", "9600", "14400"}));
        QVERIFY(!dlg->SpeedBox()->isEditable());
        // The machine's own list names existing character devices only.
        const QStringList machine = MachinePorts();
        for (const QString& p : machine)
            QVERIFY2(p.startsWith(QStringLiteral("/dev/")), qPrintable(p));
        if (QFileInfo::exists(QStringLiteral("/dev/ttyS0"))) // a character device, not a file
            QVERIFY(machine.contains(QStringLiteral("/dev/ttyS0")));
    }

    void showingPutsTheCurrentValues() {
        m_Engine->m_ComPort = "COM2";
        m_Engine->m_Timeout = 1500;
        m_Engine->m_FastBaudRate = 2;
        auto dlg = Dialog();
        QCOMPARE(dlg->PortBox()->currentText(), QStringLiteral("COM2"));
        QCOMPARE(dlg->PortBox()->currentIndex(), dlg->PortBox()->findText("COM2"));
        QCOMPARE(dlg->SpeedBox()->currentText(), QStringLiteral("4800"));
        QCOMPARE(dlg->TimeoutEdit()->text(), QStringLiteral("1500"));
    }

    void timeoutRangeIs200To6000() {
        auto dlg = Dialog();
        struct Case {
            const char* text;
            bool ok;
        } cases[] = {{"199", false},
                     {"200", true},
                     {"6000", true},
                     {"6001", false},
                     {"", false},
                     {"0", false},
                     {"99999999999999999999999", false},
                     {"4294967496", false}};
        for (const Case& c : cases) {
            m_Messages.clear();
            dlg->TimeoutEdit()->setText(QString::fromLatin1(c.text));
            dlg->setResult(-1);
            dlg->OkButton()->click();
            QCOMPARE(dlg->result() == QDialog::Accepted, c.ok);
            if (c.ok) {
                QCOMPARE(dlg->m_Timeout, QString::fromLatin1(c.text).toUInt());
                QVERIFY(m_Messages.isEmpty());
                dlg->show();
            } else {
                QVERIFY2(dlg->isVisible(), c.text); // stays open
                QCOMPARE(m_Messages, QStringList{"Please enter an integer between 200 and 6000."});
                QCOMPARE(dlg->focusWidget(), static_cast<QWidget*>(dlg->TimeoutEdit()));
            }
        }
    }

    void timeoutEditTakesDigitsOnly() {
        auto dlg = Dialog();
        dlg->TimeoutEdit()->clear();
        QTest::keyClicks(dlg->TimeoutEdit(), QStringLiteral("-2a5b0.0"));
        QCOMPARE(dlg->TimeoutEdit()->text(), QStringLiteral("2500"));
    }

    void samePortDoesNotRestart() {
        kit::CPty pty;
        m_Engine->m_ComPort = pty.Path();
        auto dlg = Dialog();
        dlg->TimeoutEdit()->setText("3000");
        dlg->OkButton()->click();
        QCOMPARE(dlg->result(), int(QDialog::Accepted));
        QVERIFY(!ApplyConnectionSettings(*m_Engine, *dlg));
        QVERIFY(!m_Engine->IsRunning()); // Start was not called
        QCOMPARE(m_Engine->m_ComPort, pty.Path());
        QCOMPARE(m_Engine->m_Timeout.load(), 3000u);
    }

    void portNameComparesExactly() {
        m_Engine->m_ComPort = "com1"; // not "COM1": shown as typed, kept as it is
        auto dlg = Dialog();
        QCOMPARE(dlg->PortBox()->currentText(), QStringLiteral("com1"));
        QCOMPARE(dlg->PortBox()->currentIndex(), -1);
        dlg->OkButton()->click();
        QVERIFY(!ApplyConnectionSettings(*m_Engine, *dlg));
        QCOMPARE(m_Engine->m_ComPort, std::string("com1"));
        QVERIFY(!m_Engine->IsRunning());
    }

    void partialOrEmptyNameIsNotReplacedByAListEntry() {
        for (const char* name : {"COM", "", "/dev/tty"}) {
            m_Engine->m_ComPort = name;
            auto dlg = Dialog({"/dev/ttyS0"});
            QCOMPARE(dlg->PortBox()->currentText(), QString::fromLatin1(name));
            dlg->OkButton()->click();
            QVERIFY2(!ApplyConnectionSettings(*m_Engine, *dlg), name);
            QCOMPARE(m_Engine->m_ComPort, std::string(name));
        }
    }

    void typedPortIsAppliedAndTheEngineMovesToIt() {
        kit::CPty oldPort, newPort;
        CNotifyQueue queue;
        m_Engine->SetNotifySink(&queue);
        m_Engine->m_ComPort = oldPort.Path();
        m_Engine->m_Timeout = 200;
        m_Engine->Start();
        QVERIFY(queue.WaitFor(nkLinkStatus, lsTimeout, 10s)); // running on the old port

        auto dlg = Dialog();
        dlg->PortBox()->setEditText(QString::fromStdString(newPort.Path())); // not in the list
        dlg->OkButton()->click();
        QVERIFY(ApplyConnectionSettings(*m_Engine, *dlg));
        QCOMPARE(m_Engine->m_ComPort, newPort.Path());
        QVERIFY(queue.WaitFor(nkLinkStatus, lsStopped, 10s)); // the old worker ended
        QVERIFY(queue.WaitFor(nkLinkStatus, lsTimeout, 10s)); // the new one reads the new port
        newPort.Write(kit::B({'P', 0xE1, 0x05}));
        QCOMPARE(kit::Hex(newPort.ReadPcFrame()), std::string("00 04"));
        m_Engine->Stop();
        m_Engine->SetNotifySink(nullptr);
    }

    void speedIndexFiveIsShownAsNothingAndKept() {
        m_Engine->m_FastBaudRate = 5;
        auto dlg = Dialog();
        QCOMPARE(dlg->SpeedBox()->currentIndex(), -1);
        dlg->OkButton()->click();
        QCOMPARE(dlg->m_Speed, QString());
        ApplyConnectionSettings(*m_Engine, *dlg);
        QCOMPARE(m_Engine->m_FastBaudRate.load(), 5);

        m_Engine->m_FastBaudRate = 77; // damaged: no selection either, and kept
        auto bad = Dialog();
        QCOMPARE(bad->SpeedBox()->currentIndex(), -1);
        bad->OkButton()->click();
        ApplyConnectionSettings(*m_Engine, *bad);
        QCOMPARE(m_Engine->m_FastBaudRate.load(), 77);
    }

    void chosenSpeedIsApplied() {
        auto dlg = Dialog();
        QCOMPARE(dlg->SpeedBox()->currentText(), QStringLiteral("9600")); // default index 3
        dlg->SpeedBox()->setCurrentIndex(0);
        dlg->OkButton()->click();
        ApplyConnectionSettings(*m_Engine, *dlg);
        QCOMPARE(m_Engine->m_FastBaudRate.load(), 0);
        QCOMPARE(SpeedIndex("14400"), 4);
        QCOMPARE(SpeedIndex("19200"), 5);
        QCOMPARE(SpeedIndex("9600 "), -1);
        QCOMPARE(SpeedName(6), QString());
    }

    void editConnectionSettingsAppliesOnOk() {
        SetDefaultSettingsStore(&m_Store);
        QWidget dialog;
        CEngineFront front(*m_Engine, &dialog);
        bool seen = false;
        WhenReady([] { return OpenSettings() != nullptr; },
                  [&] {
                      CSettingsDlg* d = OpenSettings();
                      seen = d->PortBox()->currentText() == QStringLiteral("COM1") &&
                             d->TimeoutEdit()->text() == QStringLiteral("2000");
                      d->TimeoutEdit()->setText("4500");
                      d->SpeedBox()->setCurrentIndex(1);
                      d->OkButton()->click();
                  });
        CWatchdog dog("EditConnectionSettings with OK");
        QVERIFY(front.EditConnectionSettings(&dialog));
        QVERIFY(seen);
        QCOMPARE(m_Engine->m_Timeout.load(), 4500u);
        QCOMPARE(m_Engine->m_FastBaudRate.load(), 1);
        QCOMPARE(m_Engine->m_ComPort, std::string("COM1"));
        QVERIFY(!m_Engine->IsRunning());
        // Nothing is written to the settings here.
        QVERIFY(!m_Store.Has("VLPIO", "Timeout") || m_Store.ReadInt("VLPIO", "Timeout") != 4500);
        SetDefaultSettingsStore(nullptr);
    }

    void closeBoxAndEscapeChangeNothing() {
        SetDefaultSettingsStore(&m_Store);
        QWidget dialog;
        CEngineFront front(*m_Engine, &dialog);
        m_Engine->m_ComPort = "COM4";
        m_Engine->m_FastBaudRate = 2;
        for (int way = 0; way < 2; ++way) {
            WhenReady([] { return OpenSettings() != nullptr; },
                      [way] {
                          CSettingsDlg* d = OpenSettings();
                          d->TimeoutEdit()->setText("5000");
                          d->PortBox()->setEditText("COM7");
                          d->SpeedBox()->setCurrentIndex(4);
                          if (way == 0)
                              d->close(); // the close box
                          else
                              QTest::keyClick(d, Qt::Key_Escape);
                      });
            CWatchdog dog("EditConnectionSettings closed");
            QVERIFY(!front.EditConnectionSettings(&dialog));
            QCOMPARE(m_Engine->m_Timeout.load(), 2000u);
            QCOMPARE(m_Engine->m_ComPort, std::string("COM4"));
            QCOMPARE(m_Engine->m_FastBaudRate.load(), 2);
            QVERIFY(!m_Engine->IsRunning());
        }
        SetDefaultSettingsStore(nullptr);
    }
};

QTEST_MAIN(SettingsDlgTests)
#include "SettingsDlgTests.moc"
