#include "SettingsDlg.h"

#include "VLPEngine.h"

#include "WindowBinding.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFontMetrics>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QStyle>

#include <algorithm>

namespace vq5::qt {

namespace {

const char* const kSpeedNames[6] = {"1200", "2400", "4800", "9600", "14400", "19200"};

QRect DuRect(const QWidget* dlg, int x, int y, int w, int h) {
    return DluRect(dlg, x, y, w, h);
}
QSize DuSize(const QWidget* dlg, int w, int h) {
    return DluSize(dlg, w, h);
}

// A drop-down box in a dialog template is as tall as its open list; the closed box keeps
// its own height at the template's top edge.
void PlaceCombo(QComboBox* box, const QRect& r) {
    box->setGeometry(r.x(), r.y(), r.width(), box->sizeHint().height());
}

// Case-insensitive, runs of digits by their value: "COM2" before "COM10".
bool NaturalLess(const QString& a, const QString& b) {
    qsizetype i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i].isDigit() && b[j].isDigit()) {
            qsizetype ei = i, ej = j;
            while (ei < a.size() && a[ei].isDigit())
                ++ei;
            while (ej < b.size() && b[ej].isDigit())
                ++ej;
            // Compare the numbers without converting them (any length): skip leading zeros,
            // then the longer run is larger, then digit by digit.
            qsizetype zi = i, zj = j;
            while (zi + 1 < ei && a[zi] == QLatin1Char('0'))
                ++zi;
            while (zj + 1 < ej && b[zj] == QLatin1Char('0'))
                ++zj;
            if (ei - zi != ej - zj)
                return ei - zi < ej - zj;
            for (; zi < ei; ++zi, ++zj)
                if (a[zi] != b[zj])
                    return a[zi] < b[zj];
            i = ei;
            j = ej;
            continue;
        }
        const QChar ca = a[i].toLower(), cb = b[j].toLower();
        if (ca != cb)
            return ca < cb;
        ++i;
        ++j;
    }
    if ((a.size() - i) != (b.size() - j))
        return a.size() - i < b.size() - j;
    return a < b; // equal ignoring case and zeros: a fixed order all the same
}

} // namespace

QStringList SpeedNames() {
    QStringList names;
    for (int i = 0; i < 5; ++i)
        names << QString::fromLatin1(kSpeedNames[i]);
    return names;
}

QString SpeedName(int index) {
    return index >= 0 && index < 6 ? QString::fromLatin1(kSpeedNames[index]) : QString();
}

int SpeedIndex(const QString& name) {
    for (int i = 0; i < 6; ++i)
        if (name == QLatin1String(kSpeedNames[i]))
            return i;
    return -1;
}

QStringList MachinePorts() {
    QStringList ports;
    const QDir dev(QStringLiteral("/dev"));
    const QStringList patterns{QStringLiteral("ttyS*"), QStringLiteral("ttyUSB*"), QStringLiteral("ttyACM*")};
    for (const QString& name : dev.entryList(patterns, QDir::System | QDir::Files | QDir::NoDotAndDotDot))
        ports << dev.filePath(name);
    const QDir byId(QStringLiteral("/dev/serial/by-id"));
    if (byId.exists())
        for (const QString& name : byId.entryList(QDir::System | QDir::Files | QDir::NoDotAndDotDot))
            ports << byId.filePath(name);
    return ports;
}

CSettingsDlg::CSettingsDlg(QWidget* parent, QStringList machinePorts) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Settings VQ-5"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setModal(true);
    m_ShowMessage = [this](const QString& text) { QMessageBox::warning(this, windowTitle(), text); };

    QStringList ports;
    for (int i = 1; i <= 8; ++i)
        ports << QStringLiteral("COM%1").arg(i);
    for (const QString& p : machinePorts)
        if (!ports.contains(p))
            ports << p;
    std::sort(ports.begin(), ports.end(), NaturalLess); // the sorted list

    m_Rs232 = new QGroupBox(QStringLiteral("RS232"), this);
    m_Rs232->setGeometry(DuRect(this, 5, 5, 135, 45));
    m_Lower = new QGroupBox(this);
    m_Lower->setGeometry(DuRect(this, 5, 50, 135, 30));

    m_Icon = new QLabel(this);
    const int iconSize = style()->pixelMetric(QStyle::PM_LargeIconSize);
    const QIcon icon = QApplication::windowIcon();
    if (!icon.isNull())
        m_Icon->setPixmap(icon.pixmap(iconSize, iconSize));
    const QRect iconPos = DuRect(this, 15, 20, 0, 0);
    m_Icon->setGeometry(iconPos.x(), iconPos.y(), iconSize, iconSize);

    auto* portLabel = new QLabel(QStringLiteral("COM Port"), this);
    portLabel->setAlignment(Qt::AlignRight | Qt::AlignTop);
    portLabel->setGeometry(DuRect(this, 45, 15, 35, 10));
    m_PortBox = new QComboBox(this);
    m_PortBox->setObjectName(QStringLiteral("1065"));
    m_PortBox->setEditable(true);
    m_PortBox->setInsertPolicy(QComboBox::NoInsert); // a typed name is taken as typed
    m_PortBox->addItems(ports);
    PlaceCombo(m_PortBox, DuRect(this, 86, 14, 46, 45));
    m_PortBox->setToolTip(QStringLiteral("The serial port of the VQ-5"));

    auto* speedLabel = new QLabel(QStringLiteral("Baudrate"), this);
    speedLabel->setAlignment(Qt::AlignRight | Qt::AlignTop);
    speedLabel->setGeometry(DuRect(this, 45, 31, 35, 10));
    m_SpeedBox = new QComboBox(this);
    m_SpeedBox->setObjectName(QStringLiteral("1066"));
    m_SpeedBox->addItems(SpeedNames());
    m_SpeedBox->setCurrentIndex(-1);
    PlaceCombo(m_SpeedBox, DuRect(this, 86, 30, 46, 49));

    auto* timeoutLabel = new QLabel(QStringLiteral("Read timeout (ms)"), this);
    // As wide as the room before the edit field: the label's font may be wider than the
    // dialog units suppose.
    timeoutLabel->setGeometry(DuRect(this, 10, 60, 74, 8));
    timeoutLabel->setMinimumHeight(timeoutLabel->fontMetrics().height());
    if (timeoutLabel->fontMetrics().horizontalAdvance(timeoutLabel->text()) > timeoutLabel->width())
        timeoutLabel->resize(timeoutLabel->fontMetrics().horizontalAdvance(timeoutLabel->text()),
                             timeoutLabel->height());
    m_TimeoutEdit = new QLineEdit(this);
    m_TimeoutEdit->setObjectName(QStringLiteral("1070"));
    m_TimeoutEdit->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), m_TimeoutEdit));
    m_TimeoutEdit->setGeometry(DuRect(this, 86, 60, 46, 12));

    m_Ok = new QPushButton(QStringLiteral("OK"), this);
    m_Ok->setDefault(true);
    m_Ok->setAutoDefault(true);
    m_Ok->setGeometry(DuRect(this, 86, 88, 54, 14));
    connect(m_Ok, &QPushButton::clicked, this, &CSettingsDlg::accept);

    setFixedSize(DuSize(this, 147, 109));
    int longest = 0;
    for (const QString& p : ports)
        longest = std::max(longest, fontMetrics().horizontalAdvance(p));
    FitPortWidth(longest);
    m_PortBox->setFocus();
}

