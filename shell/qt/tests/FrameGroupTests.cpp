// CFrameGroup: the controls whose four corners lie inside the frame (right and bottom edge
// outside), enabled and disabled together except the switching check box; a missing frame is
// reported with "Unable to find frame control" and leaves the group empty.
#include "ToolDialog.h"

#include <QCheckBox>
#include <QDialog>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

using namespace vq5::qt;

class FrameGroupTests : public QObject {
    Q_OBJECT

    QStringList m_Messages;

private slots:
    void init() {
        m_Messages.clear();
        CToolDialog::SetMessageHook([this](QWidget*, const QString& text) { m_Messages << text; });
    }
    void cleanup() { CToolDialog::SetMessageHook({}); }

    void enablingLeavesTheCheckBoxAlone() {
        QDialog d;
        d.resize(400, 300);
        auto* body = new QWidget(&d);
        body->setGeometry(0, 20, 400, 280); // the controls are a level deeper than the dialog
        auto* frame = new QGroupBox("1028", body);
        frame->setObjectName("1028");
        frame->setGeometry(10, 10, 200, 100);
        auto* check = new QCheckBox("Paralelle transponder", body);
        check->setObjectName("check");
        check->setGeometry(20, 15, 150, 20);
        auto* edit = new QLineEdit(body);
        edit->setGeometry(20, 40, 100, 20);
        auto* spin = new QSpinBox(body); // has a child line edit of its own
        spin->setGeometry(20, 65, 80, 20);
        auto* outside = new QPushButton("out", body);
        outside->setGeometry(250, 20, 80, 20);
        // Right edge exactly on the frame's right edge: counts as outside.
        auto* onEdge = new QLineEdit(body);
        onEdge->setGeometry(150, 40, 60, 20);
        // Bottom edge exactly on the frame's bottom edge: outside too.
        auto* onBottom = new QLineEdit(body);
        onBottom->setGeometry(130, 90, 20, 20);
        // One pixel inside both edges: inside.
        auto* corner = new QLineEdit(body);
        corner->setGeometry(189, 89, 20, 20);
        // Straddling the frame: outside.
        auto* straddle = new QLineEdit(body);
        straddle->setGeometry(180, 5, 20, 20);

        CFrameGroup group;
        group.Init(&d, "1028");
        QVERIFY(m_Messages.isEmpty());
        QCOMPARE(group.FrameRect(), QRect(10, 30, 200, 100)); // in the dialog's coordinates

        QList<QWidget*> members;
        for (const auto& p : group.Controls())
            members << p.data();
        QVERIFY(members.contains(check));
        QVERIFY(members.contains(edit));
        QVERIFY(members.contains(spin));
        QVERIFY(members.contains(corner));
        QVERIFY(!members.contains(frame));
        QVERIFY(!members.contains(outside));
        QVERIFY(!members.contains(onEdge));
        QVERIFY(!members.contains(onBottom));
        QVERIFY(!members.contains(straddle));
        const int count = int(group.Controls().size());

        QCOMPARE(group.Enable(false, check), count);
        QVERIFY(check->isEnabled());
        QVERIFY(!edit->isEnabled());
        QVERIFY(!spin->isEnabled());
        QVERIFY(!corner->isEnabled());
        QVERIFY(outside->isEnabled());
        QVERIFY(onEdge->isEnabled());
        QVERIFY(frame->isEnabled());

        QCOMPARE(group.Enable(true, "check"), count);
        QVERIFY(edit->isEnabled());
        QVERIFY(spin->isEnabled());

        // The check box keeps whatever state it has.
        check->setEnabled(false);
        group.Enable(true, check);
        QVERIFY(!check->isEnabled());
        QVERIFY(edit->isEnabled());
    }

    void missingFrameIsReportedAndTheGroupStaysEmpty() {
        QDialog d;
        auto* edit = new QLineEdit(&d);
        edit->setGeometry(5, 5, 50, 20);
        CFrameGroup group;
        group.Init(&d, "1027");
        QCOMPARE(m_Messages, QStringList{"Unable to find frame control"});
        QCOMPARE(group.Enable(false, nullptr), 0);
        QVERIFY(edit->isEnabled());

        // A frame of another dialog is not this dialog's frame.
        QDialog other;
        auto* foreign = new QGroupBox(&other);
        group.Init(&d, foreign);
        QCOMPARE(m_Messages.size(), 2);
        QCOMPARE(group.Enable(true), 0);
    }

    void deletedControlIsSkipped() {
        QDialog d;
        auto* frame = new QGroupBox(&d);
        frame->setGeometry(0, 0, 100, 100);
        auto* a = new QLineEdit(&d);
        a->setGeometry(10, 10, 30, 20);
        auto* b = new QLineEdit(&d);
        b->setGeometry(10, 40, 30, 20);
        CFrameGroup group;
        group.Init(&d, frame);
        QCOMPARE(int(group.Controls().size()), 2);
        delete a;
        QCOMPARE(group.Enable(false), 2);
        QVERIFY(!b->isEnabled());
    }
};

QTEST_MAIN(FrameGroupTests)
#include "FrameGroupTests.moc"
