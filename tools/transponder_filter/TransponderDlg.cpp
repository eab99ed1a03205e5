#include "TransponderDlg.h"

#include "DialogControls.h"
#include "EngineFront.h"
#include "ServiceRecord.h"
#include "WindowBinding.h"

#include <QAction>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>

#include <cctype>

namespace vq5::tct {

namespace {

qt::ToolInfo TctToolInfo() {
    return qt::MakeToolInfo(QStringLiteral("VQ5WTCT"), QStringLiteral("VQ-5 Transponder Configuration Tool"),
                            qt::ToolInfo::PrgStyle, 130);
}

struct FrameDef {
    const char* name;
    const char* explanation;
};

const FrameDef kFrames[kSettingCount] = {
    {"Window", "Window tijd waarin gemeten wordt. Dit gaat in stappen van 24ms."},
    {"Minimal", "Minimale aantal Vx pulsen die binnen moeten komen in de window tijd."},
    {"Offset", "Offset ten opzichte van de 24ms die nodig is voor een valide Vx puls."},
    {"Stable", "Tijd die in een halte gebleven wordt zonder opnieuw de Vx pulsen te meten."},
};

} // namespace

CTransponderDlg::CTransponderDlg(ISettingsStore* store, QWidget* parent)
    : CToolEngineHolder(store), qt::CToolDialog(TctToolInfo(), m_Engine, parent) {
    QWidget* body = Body();
    SetBodySize(qt::DluSize(this, 252, 308));

    // Four frames, top to bottom: explanation, slider, read-out.
    for (int i = 0; i < kSettingCount; ++i) {
        const int y = 7 + i * 46;
        auto* frame = qt::Placed(this, new QGroupBox(QString::fromLatin1(kFrames[i].name), body),
                                 QString::fromLatin1(kFrames[i].name), QRect(7, y, 238, 42));
        auto* explain = new QLabel(QString::fromLatin1(kFrames[i].explanation), body);
        explain->setWordWrap(true);
        explain->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        explain->setGeometry(qt::DluRect(this, 14, y + 10, 110, 28));
        auto* slider = new QSlider(Qt::Horizontal, body);
        slider->setObjectName(QString::fromLatin1(kFrames[i].name) + QStringLiteral("Slider"));
        slider->setTickPosition(QSlider::TicksBelow);
        slider->setTickInterval(1);
        slider->setPageStep(1);
        slider->setGeometry(qt::DluRect(this, 128, y + 14, 90, 18));
        auto* readOut = new QLabel(QStringLiteral("N"), body);
        readOut->setObjectName(QString::fromLatin1(kFrames[i].name) + QStringLiteral("Value"));
        readOut->setAlignment(Qt::AlignCenter);
        readOut->setGeometry(qt::DluRect(this, 222, y + 17, 18, 10));
        m_Frame[i] = frame;
        m_Explain[i] = explain;
        m_Slider[i] = slider;
        m_ReadOut[i] = readOut;
        const auto s = static_cast<Setting>(i);
        connect(slider, &QSlider::valueChanged, this, [this, s] { SliderMoved(s); });
    }

    qt::Placed(this, new QGroupBox(QStringLiteral("Options"), body), QStringLiteral("Options"),
               QRect(7, 191, 238, 30));
    m_Reboot = qt::Placed(this, new QCheckBox(QStringLiteral("Reboot VQ5 na programmering."), body),
                          QStringLiteral("Reboot"), QRect(14, 203, 150, 12));
    m_Default = qt::PlacedButton(this, body, QStringLiteral("&Default"), QStringLiteral("Default"),
                                 QRect(188, 201, 50, 14), [this] { Default(); });

    m_EngineFrame = qt::Placed(this, new QGroupBox(QStringLiteral("Engine"), body), QStringLiteral("1001"),
                               QRect(7, 225, 176, 76));

    m_Load = qt::PlacedButton(this, body, QStringLiteral("&Load from VQ5"), QStringLiteral("Load"),
                              QRect(188, 231, 57, 14), [this] { Load(); });
    m_Save = qt::PlacedButton(this, body, QStringLiteral("&Save to VQ5"), QStringLiteral("Save"),
                              QRect(188, 249, 57, 14), [this] { Save(); });
    m_Exit = qt::PlacedButton(
        this, body, QStringLiteral("Exit"), QStringLiteral("1"), QRect(188, 287, 57, 14),
        [this] { ExitDialog(); }, qt::ButtonRole::Default);

    // Engine status box in place of the "Engine" frame (the engine starts), placement.
    InitDialog(m_EngineFrame);
    m_Version.Seed(Engine().VersionMajor(), Engine().VersionMinor());
    // "&Exit" of the menu is the same command as the "Exit" button: it takes the values.
    if (QAction* exit = Action(qt::cmdExit)) {
        disconnect(exit, &QAction::triggered, this, nullptr);
        connect(exit, &QAction::triggered, this, [this] { ExitDialog(); });
    }

    for (int i = 0; i < kSettingCount; ++i) {
        SettingRange r = RangeOf(static_cast<Setting>(i));
        m_Putting = true;
        m_Slider[i]->setRange(r.lo, r.hi);
        m_Putting = false;
    }
    m_Model.Bind(Section()); // Reboot, Window, Minimal, Offset, Stable
    PutValues();
    UpdateTexts({sWindow, sMinimal, sOffset, sStable});
}

CTransponderDlg::~CTransponderDlg() {
    Shutdown();
}

bool CTransponderDlg::TakeValues() {
    auto refused =
        m_Model.Take(m_Slider[sWindow]->value(), m_Slider[sMinimal]->value(), m_Slider[sOffset]->value(),
                     m_Slider[sStable]->value(), m_Reboot->isChecked());
    if (!refused)
        return true;
    Warning(QString::fromStdString(*refused));
    return false;
}

void CTransponderDlg::PutValues() {
    m_Putting = true;
    for (int i = 0; i < kSettingCount; ++i)
        m_Slider[i]->setValue(m_Model.Value(static_cast<Setting>(i)));
    m_Reboot->setChecked(m_Model.m_Reboot != 0);
    m_Putting = false;
}

void CTransponderDlg::UpdateTexts(const std::vector<Setting>& settings) {
    for (Setting s : settings) {
        m_Frame[s]->setTitle(QString::fromStdString(m_Model.FrameTitle(s)));
        m_ReadOut[s]->setText(QString::fromStdString(m_Model.ReadOut(s)));
    }
}

void CTransponderDlg::SliderMoved(Setting s) {
    if (m_Putting)
        return;
    if (!TakeValues())
        return;
    UpdateTexts(m_Model.Couple(s));
    PutValues(); // a coupled slider moves with the one being dragged
}

void CTransponderDlg::Load() {
    qt::CWaitCursor wait;
    m_Load->setEnabled(false);
    m_Save->setEnabled(false);
    TakeValues();
    m_Model.QueueLoad(Engine());
}

void CTransponderDlg::Save() {
    qt::CWaitCursor wait;
    m_Load->setEnabled(false);
    m_Save->setEnabled(false);
    if (!TakeValues()) {
        // Nothing queued, so no empty queue will report back: give the buttons back now.
        m_Load->setEnabled(true);
        m_Save->setEnabled(true);
        return;
    }
    // An offset the device cannot hold is said before it is sent, with what will be stored.
    if (const std::string warning = m_Version.OffsetWarning(m_Model.m_Offset); !warning.empty()) {
        std::string text = warning + ".";
        text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
        Warning(QString::fromStdString(text));
    }
    RecordWhenTaken(m_Model.QueueSave(Engine()));
}

void CTransponderDlg::Default() {
    m_Model.Defaults();
    PutValues();
    UpdateTexts({sWindow, sMinimal, sOffset, sStable});
}

void CTransponderDlg::ExitDialog() {
    if (!TakeValues())
        return;
    RunCommand(qt::cmdExit);
}

void CTransponderDlg::OnNotify(const Notification& n) {
    // Follow the device version in notification order, so a reply is read with the
    // version that held when it arrived.
    m_Version.OnNotification(n);
    switch (n.kind) {
    case nkReceived: {
        const std::string pk = Engine().AddressCommand("&PK");
        auto r = m_Model.ParseReply(n.text, pk, m_Version.Major(), m_Version.Minor());
        if (r.effect == CTransponderModel::ReplyEffect::Changed) {
            UpdateTexts(r.texts);
            RecordRead(record::kKindConfig, CTransponderModel::SettingKey(r.changed),
                       std::to_string(r.deviceValue));
        }
        if (r.effect != CTransponderModel::ReplyEffect::None)
            PutValues();
        break;
    }
    case nkQueueEmpty:
        m_Load->setEnabled(true);
        m_Save->setEnabled(true);
        break;
    default:
        break;
    }
}

} // namespace vq5::tct
