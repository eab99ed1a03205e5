// The lamp pictures: every motif has three distinct forms, drawn at any size.
#include "Lamp.h"

#include <QImage>
#include <QPainter>
#include <QtTest>

using namespace vq5::io;

namespace {
QImage Render(Motif m, LampState s, QSize size, qreal dpr) {
    return LampPixmap(m, s, size, dpr).toImage();
}

int Opaque(const QImage& img) {
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            n += qAlpha(img.pixel(x, y)) > 0;
    return n;
}
} // namespace

class LampTest : public QObject {
    Q_OBJECT
private slots:
    void everyMotifHasThreeDistinctForms() {
        const Motif motifs[] = {Motif::LeftArrow, Motif::RightArrow, Motif::Hand,
                                Motif::StopSign,  Motif::GpKey,      Motif::Loop,
                                Motif::Led,       Motif::Bulb,       Motif::CheckMark};
        for (Motif m : motifs) {
            const QImage a = Render(m, LampState::Active, QSize(17, 15), 2.0);
            const QImage i = Render(m, LampState::Inactive, QSize(17, 15), 2.0);
            const QImage d = Render(m, LampState::Disabled, QSize(17, 15), 2.0);
            QCOMPARE(a.size(), QSize(34, 30));
            QVERIFY(Opaque(a) > 20);
            QVERIFY(Opaque(i) > 10);
            QVERIFY(Opaque(d) > 10);
            QVERIFY(a != i);
            QVERIFY(a != d);
            QVERIFY(i != d);
            // Transparent around the motif, so the dialog face shows.
            QCOMPARE(qAlpha(a.pixel(0, 0)), 0);
        }
    }

    void largerScaleDrawsMorePixels() {
        const int small = Opaque(Render(Motif::StopSign, LampState::Active, QSize(17, 15), 1.0));
        const int big = Opaque(Render(Motif::StopSign, LampState::Active, QSize(17, 15), 3.0));
        QVERIFY(big > small * 6);
    }

    void enablingShowsActiveDisablingShowsDisabled() {
        QWidget parent;
        CLamp lamp(InputLamps()[0], &parent);
        lamp.setGeometry(10, 10, 26, 24);
        lamp.Init();
        QCOMPARE(lamp.State(), LampState::Active);
        QCOMPARE(lamp.Label()->text(), QStringLiteral("linksaf"));
        QCOMPARE(lamp.Label()->parentWidget(), &parent);
        QCOMPARE(lamp.Label()->x(), lamp.geometry().right() + 1 + 2);
        QVERIFY(qAbs(lamp.Label()->geometry().center().y() - lamp.geometry().center().y()) <= 1);
        lamp.SetState(LampState::Inactive);
        lamp.setEnabled(false);
        QCOMPARE(lamp.State(), LampState::Disabled);
        lamp.setEnabled(true);
        QCOMPARE(lamp.State(), LampState::Active);
    }
};

int RunLampTest(int argc, char** argv) {
    LampTest t;
    return QTest::qExec(&t, argc, argv);
}
#include "test_lamps.moc"
