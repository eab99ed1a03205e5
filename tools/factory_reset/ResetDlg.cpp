#include "ResetDlg.h"

#include "DialogControls.h"
#include "WindowBinding.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

namespace vq5::factory_reset {

qt::ToolInfo ResetToolInfo() {
    qt::ToolInfo info =
        qt::MakeToolInfo(QStringLiteral("VQ5WReset"), QStringLiteral("VQ5WReset"), qt::ToolInfo::None, 130);
    info.placement = QStringLiteral("dlgWnd-1.0");
    info.description = QStringLiteral("VQ-5 factory reset tool");
    info.tooltips = {
        {QStringLiteral("reset"), QStringLiteral("Restore the factory defaults of the VQ-5 and reboot it")},
        {QStringLiteral("exit"), QStringLiteral("Close VQ5WReset")},
    };
    return info;
}

CResetDlg::CResetDlg(ISettingsStore* store, QWidget* parent)
    : CToolEngineHolder(store), qt::CToolDialog(ResetToolInfo(), m_Engine, parent), m_Model(m_Engine) {
    QWidget* body = Body();
    // 257 x 105 dialog units: the status box frame at the left, the buttons at the right.
    SetBodySize(qt::DluSize(this, 257, 105));

    m_Placeholder = qt::Placed(this, new QGroupBox(body), QStringLiteral("1000"), QRect(7, 7, 172, 91));

    m_Reset = qt::Placed(this, new QPushButton(QStringLiteral("&Reset"), body), QStringLiteral("reset"),
                         QRect(188, 11, 62, 14));
    m_Reset->setDefault(true);

    m_Text = new QLabel(QStringLiteral("Reboot and factory default the VQ5(s)"), body);
    m_Text->setObjectName(QStringLiteral("explanation"));
    m_Text->setWordWrap(true);
    m_Text->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    m_Text->setGeometry(qt::DluRect(this, 188, 30, 62, 26));

    m_Exit = qt::Placed(this, new QPushButton(QStringLiteral("&Exit"), body), QStringLiteral("exit"),
                        QRect(188, 84, 62, 14));

    connect(m_Reset, &QPushButton::clicked, this, [this] { OnReset(); });
    connect(m_Exit, &QPushButton::clicked, this, [this] { RunCommand(qt::cmdExit); });

    // The placement under "dlgWnd-1.0", then the status box in place of frame 1000 and the
    // engine started. The section "Settings_V2.3" holds only the placement.
    InitDialog(m_Placeholder);
}

CResetDlg::~CResetDlg() {
    Shutdown();
}

void CResetDlg::OnReset() {
    if (!m_Model.ResetEnabled())
        return;
    m_Reset->setEnabled(false);
    RecordWhenTaken(m_Model.Reset());
}

void CResetDlg::OnNotify(const Notification& n) {
    if (m_Model.OnNotify(n))
        m_Reset->setEnabled(m_Model.ResetEnabled());
}

} // namespace vq5::factory_reset
