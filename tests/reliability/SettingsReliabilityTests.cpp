// Damaged settings in the Qt shell: a file QSettings cannot parse is kept aside and the values
// it still gives are carried on; the log window's level mask and window placement from a
// damaged file; a session end closes a box that stands in front of the main dialog.
#include "QtSettingsStore.h"
#include "SettingsStore.h"
#include "ToolApp.h"
#include "VLPEngine.h"
#include "VLPLogWnd.h"
#include "WindowBinding.h"

#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

using namespace vq5;
using namespace vq5::qt;

namespace {

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

bool WriteAll(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return f.write(bytes) == bytes.size();
}

QStringList CorruptCopies(const QDir& dir, const QString& name) {
    return dir.entryList({name + ".corrupt-*"}, QDir::Files);
}

// A file with a section header that never closes: QSettings reports FormatError for it.
const QByteArray kDamaged =
    "[VLPIO]\nComPort=/dev/ttyUSB3\nTimeout=777\n[Settings_V2.3\nLijnNr=12\n\x01\x02garbage\n";

} // namespace

class SettingsReliabilityTests : public QObject {
    Q_OBJECT
private slots:
    void damagedFileIsKeptAsideAndItsReadableValuesCarriedOn() {
        QTemporaryDir dir;
        const QString file = dir.filePath("VQ5WTool.conf");
        QVERIFY(WriteAll(file, kDamaged));
        {
            // QSettings alone reports the error (on a copy: it caches what it parsed per file).
            const QString copy = dir.filePath("copy.conf");
            QVERIFY(WriteAll(copy, kDamaged));
            QSettings plain(copy, QSettings::IniFormat);
            plain.allKeys();
            QCOMPARE(plain.status(), QSettings::FormatError);
        }
        QString kept;
        {
            auto store = CQtSettingsStore::FromFileKeepingDamage(file, &kept);
            QVERIFY(!kept.isEmpty());
            QVERIFY2(kept.startsWith(file + ".corrupt-"), qPrintable(kept));
            QCOMPARE(ReadAll(kept), kDamaged); // byte for byte as it was
            QCOMPARE(store->ReadString("VLPIO", "ComPort").value_or(""), std::string("/dev/ttyUSB3"));
            QCOMPARE(store->ReadInt("VLPIO", "Timeout").value_or(0), 777);
            QVERIFY(!store->ReadOnly());
            store->WriteInt("VLPIO", "FastBaudRate", 3);
        }
        // The new file is whole and holds the carried values and the new one.
        QSettings fresh(file, QSettings::IniFormat);
        fresh.allKeys();
        QCOMPARE(fresh.status(), QSettings::NoError);
        QCOMPARE(fresh.value("VLPIO/ComPort").toString(), QStringLiteral("/dev/ttyUSB3"));
        QCOMPARE(fresh.value("VLPIO/Timeout").toInt(), 777);
        QCOMPARE(fresh.value("VLPIO/FastBaudRate").toInt(), 3);
        QCOMPARE(ReadAll(kept), kDamaged);
        QCOMPARE(CorruptCopies(QDir(dir.path()), "VQ5WTool.conf").size(), 1);
    }

    void wholeFileIsLeftAsItIs() {
        QTemporaryDir dir;
        const QString file = dir.filePath("VQ5WTool.conf");
        const QByteArray whole = "[VLPIO]\nComPort=/dev/ttyUSB0\nTimeout=abc\nFastBaudRate=99\n";
        QVERIFY(WriteAll(file, whole));
        QString kept = QStringLiteral("not touched");
        {
            auto store = CQtSettingsStore::FromFileKeepingDamage(file, &kept);
            QVERIFY(kept.isEmpty());
            // Wrong values are the readers' business: they read as given or as absent.
            QVERIFY(!store->ReadInt("VLPIO", "Timeout").has_value());
            QCOMPARE(store->ReadInt("VLPIO", "FastBaudRate").value_or(0), 99);
        }
        QVERIFY(CorruptCopies(QDir(dir.path()), "VQ5WTool.conf").isEmpty());
        QCOMPARE(ReadAll(file), whole);
    }

    void everyDamagedStartKeepsItsOwnCopy() {
        QTemporaryDir dir;
        const QString file = dir.filePath("VQ5WTool.conf");
        QStringList kept;
        for (int i = 0; i < 3; ++i) {
            const QByteArray bytes = kDamaged + QByteArray::number(i) + "\n";
            QVERIFY(WriteAll(file, bytes));
            QString k;
            auto store = CQtSettingsStore::FromFileKeepingDamage(file, &k);
            QVERIFY(!k.isEmpty());
            QVERIFY(!kept.contains(k));
            QCOMPARE(ReadAll(k), bytes);
            kept << k;
        }
        QCOMPARE(CorruptCopies(QDir(dir.path()), "VQ5WTool.conf").size(), 3);
    }