void CSettingsDlg::FitPortWidth(int textWidth) {
    // Port names of this machine (/dev/serial/by-id/...) are long: the port box, the group
    // boxes, the OK button and the dialog grow by what the name needs beyond the box's width.
    const int base = DuRect(this, 86, 14, 46, 45).width();
    const int arrowAndFrame = style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 16;
    const int extra = std::clamp(textWidth + arrowAndFrame - base, 0, 600);
    if (extra <= m_Extra)
        return;
    m_Extra = extra;
    m_Rs232->setGeometry(DuRect(this, 5, 5, 135, 45).adjusted(0, 0, extra, 0));
    m_Lower->setGeometry(DuRect(this, 5, 50, 135, 30).adjusted(0, 0, extra, 0));
    PlaceCombo(m_PortBox, DuRect(this, 86, 14, 46, 45).adjusted(0, 0, extra, 0));
    m_Ok->setGeometry(DuRect(this, 86, 88, 54, 14).translated(extra, 0));
    setFixedSize(DuSize(this, 147, 109) + QSize(extra, 0));
}

void CSettingsDlg::PutValues() {
    FitPortWidth(m_PortBox->fontMetrics().horizontalAdvance(m_ComPort));
    m_Put = true;
    // The entry that is exactly the port name, or else the name as typed text.
    const int index = m_PortBox->findText(m_ComPort, Qt::MatchExactly | Qt::MatchCaseSensitive);
    m_PortBox->setCurrentIndex(index);
    if (index < 0)
        m_PortBox->setEditText(m_ComPort);
    m_SpeedBox->setCurrentIndex(m_SpeedBox->findText(m_Speed, Qt::MatchExactly | Qt::MatchCaseSensitive));
    m_TimeoutEdit->setText(QString::number(m_Timeout));
}

bool CSettingsDlg::TakeValues() {
    m_ComPort = m_PortBox->currentText();
    m_Speed = m_SpeedBox->currentIndex() >= 0 ? m_SpeedBox->currentText() : QString();
    bool ok = false;
    const qulonglong value = m_TimeoutEdit->text().trimmed().toULongLong(&ok);
    if (!ok || value < kMinTimeout || value > kMaxTimeout) {
        if (m_ShowMessage)
            m_ShowMessage(QStringLiteral("Please enter an integer between %1 and %2.")
                              .arg(kMinTimeout)
                              .arg(kMaxTimeout));
        m_TimeoutEdit->setFocus();
        m_TimeoutEdit->selectAll();
        return false;
    }
    m_Timeout = static_cast<unsigned>(value);
    return true;
}

void CSettingsDlg::accept() {
    if (!TakeValues())
        return; // the dialog stays open
    QDialog::accept();
}

void CSettingsDlg::showEvent(QShowEvent* event) {
    if (!m_Put)
        PutValues();
    QDialog::showEvent(event);
}

void FillSettingsDialog(CSettingsDlg& dlg, const CVLPEngine& engine) {
    dlg.m_ComPort = QString::fromStdString(engine.m_ComPort);
    dlg.m_Timeout = engine.m_Timeout.load();
    dlg.m_Speed = SpeedName(engine.m_FastBaudRate.load());
}

bool ApplyConnectionSettings(CVLPEngine& engine, const CSettingsDlg& dlg, IUserMessages* messages) {
    engine.m_Timeout.store(dlg.m_Timeout);
    bool restarted = false;
    // Compared as the dialog saw the old name, so an untouched name is never rewritten.
    if (dlg.m_ComPort != QString::fromStdString(engine.m_ComPort)) {
        if (messages != nullptr)
            messages->Abandon(); // a box of the old worker must not hold the stop
        engine.Stop();
        engine.m_ComPort = dlg.m_ComPort.toStdString();
        if (messages != nullptr)
            messages->Reset();
        engine.Start();
        restarted = true;
    }
    const int speed = SpeedIndex(dlg.m_Speed);
    if (speed >= 0)
        engine.m_FastBaudRate.store(speed);
    return restarted;
}

} // namespace vq5::qt
