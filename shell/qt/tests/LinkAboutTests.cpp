// Hyperlink labels and the About box: error texts for the open result codes, the browser
// command line fallback, the visited and hover colours, the tooltip with the target, and the
// About box's texts from the compiled-in version information.
#include "AboutBox.h"
#include "LinkLabel.h"
#include "LinkOpen.h"

#include <QGroupBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>

using namespace vq5::qt;

class LinkAboutTests : public QObject {
    Q_OBJECT

    QStringList m_Errors;
    QStringList m_Opened;
    int m_Result = 42;

private slots:
    void init() {
        m_Errors.clear();
        m_Opened.clear();
        m_Result = 42;
        CLinkLabel::SetOpener([this](const QString& t) {
            m_Opened << t;
            return m_Result;
        });
        CLinkLabel::SetErrorReporter([this](QWidget*, const QString& text) { m_Errors << text; });
    }
    void cleanup() {
        CLinkLabel::SetOpener({});
        CLinkLabel::SetErrorReporter({});
    }

    void errorTextsForResultCodes() {
        QCOMPARE(QString::fromStdString(HyperlinkErrorText(26)), QString("A sharing violation occurred. "));
        QCOMPARE(QString::fromStdString(HyperlinkErrorText(4)), QString("Unknown Error (4) occurred."));
        QCOMPARE(QString::fromStdString(HyperlinkErrorText(-7)), QString("Unknown Error (-7) occurred."));
        QCOMPARE(QString::fromStdString(HyperlinkErrorText(0)),
                 QString("The operating system is out\nof memory or resources."));
        QCOMPARE(QString::fromStdString(HyperlinkErrorText(31)),
                 QString("There is no application associated\nwith the given filename extension."));
        QCOMPARE(QString::fromStdString(HyperlinkErrorText(30)),
                 QString("The DDE transaction could not\nbe completed because other DDE transactions\nwere "
                         "being processed."));
        QCOMPARE(QString::fromStdString(HyperlinkErrorText(32)),
                 QString("The specified dynamic-link library was not found."));
        QCOMPARE(QString::fromStdString(HyperlinkErrorMessage(2)),
                 QString("Unable to open hyperlink:\n\nThe specified file was not found."));
        // Every code between 0 and 32 that the table lacks is unknown.
        for (int code : {1, 4, 6, 7, 9, 10, 12, 25, 33})
            QCOMPARE(QString::fromStdString(HyperlinkErrorText(code)),
                     QString("Unknown Error (%1) occurred.").arg(code));
    }

    void browserCommandLineFallback() {
        // Program path and quoted placeholder: the path, a space and the target.
        QCOMPARE(QString::fromStdString(
                     BrowserCommandLine("\"C:\\Browser\\browse.exe\" \"%1\" -new", "https://x.example")),
                 QString("\"C:\\Browser\\browse.exe\" https://x.example"));
        QCOMPARE(QString::fromStdString(BrowserCommandLine("browse.exe \"%1\"", "t")),
                 QString("browse.exe t"));
        // A bare placeholder.
        QCOMPARE(QString::fromStdString(BrowserCommandLine("browse.exe -url %1 -x", "t")),
                 QString("browse.exe -url t"));
        // No placeholder: a space and the target appended.
        QCOMPARE(QString::fromStdString(BrowserCommandLine("firefox", "mailto:a@example.com")),
                 QString("firefox mailto:a@example.com"));
        // The quoted form wins over a bare one that comes earlier.
        QCOMPARE(QString::fromStdString(BrowserCommandLine("b %1x \"%1\"", "t")), QString("b %1x t"));
        // An overlong command is taken at 260 characters.
        const std::string longCommand(400, 'a');
        QCOMPARE(BrowserCommandLine(longCommand, "t").size(), std::size_t(262));
        QCOMPARE(QString::fromStdString(BrowserCommandLine("", "t")), QString(" t"));
    }

