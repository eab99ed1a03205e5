// The QSettings store: integers and strings round trip, a value of the wrong type reads as
// absent, sections are groups, and a tool's key lies under "Lumark Electronics/<program>".
#include "QtSettingsStore.h"

#include "ProfileSection.h"

#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace vq5;
using namespace vq5::qt;

class SettingsStoreTests : public QObject {
    Q_OBJECT
    QTemporaryDir m_Config;

private slots:
    void initTestCase() {
        // The default QSettings paths are fixed at first use: point them at a scratch folder.
        QVERIFY(m_Config.isValid());
        qputenv("XDG_CONFIG_HOME", m_Config.path().toLocal8Bit());
    }

    void integersAndStringsRoundTripThroughTheFile() {
        QTemporaryDir dir;
        const QString file = dir.filePath("t.ini");
        {
            auto store = CQtSettingsStore::FromFile(file);
            store->WriteInt("VLPIO", "Timeout", 2000);
            store->WriteInt("Settings_V2.3", "dlgWnd-1.0_x1", -12);
            store->WriteInt("Big", "Value", 5000000000LL);
            store->WriteString("VLPIO", "ComPort", "/dev/pts/7");
            store->WriteString("Text", "Comma", "a, b,c");
            store->WriteString("Text", "Empty", "");
        }
        auto store = CQtSettingsStore::FromFile(file);
        QCOMPARE(store->ReadInt("VLPIO", "Timeout").value_or(-99), 2000);
        QCOMPARE(store->ReadInt("Settings_V2.3", "dlgWnd-1.0_x1").value_or(-99), -12);
        QCOMPARE(store->ReadInt("Big", "Value").value_or(-99), 5000000000LL);
        QCOMPARE(QString::fromStdString(store->ReadString("VLPIO", "ComPort").value_or("?")),
                 QString("/dev/pts/7"));
        QCOMPARE(QString::fromStdString(store->ReadString("Text", "Comma").value_or("?")), QString("a, b,c"));
        QVERIFY(store->ReadString("Text", "Empty").has_value());
        QCOMPARE(QString::fromStdString(*store->ReadString("Text", "Empty")), QString());
        QVERIFY(!store->ReadInt("VLPIO", "Missing").has_value());
        QVERIFY(!store->ReadString("Nowhere", "Missing").has_value());

        // Sections are groups of the file.
        QSettings raw(file, QSettings::IniFormat);
        QVERIFY(raw.childGroups().contains("VLPIO"));
        QCOMPARE(raw.value("VLPIO/Timeout").toInt(), 2000);
    }

    void aTextWhereANumberIsExpectedReadsAsAbsent() {
        QTemporaryDir dir;
        const QString file = dir.filePath("t.ini");
        {
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("[VLPIO]\nTimeout=fast\nFastBaudRate=3x\nPadded= 7\nList=1,2\nGood=-4\n");
        }
        auto store = CQtSettingsStore::FromFile(file);
        QVERIFY(!store->ReadInt("VLPIO", "Timeout").has_value());
        QVERIFY(!store->ReadInt("VLPIO", "FastBaudRate").has_value());
        QVERIFY(!store->ReadInt("VLPIO", "List").has_value());
        QVERIFY(!store->ReadString("VLPIO", "List").has_value()); // a list is not a text
        QCOMPARE(store->ReadInt("VLPIO", "Good").value_or(0), -4);

        // A section bound to damaged values takes the defaults.
        int timeout = 0;
        {
            CProfileSection s("VLPIO", store.get());
            s.BindInt(timeout, "Timeout", 2000);
        }
        QCOMPARE(timeout, 2000);
        QCOMPARE(store->ReadInt("VLPIO", "Timeout").value_or(0), 2000); // written back repaired
    }

    void variantTypes() {
        QCOMPARE(VariantToInt(QVariant(int(42))).value_or(0), 42);
        QCOMPARE(VariantToInt(QVariant(qulonglong(7))).value_or(0), 7);
        QVERIFY(!VariantToInt(QVariant(std::numeric_limits<qulonglong>::max())).has_value());
        QVERIFY(!VariantToInt(QVariant(1.5)).has_value());
        QVERIFY(!VariantToInt(QVariant()).has_value());
        QVERIFY(!VariantToInt(QVariant(QString())).has_value());
        QVERIFY(!VariantToInt(QVariant(QString("99999999999999999999999"))).has_value());
        QCOMPARE(VariantToInt(QVariant(QString("+12"))).value_or(0), 12);
        // A number where a text is expected (a registry DWORD) is of the wrong type.
        QVERIFY(!VariantToString(QVariant(int(5))).has_value());
        QVERIFY(!VariantToString(QVariant(QStringList{"a", "b"})).has_value());
        QCOMPARE(QString::fromStdString(VariantToString(QVariant(QString("COM3"))).value_or("")),
                 QString("COM3"));
    }

    void toolKeyLiesUnderTheMakerAndProgram() {
        QTemporaryDir& dir = m_Config;
        {
            CQtSettingsStore a("VQ5WReset");
            CQtSettingsStore b("VQ5WPrg");
            a.WriteString("VLPIO", "ComPort", "COM3");
            b.WriteString("VLPIO", "ComPort", "COM5");
            QVERIFY(a.FileName().contains("Lumark Electronics"));
            QVERIFY(a.FileName().contains("VQ5WReset"));
        }
        // Two tools keep separate connection settings.
        CQtSettingsStore a("VQ5WReset");
        CQtSettingsStore b("VQ5WPrg");
        QCOMPARE(QString::fromStdString(a.ReadString("VLPIO", "ComPort").value_or("")), QString("COM3"));
        QCOMPARE(QString::fromStdString(b.ReadString("VLPIO", "ComPort").value_or("")), QString("COM5"));
        QVERIFY(QFile::exists(dir.filePath("Lumark Electronics/VQ5WReset.conf")));
    }
};

QTEST_MAIN(SettingsStoreTests)
#include "SettingsStoreTests.moc"
