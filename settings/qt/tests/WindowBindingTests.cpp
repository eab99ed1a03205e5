// Window placement bound to a settings section: the six values, the "Window" and title
// prefixes, -1 or absent values, the left/top clamp, and the save that happens exactly once
// while the window still has its position.
#include "WindowBinding.h"

#include "CountingStore.h"
#include "ProfileSection.h"

#include <QDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QTest>

#include <memory>

using namespace vq5;
using namespace vq5::qt;
using vq5::test::CCountingStore;

namespace {
const char* const kKeys[6] = {"flags", "showCmd", "x1", "y1", "x2", "y2"};

void Store(CMemoryStore& store, const std::string& section, const std::string& prefix, const int (&v)[6]) {
    for (int i = 0; i < 6; ++i)
        store.WriteInt(section, prefix + kKeys[i], v[i]);
}
std::int64_t Get(CMemoryStore& store, const std::string& section, const std::string& key) {
    return store.ReadInt(section, key).value_or(-12345);
}

// `w` at `geometry`, bound to `section` under `name`, then shown: true once it is on screen.
bool ShownBound(CProfileSection& section, QWidget* w, const char* name, const QRect& geometry) {
    w->setGeometry(geometry);
    BindWindow(section, w, name);
    w->show();
    return QTest::qWaitForWindowExposed(w);
}
} // namespace

class WindowBindingTests : public QObject {
    Q_OBJECT
private slots:
    void placementRoundTripsThroughTheSection() {
        CCountingStore store;
        {
            CProfileSection section("Settings_V2.3", &store);
            auto* w = new QWidget;
            w->setWindowTitle("ignored when a name is given");
            w->setGeometry(40, 50, 300, 200);
            QVERIFY(!BindWindow(section, w, "dlgWnd-1.0")); // nothing stored yet
            w->show();
            w->move(70, 80);
            QVERIFY(QTest::qWaitForWindowExposed(w));
            delete w;
        }
        QCOMPARE(Get(store, "Settings_V2.3", "dlgWnd-1.0_showCmd"), 1);
        QCOMPARE(Get(store, "Settings_V2.3", "dlgWnd-1.0_flags"), 0);
        QCOMPARE(Get(store, "Settings_V2.3", "dlgWnd-1.0_x1"), 70);
        QCOMPARE(Get(store, "Settings_V2.3", "dlgWnd-1.0_y1"), 80);
        QCOMPARE(Get(store, "Settings_V2.3", "dlgWnd-1.0_x2"), 370);
        QCOMPARE(Get(store, "Settings_V2.3", "dlgWnd-1.0_y2"), 280);

        // A second window bound under the same name gets that placement back.
        CProfileSection section("Settings_V2.3", &store);
        QWidget w;
        QVERIFY(BindWindow(section, &w, "dlgWnd-1.0"));
        QCOMPARE(w.geometry(), QRect(70, 80, 300, 200));
    }

    void untitledWindowUsesTheWindowPrefix() {
        CMemoryStore store;
        {
            CProfileSection section("S", &store);
            QWidget w;
            w.setGeometry(10, 20, 100, 50);
            BindWindow(section, &w);
        }
        const auto snap = store.Snapshot();
        QCOMPARE(int(snap.at("S").size()), 6);
        for (const char* k : kKeys)
            QVERIFY2(snap.at("S").count(std::string("Window_") + k) == 1, k);
        QCOMPARE(Get(store, "S", "Window_x1"), 10);
        QCOMPARE(Get(store, "S", "Window_y2"), 70);
    }

    void titledWindowUsesItsTitle() {
        CMemoryStore store;
        {
            CProfileSection section("S", &store);
            QWidget w;
            w.setWindowTitle("VQ-5 Velto Protocol log window");
            BindWindow(section, &w);
        }
        QVERIFY(store.Has("S", "VQ-5 Velto Protocol log window_showCmd"));
        QVERIFY(!store.Has("S", "Window_showCmd"));
    }