    void clickOpensTheTargetAndMarksItVisited() {
        QWidget parent;
        CLinkLabel label("Lumark Website", &parent);
        label.setGeometry(10, 10, 200, 20);
        const char* const site = "https://www.example.org/lumark";
        label.SetTarget(site);
        label.Prepare();
        QCOMPARE(label.toolTip(), QString(site));
        QVERIFY(label.font().underline());
        QCOMPARE(label.CurrentColour(), QColor(0, 0, 238));
        QCOMPARE(label.cursor().shape(), Qt::PointingHandCursor);

        QTest::mouseClick(&label, Qt::LeftButton, {}, QPoint(2, 2));
        QCOMPARE(m_Opened, QStringList{site});
        QVERIFY(label.Used());
        QVERIFY(m_Errors.isEmpty());
        QCOMPARE(label.CurrentColour(), QColor(85, 26, 139));
        QCOMPARE(label.palette().color(QPalette::Active, QPalette::WindowText), QColor(85, 26, 139));
    }

    // A label without target is plain text: not underlined, no link colour, no hand cursor, no
    // tooltip, and a click opens nothing.
    void aLabelWithoutTargetIsNoLink() {
        QWidget parent;
        CLinkLabel label("Lumark Website", &parent);
        label.setGeometry(10, 10, 200, 20);
        label.ShowAsPlainText();
        QVERIFY(label.IsPlainText());
        QVERIFY(!label.font().underline());
        QVERIFY(label.toolTip().isEmpty());
        QVERIFY(label.cursor().shape() != Qt::PointingHandCursor);
        QVERIFY(label.palette().color(QPalette::Active, QPalette::WindowText) != QColor(0, 0, 238));
        QTest::mouseClick(&label, Qt::LeftButton, {}, QPoint(2, 2));
        QVERIFY(m_Opened.isEmpty());
        QVERIFY(m_Errors.isEmpty());
        QVERIFY(!label.Used());
        QCOMPARE(label.text(), QString("Lumark Website"));
    }

    void mailTargetIsMailtoAndTheAddress() {
        QCOMPARE(MailTarget("service@example.org"), QString("mailto:service@example.org"));
        QCOMPARE(MailTarget(" mailto:a@b.c "), QString("mailto:a@b.c"));
        QCOMPARE(MailTarget(""), QString());
        QCOMPARE(MailTarget("  "), QString());
    }

    void failedOpenShowsTheErrorAndStaysUnvisited() {
        QWidget parent;
        CLinkLabel label("Send mail to Lumark", &parent);
        label.SetTarget("mailto:service@example.org");
        label.Prepare();
        m_Result = 26;
        label.Activate();
        QCOMPARE(m_Errors, QStringList{"Unable to open hyperlink:\n\nA sharing violation occurred. "});
        QVERIFY(!label.Used());
        m_Result = 4;
        label.Activate();
        QCOMPARE(m_Errors.last(), QString("Unable to open hyperlink:\n\nUnknown Error (4) occurred."));
        // 32 is a failure, 33 the first success.
        m_Result = 32;
        label.Activate();
        QVERIFY(!label.Used());
        m_Result = 33;
        label.Activate();
        QVERIFY(label.Used());
    }

    void hoverColourWhileTheMouseIsOver() {
        QWidget parent;
        parent.resize(300, 100);
        CLinkLabel label("Lumark Website", &parent);
        label.setGeometry(10, 10, 200, 20);
        label.Prepare();
        parent.show();
        QVERIFY(QTest::qWaitForWindowExposed(&parent));
        QEnterEvent enter(QPointF(1, 1), QPointF(11, 11), QPointF(11, 11));
        QCoreApplication::sendEvent(&label, &enter);
        QVERIFY(label.Over());
        QCOMPARE(label.CurrentColour(), label.m_HoverColour);
        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(&label, &leave);
        QVERIFY(!label.Over());
        QCOMPARE(label.CurrentColour(), QColor(0, 0, 238));
        label.SetUsed(true);
        QCoreApplication::sendEvent(&label, &enter);
        QCOMPARE(label.CurrentColour(), label.m_HoverColour); // hover wins over visited
    }

    void emptyTextShowsTheTargetAndEmptyTargetTakesTheText() {
        QWidget parent;
        CLinkLabel a(QString(), &parent);
        a.SetTarget("https://www.example.com/lumark");
        a.Prepare();
        QCOMPARE(a.text(), QString("https://www.example.com/lumark"));
        CLinkLabel b("https://www.example.com/other", &parent);
        b.Prepare();
        QCOMPARE(b.Target(), QString("https://www.example.com/other"));
        QCOMPARE(b.toolTip(), QString("https://www.example.com/other"));
    }

