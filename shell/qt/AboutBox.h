// CAboutBox: "About VQ-5 Tools", the same modal box in every tool. Shows the program's
// description, version, legal text and company from the program's own version information
// (compiled in), the large logo, the tool's small picture, and two hyperlink labels: the
// maker's web site and a mail to the maker.
#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QPushButton;

namespace vq5::qt {

class CLinkLabel;

// The program's version information.
struct VersionInfo {
    QString description; // FileDescription; empty = no version information
    QString version;     // FileVersion
    QString company;     // CompanyName
    QString legal;       // LegalCopyright
};
// The version information compiled into this build for a program with this description.
VersionInfo BuildVersionInfo(const QString& description);

// The maker's web site and mail address, set when building (CMake cache variables
// VQ5_WEB_SITE and VQ5_MAIL_ADDRESS, both empty by default). An empty one leaves its label as
// plain text.
#ifndef VQ5_WEB_SITE
#define VQ5_WEB_SITE ""
#endif
#ifndef VQ5_MAIL_ADDRESS
#define VQ5_MAIL_ADDRESS ""
#endif
inline constexpr const char* kWebSiteTarget = VQ5_WEB_SITE;
inline constexpr const char* kMailAddress = VQ5_MAIL_ADDRESS;
// "mailto:" and the address; empty for an empty address.
QString MailTarget(const QString& address);

class CAboutBox : public QDialog {
    Q_OBJECT
public:
    // The full box of the configuration tools. `smallBitmap` 130 or 132.
    CAboutBox(const VersionInfo& info, int smallBitmap, QWidget* parent = nullptr);
    // The emulator's shorter box: "VQ5 Tool %s, version %s" with the program and version
    // text, fixed company and legal texts, no version information read.
    CAboutBox(const QString& program, const QString& versionText, int smallBitmap, QWidget* parent = nullptr);

    QLabel* Field(int id) const; // 1033, 1034, 1035, 1036 (nullptr when the box has none)
    CLinkLabel* WebLink() const { return m_Web; }
    CLinkLabel* MailLink() const { return m_Mail; }
    QPushButton* OkButton() const { return m_Ok; }

private:
    void Build(int smallBitmap, bool shortVariant);
    // Wraps `label`'s text at its width and, where the text needs more lines than the label
    // has, makes it that much taller: what lies below moves down, the frame and the box grow.
    void FitText(QLabel* label);

    QLabel* m_Description = nullptr; // 1035
    QLabel* m_Version = nullptr;     // 1033
    QLabel* m_Legal = nullptr;       // 1034
    QLabel* m_Company = nullptr;     // 1036
    CLinkLabel* m_Web = nullptr;     // 1072
    CLinkLabel* m_Mail = nullptr;    // 1073
    QPushButton* m_Ok = nullptr;     // 1
};

} // namespace vq5::qt