    void logWindowLevelWithBitsBeyondTheFourLevelsFiltersByItsFourBits() {
        // A mask with more bits than the four levels is kept as stored (-1 means "all"); only
        // bits 0 to 3 count, for the boxes and the filter alike.
        for (const int stored : {7777, -1, 16 + 4}) {
            CMemoryStore store;
            store.WriteInt("VLPLogWnd", "Level", stored);
            CVLPEngine engine(&store);
            {
                CVLPLogWnd wnd(engine, &store);
                for (int i = 0; i < 4; ++i)
                    QCOMPARE(wnd.LevelBox(i)->isChecked(), (stored & (1 << i)) != 0);
                for (int level = 0; level < 4; ++level)
                    wnd.AddLine(level, "line");
                wnd.Flush();
                int shown = 0;
                for (int i = 0; i < 4; ++i)
                    shown += (stored & (1 << i)) != 0;
                QCOMPARE(wnd.Model().Rows(), std::size_t(shown));
            }
            QCOMPARE(store.ReadInt("VLPLogWnd", "Level").value_or(-99), static_cast<std::int64_t>(stored));
        }
    }

    void logWindowPlacementFarOffScreen() {
        QScreen* screen = QGuiApplication::primaryScreen();
        QVERIFY(screen);
        const QRect desk = screen->virtualGeometry();
        const struct {
            int x1, y1, x2, y2;
        } damaged[] = {
            {900000, 900000, 900400, 900300},     // far right and below
            {-900000, -900000, -899600, -899700}, // far left and above
            {10, 10, 2000000000, 2000000000},     // a size no screen has
            {-2000000000, 10, 2000000000, 300},   // both
        };
        for (const auto& d : damaged) {
            CMemoryStore store;
            const int values[6] = {0, 1, d.x1, d.y1, d.x2, d.y2};
            const char* keys[6] = {"flags", "showCmd", "x1", "y1", "x2", "y2"};
            for (int i = 0; i < 6; ++i)
                store.WriteInt("VLPLogWnd", std::string("logWnd_") + keys[i], values[i]);
            CVLPEngine engine(&store);
            auto* wnd = new CVLPLogWnd(engine, &store);
            wnd->show();
            QCoreApplication::processEvents();
            const QRect g = wnd->frameGeometry();
            // Reachable: the top-left corner on the desktop, the size no larger than it allows.
            QVERIFY2(desk.contains(g.topLeft()),
                     qPrintable(QStringLiteral("%1,%2").arg(g.left()).arg(g.top())));
            QVERIFY2(g.width() <= 4 * desk.width() && g.height() <= 4 * desk.height(),
                     qPrintable(QStringLiteral("%1x%2").arg(g.width()).arg(g.height())));
            delete wnd; // saves its placement
            const int x1 = static_cast<int>(store.ReadInt("VLPLogWnd", "logWnd_x1").value_or(-1));
            const int y1 = static_cast<int>(store.ReadInt("VLPLogWnd", "logWnd_y1").value_or(-1));
            QVERIFY(desk.contains(QPoint(x1, y1)));
        }
    }

    void sessionEndClosesABoxInFrontOfTheDialog() {
        QDialog main;
        bool boxReturned = false;
        bool forced = false;
        QTimer::singleShot(0, &main, [&] {
            QTimer::singleShot(100, &main, [&] { CloseForSessionEnd(&main); });
            QMessageBox::warning(&main, QStringLiteral("VQ5WVLP"),
                                 QStringLiteral("Please enter an integer between 0 and 999."));
            boxReturned = true;
        });
        // A guard, so a failure ends the test instead of hanging it.
        QTimer guard;
        guard.setSingleShot(true);
        connect(&guard, &QTimer::timeout, &main, [&] {
            forced = true;
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* d = qobject_cast<QDialog*>(w))
                    d->done(0);
        });
        guard.start(10000);
        main.show();
        const int result = main.exec();
        QVERIFY(!forced);
        QVERIFY(boxReturned);
        QCOMPARE(result, static_cast<int>(QDialog::Rejected));
    }
};

QTEST_MAIN(SettingsReliabilityTests)
#include "SettingsReliabilityTests.moc"