    void adjustToFitShrinksAroundTheAnchor() {
        QWidget parent;
        CLinkLabel c("Lumark Website", &parent);
        c.setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        c.setGeometry(100, 50, 300, 40);
        c.Prepare();
        const QFontMetrics fm(c.font());
        const int w = fm.horizontalAdvance("Lumark Website");
        QCOMPARE(c.width(), w);
        QCOMPARE(c.height(), fm.height());
        QCOMPARE(c.x(), 100 + (300 - w) / 2);
        QCOMPARE(c.y(), 50);

        CLinkLabel r("Lumark Website", &parent);
        r.setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        r.setGeometry(100, 50, 300, 40);
        r.Prepare();
        QCOMPARE(r.x() + r.width(), 400);
        QCOMPARE(r.y(), 50 + (40 - fm.height()) / 2);

        CLinkLabel l("Lumark Website", &parent);
        l.setAlignment(Qt::AlignLeft | Qt::AlignTop);
        l.setGeometry(100, 50, 300, 40);
        l.Prepare();
        QCOMPARE(l.x(), 100);
        // A new target refits and updates the tooltip.
        l.SetTarget("mailto:x@example.com");
        QCOMPARE(l.toolTip(), QString("mailto:x@example.com"));
    }

    void aboutBoxShowsTheVersionInformation() {
        VersionInfo v = BuildVersionInfo("VQ-5 factory reset tool");
        CAboutBox box(v, 130);
        QCOMPARE(box.windowTitle(), QString("About VQ-5 Tools"));
        QCOMPARE(box.Field(1035)->text(), QString("VQ-5 factory reset tool"));
        QCOMPARE(box.Field(1033)->text(), v.version);
        QVERIFY(!v.version.isEmpty());
        QCOMPARE(box.Field(1036)->text(), QString("Lumark Electronics"));
        QCOMPARE(box.Field(1034)->text(), v.legal);
        QCOMPARE(box.WebLink()->text(), QString("Lumark Website"));
        QCOMPARE(box.WebLink()->Target(), QString(kWebSiteTarget));
        QCOMPARE(box.WebLink()->IsPlainText(), QString(kWebSiteTarget).isEmpty());
        QCOMPARE(box.MailLink()->text(), QString("Send mail to Lumark"));
        QCOMPARE(box.MailLink()->Target(), MailTarget(kMailAddress));
        QCOMPARE(box.MailLink()->IsPlainText(), QString(kMailAddress).isEmpty());
        QVERIFY(box.OkButton()->isDefault());
        QVERIFY(!box.findChild<QLabel*>("1069")->pixmap().isNull());
        QVERIFY(!box.findChild<QLabel*>("1032")->pixmap().isNull());
        // Every control lies inside the box.
        for (QWidget* w : box.findChildren<QWidget*>())
            QVERIFY2(QRect(QPoint(0, 0), box.size()).contains(w->geometry()), qPrintable(w->objectName()));
        // The labels start unvisited each time the box is built.
        QVERIFY(!box.WebLink()->Used());

        // Without version information the initial texts stay.
        CAboutBox bare(VersionInfo{}, 132);
        QCOMPARE(bare.Field(1035)->text(), QString("name"));
        QCOMPARE(bare.Field(1033)->text(), QString("Version x.x"));
    }

    void shortAboutBoxOfTheEmulator() {
        CAboutBox box("VQ5WVLP", "1.4", 132);
        QCOMPARE(box.Field(1033)->text(), QString("VQ5 Tool VQ5WVLP, version 1.4"));
        QVERIFY(box.Field(1034) == nullptr);
        QVERIFY(box.Field(1035) == nullptr);
        QVERIFY(box.Field(1036) == nullptr);
        QVERIFY(box.findChild<QLabel*>("company") != nullptr);
        QCOMPARE(box.findChild<QLabel*>("company")->text(), QString("Lumark Electronics"));
    }

    void okClosesTheBox() {
        CAboutBox box(BuildVersionInfo("x"), 130);
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        QTest::mouseClick(box.OkButton(), Qt::LeftButton);
        QCOMPARE(box.result(), int(QDialog::Accepted));
        QVERIFY(!box.isVisible());
    }
};

QTEST_MAIN(LinkAboutTests)
#include "LinkAboutTests.moc"