    void minusOneOrAMissingValueRestoresNothing() {
        for (int missing = 0; missing < 6; ++missing) {
            for (bool minusOne : {true, false}) {
                CMemoryStore store;
                int v[6] = {0, 1, 100, 110, 400, 300};
                Store(store, "S", "w_", v);
                if (minusOne) {
                    store.WriteInt("S", std::string("w_") + kKeys[missing], -1);
                } else {
                    auto snap = store.Snapshot();
                    snap["S"].erase(std::string("w_") + kKeys[missing]);
                    store.Replace(snap);
                }
                CProfileSection section("S", &store);
                QWidget w;
                w.setGeometry(5, 6, 70, 80);
                QVERIFY(!BindWindow(section, &w, "w"));
                QCOMPARE(w.geometry(), QRect(5, 6, 70, 80));
            }
        }
    }

    void clampKeepsTheTopLeftCornerOnScreen() {
        // Stored edges 3000, 200, 3400, 500 on a screen 1024 wide, icons 32 wide.
        Placement p{0, 1, 3000, 200, 3400, 500};
        Placement c = ClampPlacement(p, QSize(1024, 768), 32);
        QCOMPARE(c.x1, 992);
        QCOMPARE(c.x2, 3400);
        QCOMPARE(c.y1, 200);
        QCOMPARE(c.y2, 500);
        // The top edge likewise; an edge just left of the limit stays.
        c = ClampPlacement(Placement{0, 1, 991, 900, 1100, 1000}, QSize(1024, 768), 32);
        QCOMPARE(c.x1, 991);
        QCOMPARE(c.y1, 736);
        QCOMPARE(c.y2, 1000);
        // Negative edges are not clamped.
        c = ClampPlacement(Placement{0, 1, -50, -20, 100, 100}, QSize(1024, 768), 32);
        QCOMPARE(c.x1, -50);
        QCOMPARE(c.y1, -20);
    }

    void bindingClampsAgainstThePrimaryScreen() {
        QScreen* screen = QGuiApplication::primaryScreen();
        QVERIFY(screen);
        const QSize size = screen->geometry().size();
        CMemoryStore store;
        int v[6] = {0, 1, size.width() + 2000, 40, size.width() + 2400, 340};
        Store(store, "S", "w_", v);
        CProfileSection section("S", &store);
        QWidget w;
        QVERIFY(BindWindow(section, &w, "w"));
        QCOMPARE(w.geometry().left(), size.width() - 32);
        QCOMPARE(w.geometry().top(), 40);
        // The right edge stays as stored: the window got wider.
        QCOMPARE(w.geometry().left() + w.geometry().width(), size.width() + 2400);
    }

    void savedExactlyOnceAtDestructionAndNotAgainAtWriteBack() {
        CCountingStore store;
        auto section = std::make_unique<CProfileSection>("S", &store);
        int level = 14;
        section->BindInt(level, "Level", 14);
        auto* w = new QDialog;
        QVERIFY(ShownBound(*section, w, "logWnd", QRect(100, 120, 200, 100)));
        w->move(130, 140);
        QCOMPARE(store.TotalWrites(), 0);
        delete w;
        for (const char* k : kKeys)
            QCOMPARE(store.Writes("S", std::string("logWnd_") + k), 1);
        QCOMPARE(Get(store, "S", "logWnd_x1"), 130);
        QCOMPARE(Get(store, "S", "logWnd_y1"), 140);
        QCOMPARE(store.Writes("S", "Level"), 0);

        section.reset(); // the other records only
        for (const char* k : kKeys)
            QCOMPARE(store.Writes("S", std::string("logWnd_") + k), 1);
        QCOMPARE(store.Writes("S", "Level"), 1);
    }

    void closedDialogSavesThePlacementItHadWhenHidden() {
        CCountingStore store;
        CProfileSection section("S", &store);
        auto* d = new QDialog;
        QVERIFY(ShownBound(section, d, "dlg", QRect(60, 70, 150, 90)));
        d->move(90, 95);
        d->accept(); // hidden, not yet destroyed
        QCOMPARE(store.TotalWrites(), 0);
        delete d;
        QCOMPARE(Get(store, "S", "dlg_x1"), 90);
        QCOMPARE(Get(store, "S", "dlg_y1"), 95);
        QCOMPARE(store.Writes("S", "dlg_x1"), 1);
    }

