#include "AboutBox.h"

#include "LinkLabel.h"
#include "Logo.h"
#include "WindowBinding.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

#ifndef VQ5_VERSION
#define VQ5_VERSION "0.0.0"
#endif

namespace vq5::qt {

namespace {
constexpr const char* kCompany = "Lumark Electronics";
constexpr const char* kLegal = "Copyright (C) Lumark Electronics";

QLabel* MakeText(QWidget* parent, const QString& text, const QRect& r, const char* id) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(id));
    l->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    l->setTextFormat(Qt::PlainText);
    l->setGeometry(r);
    return l;
}
} // namespace

VersionInfo BuildVersionInfo(const QString& description) {
    VersionInfo v;
    v.description = description;
    v.version = QStringLiteral(VQ5_VERSION);
    v.company = QString::fromLatin1(kCompany);
    v.legal = QString::fromLatin1(kLegal);
    return v;
}

QString MailTarget(const QString& address) {
    const QString a = address.trimmed();
    if (a.isEmpty())
        return {};
    return a.startsWith(QStringLiteral("mailto:")) ? a : QStringLiteral("mailto:") + a;
}

CAboutBox::CAboutBox(const VersionInfo& info, int smallBitmap, QWidget* parent) : QDialog(parent) {
    Build(smallBitmap, false);
    // Without version information the initial texts stay.
    if (!info.description.isEmpty() || !info.version.isEmpty()) {
        m_Description->setText(info.description);
        m_Version->setText(info.version);
        m_Company->setText(info.company);
        m_Legal->setText(info.legal);
    }
    // Top to bottom, so that each moves what follows it.
    for (QLabel* label : {m_Description, m_Version, m_Legal, m_Company})
        FitText(label);
}

CAboutBox::CAboutBox(const QString& program, const QString& versionText, int smallBitmap, QWidget* parent)
    : QDialog(parent) {
    Build(smallBitmap, true);
    m_Version->setText(QStringLiteral("VQ5 Tool %1, version %2").arg(program, versionText));
    FitText(m_Version);
}

void CAboutBox::FitText(QLabel* label) {
    label->setWordWrap(true);
    const QRect r = label->geometry();
    const int extra = label->heightForWidth(r.width()) - r.height();
    if (extra <= 0)
        return;
    label->resize(r.width(), r.height() + extra);
    for (QWidget* w : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (w == label)
            continue;
        const QRect g = w->geometry();
        if (g.top() > r.bottom())
            w->move(g.left(), g.top() + extra); // below the label
        else if (qobject_cast<QGroupBox*>(w) && g.top() < r.top() && g.bottom() >= r.bottom())
            w->resize(g.width(), g.height() + extra); // the frame around it
    }
    setFixedSize(width(), height() + extra);
}

void CAboutBox::Build(int smallBitmap, bool shortVariant) {
    setObjectName(QStringLiteral("100"));
    setWindowTitle(QStringLiteral("About VQ-5 Tools"));
    setModal(true);
    setFixedSize(DluSize(this, 216, 109));

    auto* group = new QGroupBox(this);
    group->setGeometry(DluRect(this, 7, 7, 203, 73));

    // Large logo (1069): fits the group box left of the texts.
    auto* logo = new QLabel(this);
    logo->setObjectName(QStringLiteral("1069"));
    const QRect logoRect = DluRect(this, 12, 15, 72, 60);
    logo->setGeometry(logoRect);
    logo->setPixmap(DrawLargeLogo(logoRect.size()));

    if (shortVariant) {
        m_Version = MakeText(this, QStringLiteral("Version x.x"), DluRect(this, 88, 23, 116, 8), "1033");
        // Fixed texts of the dialog in place of the version information.
        MakeText(this, QString::fromLatin1(kLegal), DluRect(this, 88, 32, 116, 8), "legal");
        MakeText(this, QString::fromLatin1(kCompany), DluRect(this, 88, 42, 116, 8), "company");
    } else {
        m_Description = MakeText(this, QStringLiteral("name"), DluRect(this, 88, 14, 116, 8), "1035");
        m_Version = MakeText(this, QStringLiteral("Version x.x"), DluRect(this, 88, 23, 116, 8), "1033");
        m_Legal = MakeText(this, QStringLiteral("Copyright"), DluRect(this, 88, 32, 116, 8), "1034");
        m_Company = MakeText(this, QString::fromLatin1(kCompany), DluRect(this, 88, 42, 116, 8), "1036");
    }

    m_Web = new CLinkLabel(QStringLiteral("Lumark Website"), this);
    m_Web->setObjectName(QStringLiteral("1072"));
    m_Web->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    m_Web->setGeometry(DluRect(this, 88, 57, 116, 8));
    const QString web = QString::fromUtf8(kWebSiteTarget);
    if (web.isEmpty()) {
        m_Web->ShowAsPlainText();
    } else {
        m_Web->SetTarget(web);
        m_Web->Prepare();
    }

    m_Mail = new CLinkLabel(QStringLiteral("Send mail to Lumark"), this);
    m_Mail->setObjectName(QStringLiteral("1073"));
    m_Mail->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    m_Mail->setGeometry(DluRect(this, 88, 67, 116, 8));
    const QString mail = MailTarget(QString::fromUtf8(kMailAddress));
    if (mail.isEmpty()) {
        m_Mail->ShowAsPlainText();
    } else {
        m_Mail->SetTarget(mail);
        m_Mail->Prepare();
    }

    auto* small = new QLabel(this);
    small->setObjectName(QStringLiteral("1032"));
    const QRect smallRect = DluRect(this, 7, 89, 15, 13);
    small->setGeometry(smallRect);
    small->setPixmap(DrawSmallLogo(smallBitmap, smallRect.size()));

    m_Ok = new QPushButton(QStringLiteral("OK"), this);
    m_Ok->setObjectName(QStringLiteral("1"));
    m_Ok->setGeometry(DluRect(this, 160, 88, 50, 14));
    m_Ok->setDefault(true);
    m_Ok->setFocus();
    connect(m_Ok, &QPushButton::clicked, this, &QDialog::accept);
}

QLabel* CAboutBox::Field(int id) const {
    switch (id) {
    case 1033:
        return m_Version;
    case 1034:
        return m_Legal;
    case 1035:
        return m_Description;
    case 1036:
        return m_Company;
    default:
        return nullptr;
    }
}

} // namespace vq5::qt