    void sectionThatGoesFirstSavesOnceAndTheLaterDestructionDoesNothing() {
        CCountingStore store;
        auto section = std::make_unique<CProfileSection>("S", &store);
        auto w = std::make_unique<QWidget>();
        w->setGeometry(11, 22, 33, 44);
        BindWindow(*section, w.get(), "w");
        section.reset();
        QCOMPARE(store.Writes("S", "w_x1"), 1);
        QCOMPARE(Get(store, "S", "w_x2"), 44);
        w->move(500, 500);
        w.reset(); // no section any more: must not write, must not crash
        QCOMPARE(store.Writes("S", "w_x1"), 1);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(Get(store, "S", "w_x1"), 11);
    }

    void windowInTheSecondOfTwoSections() {
        CCountingStore store;
        CProfileSection first("A", &store);
        CProfileSection second("B", &store);
        auto* w = new QWidget;
        BindWindow(second, w, "w");
        delete w;
        QCOMPARE(store.Writes("B", "w_showCmd"), 1);
        QCOMPARE(store.Writes("A", "w_showCmd"), 0);
        QVERIFY(CProfileSection::LiveSections().size() >= 2);
    }

    void maximisedWindowStoresShowCmdThreeAndItsNormalPosition() {
        CMemoryStore store;
        {
            CProfileSection section("S", &store);
            auto* w = new QWidget;
            QVERIFY(ShownBound(section, w, "m", QRect(30, 40, 200, 150)));
            w->move(30, 40);
            w->showMaximized();
            QTRY_VERIFY_WITH_TIMEOUT(w->isMaximized(), 10000);
            delete w;
        }
        QCOMPARE(Get(store, "S", "m_showCmd"), 3);
        QCOMPARE(Get(store, "S", "m_x1"), 30);
        QCOMPARE(Get(store, "S", "m_x2"), 230);

        CProfileSection section("S", &store);
        QWidget w;
        QVERIFY(BindWindow(section, &w, "m"));
        QVERIFY(w.windowState() & Qt::WindowMaximized);
    }

    void invertedRectangleMovesWithoutResizing() {
        CMemoryStore store;
        int v[6] = {0, 1, 50, 60, 40, 10};
        Store(store, "S", "w_", v);
        CProfileSection section("S", &store);
        QWidget w;
        w.resize(120, 90);
        QVERIFY(BindWindow(section, &w, "w"));
        QCOMPARE(w.pos(), QPoint(50, 60));
        QCOMPARE(w.size(), QSize(120, 90));
    }

    void dialogUnitsFollowTheFont() {
        QWidget d;
        QFont f = d.font();
        f.setPixelSize(13);
        d.setFont(f);
        const QFontMetrics fm(d.font());
        const int avg = fm.horizontalAdvance("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
        const int bx = (avg / 26 + 1) / 2;
        const int by = fm.height();
        const DialogBaseUnits u = DialogUnits(&d);
        QCOMPARE(u.x, bx);
        QCOMPARE(u.y, by);
        QVERIFY(u.x > 0 && u.y > 0);
        QCOMPARE(DluSize(&d, 4, 8), QSize(bx, by));
        QCOMPARE(DluSize(&d, 257, 105), QSize((257 * bx + 2) / 4, (105 * by + 4) / 8));
        // A rectangle maps by its corners.
        const QRect r = DluRect(&d, 7, 7, 203, 73);
        QCOMPARE(r.left(), (7 * bx + 2) / 4);
        QCOMPARE(r.top(), (7 * by + 4) / 8);
        QCOMPARE(r.left() + r.width(), (210 * bx + 2) / 4);
        QCOMPARE(r.top() + r.height(), (80 * by + 4) / 8);
        // A bigger font makes bigger units.
        f.setPixelSize(26);
        d.setFont(f);
        QVERIFY(DialogUnits(&d).x > u.x);
        QVERIFY(DialogUnits(&d).y > u.y);
    }
};

QTEST_MAIN(WindowBindingTests)
#include "WindowBindingTests.moc"
