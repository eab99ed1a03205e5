#include "ProgrammerDlg.h"

#include "EngineFront.h"
#include "Logo.h"
#include "ServiceReport.h"
#include "ServiceRecord.h"
#include "WindowBinding.h"

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QSlider>

#include <cctype>

namespace vq5::programmer {

namespace {

// Identifiers of the frames, as the dialog numbers them.
const char* const kIdFrameName = "1028";
const char* const kFilterFrameName = "1027";
const char* const kEngineFrameName = "1000";

qt::ToolInfo PrgToolInfo() {
    qt::ToolInfo info = qt::MakeToolInfo(QStringLiteral("VQ5WPrg"), QStringLiteral("VQ-5 / HUM-1 Programmer"),
                                         qt::ToolInfo::PrgStyle, 130);
    info.placement = QStringLiteral("dlgWnd-1.9");
    info.serviceHistory = true;
    // Tooltips by control, as the string table has them ("IDC_TRANS_WINDOW" included).
    for (const FlagRow& f : FlagRows())
        if (*f.tooltip)
            info.tooltips.insert(QString::fromLatin1(f.key), QString::fromUtf8(f.tooltip));
    info.tooltips.insert(QStringLiteral("RebootAfterProgramming"),
                         QStringLiteral("Reboot de VQ-5 / HUM-2 direct na het programeren."));
    info.tooltips.insert(
        QStringLiteral("ButtonDataCall1"),
        QStringLiteral("Enable het verzenden van een datacall na het veranderen van het lijn nummer."));
    info.tooltips.insert(
        QStringLiteral("ButtonDataCall2"),
        QStringLiteral("Enable het verzenden van een datacall na het opstarten van de VQ-5 / HUM-1."));
    info.tooltips.insert(
        QStringLiteral("ButtonDataCall3"),
        QStringLiteral("Enable het verzenden van een datacall na het indrukken van de GP key."));
    for (const char* edit : {"EditDataCall1", "EditDataCall2", "EditDataCall3"})
        info.tooltips.insert(QString::fromLatin1(edit),
                             QStringLiteral("De datacall die verzonden moet worden"));
    info.tooltips.insert(QStringLiteral("TransConfigSliderWindow"), QStringLiteral("IDC_TRANS_WINDOW"));
    return info;
}

// The right-hand frame lists the flags in this order, top to bottom; the three city flags
// are indented under "Streekvervoer (else Stad)".
const FlagIndex kFlagLayout[kFlagCount] = {
    fOpenbaarVervoer,     fStreekvervoer,       fStadBus,   fStadCAT1,   fStadCAT2,           fMaxRunnummer,
    fClearEeprom,         fSelftestAfterReboot, fReadyToGo, fDoorLussen, fVertaalLijnnummers, fVetag19GPKey,
    fParalelleTransponder};

QString Text(const std::string& s) {
    return QString::fromStdString(s);
}

} // namespace

// ---------------------------------------------------------------------------------------

CTriStateBox::CTriStateBox(const QString& text, QWidget* parent) : QCheckBox(text, parent) {
    setTristate(true);
}

Qt::CheckState CTriStateBox::StateOf(int value) {
    switch (value) {
    case tsOff:
        return Qt::Unchecked;
    case tsOn:
        return Qt::Checked;
    default:
        return Qt::PartiallyChecked;
    }
}

int CTriStateBox::ValueOf(Qt::CheckState state) {
    switch (state) {
    case Qt::Unchecked:
        return tsOff;
    case Qt::Checked:
        return tsOn;
    default:
        return tsIndeterminate;
    }
}

void CTriStateBox::nextCheckState() {
    // 0 -> 1 -> 2 -> 0, the order of the values.
    SetValue((Value() + 1) % 3);
}

// ---------------------------------------------------------------------------------------

CProgrammerDlg::CProgrammerDlg(ISettingsStore* store, QWidget* parent)
    : CToolEngineHolder(store), qt::CToolDialog(PrgToolInfo(), m_Engine, parent) {
    // Construction: every value bound with its first-start default.
    m_Model.Bind(Section());

    BuildControls();

    // Window initialisation: expert mode, placement, the engine status box in place of the
    // "Engine" frame (the engine starts), tooltips.
    InitDialog(m_EngineFrame);
    m_Model.m_Expert = ExpertMode();
    // "&Exit" of the "&File" menu is the same command as the "&Exit" button: it takes the values.
    if (QAction* exit = Action(qt::cmdExit)) {
        disconnect(exit, &QAction::triggered, this, nullptr);
        connect(exit, &QAction::triggered, this, [this] { ExitDialog(); });
    }
    m_IdGroup.Init(this, QString::fromLatin1(kIdFrameName));
    m_FilterGroup.Init(this, QString::fromLatin1(kFilterFrameName));

    m_Putting = true;
    for (int i = 0; i < kSliderCount; ++i)
        m_Slider[i]->setRange(SliderRows()[i].min, SliderRows()[i].max);
    m_Putting = false;
    ShowAllValues();
}

CProgrammerDlg::~CProgrammerDlg() {
    if (m_WaitCursor) {
        QApplication::restoreOverrideCursor();
        m_WaitCursor = false;
    }
    Shutdown();
}

void CProgrammerDlg::BuildControls() {
    QWidget* body = Body();
    SetBodySize(qt::DluSize(this, 252, 246));
    auto place = [this](QWidget* w, int x, int y, int cx, int cy) {
        w->setGeometry(qt::DluRect(this, x, y, cx, cy));
    };
    auto button = [&](const QString& text, const char* name, int x, int y) {
        auto* b = new QPushButton(text, body);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoDefault(false);
        place(b, x, y, 50, 14);
        return b;
    };
    // A frame titled by a check box on its top edge; clicking the box applies the frame groups.
    auto checkedFrame = [&](QGroupBox*& frame, const char* frameName, QRect frameDlu, QCheckBox*& box,
                            const QString& label, const QString& boxName, QRect boxDlu) {
        frame = new QGroupBox(body);
        frame->setObjectName(QString::fromLatin1(frameName));
        place(frame, frameDlu.x(), frameDlu.y(), frameDlu.width(), frameDlu.height());
        box = new QCheckBox(label, body);
        box->setObjectName(boxName);
        place(box, boxDlu.x(), boxDlu.y(), boxDlu.width(), boxDlu.height());
        connect(box, &QCheckBox::clicked, this, [this] {
            TakeValues();
            ApplyFrameGroups();
        });
    };

    // The identifier frame across the top: its check box is the title, the logo at the right.
    checkedFrame(m_IdFrame, kIdFrameName, QRect(7, 4, 238, 32), m_CheckConfigID,
                 QStringLiteral("Configuratie identifier"), QStringLiteral("CheckConfigID"),
                 QRect(13, 5, 92, 10));
    m_ConfigID = new QLineEdit(body);
    m_ConfigID->setObjectName(QStringLiteral("ConfigID"));
    m_ConfigID->setMaxLength(static_cast<int>(kConfigIdTypingLimit));
    place(m_ConfigID, 13, 17, 200, 13);
    m_Logo = new QLabel(body);
    m_Logo->setObjectName(QStringLiteral("Logo"));
    const QRect logoRect = qt::DluRect(this, 221, 13, 19, 18);
    m_Logo->setGeometry(logoRect);
    m_Logo->setPixmap(qt::DrawSmallLogo(130, logoRect.size()));
    m_Logo->setCursor(Qt::PointingHandCursor);
    m_Logo->installEventFilter(this);

    // "Datacalls" at the left: three tri-state boxes with their texts.
    m_DataCallFrame = new QGroupBox(QStringLiteral("Datacalls"), body);
    m_DataCallFrame->setObjectName(QStringLiteral("Datacalls"));
    place(m_DataCallFrame, 7, 39, 118, 58);
    for (int i = 0; i < kDataCalls; ++i) {
        const DataCallRow& r = DataCallRows()[i];
        const int y = 51 + i * 15;
        m_DataCall[i] = new CTriStateBox(QString::fromLatin1(r.label), body);
        m_DataCall[i]->setObjectName(QString::fromLatin1(r.enableKey));
        place(m_DataCall[i], 13, y, 72, 10);
        m_DataCallText[i] = new QLineEdit(body);
        m_DataCallText[i]->setObjectName(QString::fromLatin1(r.textKey));
        place(m_DataCallText[i], 86, y - 1, 34, 12);
        connect(m_DataCall[i], &QCheckBox::clicked, this, [this] {
            TakeValues();
            ApplyDataCallEdits();
        });
    }

    // The filter frame: its check box sits on the top edge; four rows of label and slider.
    checkedFrame(m_FilterFrame, kFilterFrameName, QRect(7, 101, 118, 64), m_CheckTransConfig,
                 QStringLiteral("Transponder filter"), QStringLiteral("CheckTransConfig"),
                 QRect(13, 101, 76, 10));
    for (int i = 0; i < kSliderCount; ++i) {
        const int y = 113 + i * 13;
        m_SliderLabel[i] = new QLabel(body);
        m_SliderLabel[i]->setObjectName(QStringLiteral("Label") + QString::fromLatin1(SliderRows()[i].name));
        place(m_SliderLabel[i], 13, y + 2, 60, 8);
        m_Slider[i] = new QSlider(Qt::Horizontal, body);
        m_Slider[i]->setObjectName(QString::fromLatin1(SliderRows()[i].key));
        m_Slider[i]->setPageStep(1);
        place(m_Slider[i], 74, y, 47, 12);
        const auto s = static_cast<Slider>(i);
        connect(m_Slider[i], &QSlider::valueChanged, this, [this, s] { SliderMoved(s); });
    }

    // The "Engine" frame, which the engine status box replaces.
    m_EngineFrame = new QGroupBox(QStringLiteral("Engine"), body);
    m_EngineFrame->setObjectName(QString::fromLatin1(kEngineFrameName));
    place(m_EngineFrame, 7, 168, 118, 72);

    // The untitled flag frame at the right.
    m_FlagFrame = new QGroupBox(body);
    m_FlagFrame->setObjectName(QStringLiteral("Flags"));
    place(m_FlagFrame, 130, 39, 115, 157);
    for (int row = 0; row < kFlagCount; ++row) {
        const FlagIndex f = kFlagLayout[row];
        const bool indent = f == fStadBus || f == fStadCAT1 || f == fStadCAT2;
        m_Flag[f] = new CTriStateBox(QString::fromLatin1(FlagRows()[f].label), body);
        m_Flag[f]->setObjectName(QString::fromLatin1(FlagRows()[f].key));
        place(m_Flag[f], indent ? 146 : 136, 47 + row * 11, indent ? 95 : 105, 10);
    }
    m_Reboot = new QCheckBox(QStringLiteral("Reboot after programming"), body);
    m_Reboot->setObjectName(QStringLiteral("RebootAfterProgramming"));
    place(m_Reboot, 136, 199, 105, 10);

    // The device buttons and "&Exit", the default button (Enter in an edit box is "&Exit").
    m_From = button(QStringLiteral("&From"), "From", 136, 212);
    m_Default = button(QStringLiteral("&Default"), "Default", 192, 212);
    m_To = button(QStringLiteral("&To"), "To", 136, 228);
    m_Exit = button(QStringLiteral("&Exit"), "1", 192, 228);
    m_Exit->setDefault(true);
    m_Exit->setAutoDefault(true);
    connect(m_From, &QPushButton::clicked, this, [this] { ReadFromDevice(); });
    connect(m_To, &QPushButton::clicked, this, [this] { WriteToDevice(); });
    connect(m_Default, &QPushButton::clicked, this, [this] { LoadDefaults(); });
    connect(m_Exit, &QPushButton::clicked, this, [this] { ExitDialog(); });
}

// ---------------------------------------------------------------------------------------
// Taking and putting the control values

bool CProgrammerDlg::TakeValues() {
    CProgrammerModel taken = m_Model;
    CProgrammerValues& v = taken.m_Values;
    v.m_CheckConfigID = m_CheckConfigID->isChecked() ? 1 : 0;
    v.m_ConfigID = m_ConfigID->text().toStdString();
    for (int i = 0; i < kDataCalls; ++i) {
        v.m_DataCall[i] = m_DataCall[i]->Value();
        v.m_DataCallText[i] = m_DataCallText[i]->text().toStdString();
    }
    for (int f = 0; f < kFlagCount; ++f)
        v.m_Flag[f] = m_Flag[f]->Value();
    v.m_Reboot = m_Reboot->isChecked() ? 1 : 0;
    v.m_CheckTransConfig = m_CheckTransConfig->isChecked() ? 1 : 0;
    for (int i = 0; i < kSliderCount; ++i)
        v.m_Slider[i] = m_Slider[i]->value();
    // An offset read from the device that the slider cannot show (26 to 31 ms before 8.2)
    // stays what the device holds until the user moves that slider.
    if (m_OffsetBeyondSlider)
        v.m_Slider[slOffset] = m_Model.m_Values.m_Slider[slOffset];
    if (const std::string refused = taken.RangeCheck(); !refused.empty()) {
        Refuse(refused);
        return false;
    }
    m_Model.m_Values = v;
    return true;
}

void CProgrammerDlg::PutValues() {
    const CProgrammerValues& v = m_Model.m_Values;
    m_Putting = true;
    m_CheckConfigID->setChecked(v.m_CheckConfigID == 1);
    // The box takes 60 typed characters, but a longer identifier read from the device
    // stands in it whole.
    const QString id = Text(v.m_ConfigID);
    m_ConfigID->setMaxLength(
        std::max<int>(static_cast<int>(kConfigIdTypingLimit), static_cast<int>(id.size())));
    m_ConfigID->setText(id);
    m_ConfigID->setCursorPosition(0); // show the start of a text longer than the box
    for (int i = 0; i < kDataCalls; ++i) {
        m_DataCall[i]->SetValue(v.m_DataCall[i]);
        m_DataCallText[i]->setText(Text(v.m_DataCallText[i]));
        m_DataCallText[i]->setCursorPosition(0);
    }
    for (int f = 0; f < kFlagCount; ++f)
        m_Flag[f]->SetValue(v.m_Flag[f]);
    m_Reboot->setChecked(v.m_Reboot == 1);
    m_CheckTransConfig->setChecked(v.m_CheckTransConfig == 1);
    for (int i = 0; i < kSliderCount; ++i)
        m_Slider[i]->setValue(v.m_Slider[i]);
    m_OffsetBeyondSlider = m_Slider[slOffset]->value() != v.m_Slider[slOffset];
    m_Putting = false;
}

void CProgrammerDlg::Refuse(const std::string& text) {
    const QString message = Text(text);
    Warning(message);
}

// ---------------------------------------------------------------------------------------
// Labels, frame groups, visibility

void CProgrammerDlg::UpdateSliderLabel(Slider s) {
    m_SliderLabel[s]->setText(Text(m_Model.SliderLabel(s)));
}

void CProgrammerDlg::UpdateAllSliderLabels() {
    for (int i = 0; i < kSliderCount; ++i)
        UpdateSliderLabel(static_cast<Slider>(i));
}

void CProgrammerDlg::ApplyFrameGroups() {
    m_IdGroup.Enable(m_Model.m_Values.m_CheckConfigID == 1, m_CheckConfigID);
    m_FilterGroup.Enable(m_Model.m_Values.m_CheckTransConfig == 1, m_CheckTransConfig);
}

void CProgrammerDlg::ApplyDataCallEdits() {
    for (int i = 0; i < kDataCalls; ++i)
        m_DataCallText[i]->setEnabled(m_Model.DataCallEditEnabled(i));
}

void CProgrammerDlg::ApplyVisibility(const CVisibility& v) {
    m_CheckTransConfig->setVisible(v.filter);
    for (QSlider* s : m_Slider)
        s->setVisible(v.filter);
    m_Flag[fParalelleTransponder]->setVisible(v.paralelle);
    m_Flag[fReadyToGo]->setVisible(v.readyToGo);
    m_Flag[fDoorLussen]->setVisible(v.doorLussen);
    for (int i = 0; i < kDataCalls; ++i) {
        m_DataCall[i]->setVisible(v.before91);
        m_DataCallText[i]->setVisible(v.before91);
    }
    m_Flag[fVetag19GPKey]->setVisible(v.before91);
    m_Flag[fVertaalLijnnummers]->setVisible(v.before91);
    for (FlagIndex f : {fStadBus, fStadCAT1, fStadCAT2})
        m_Flag[f]->setVisible(v.stad);
}

// ---------------------------------------------------------------------------------------
// Actions

void CProgrammerDlg::SliderMoved(Slider s) {
    if (m_Putting)
        return;
    if (s == slOffset)
        m_OffsetBeyondSlider = false; // the user's own value from now on
    if (!TakeValues())
        return;
    m_Model.SliderChanged(s);
    UpdateAllSliderLabels();
    PutValues(); // a coupled slider moves with the one being dragged
}

void CProgrammerDlg::SetDeviceButtonsEnabled(bool enabled) {
    m_From->setEnabled(enabled);
    m_To->setEnabled(enabled);
    m_Default->setEnabled(enabled);
}

void CProgrammerDlg::BecomeBusy() {
    m_Model.SetBusy(true);
    if (!m_WaitCursor) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        m_WaitCursor = true;
    }
}

void CProgrammerDlg::BecomeIdle() {
    m_Model.SetBusy(false);
    if (m_WaitCursor) {
        QApplication::restoreOverrideCursor();
        m_WaitCursor = false;
    }
}

void CProgrammerDlg::ReadFromDevice() {
    // The control values are not taken: the replies overwrite them.
    BecomeBusy();
    QueueSequence(Engine(), CProgrammerModel::ReadSequence(m_Model.m_Expert));
    SetDeviceButtonsEnabled(false);
}

void CProgrammerDlg::WriteToDevice() {
    if (!TakeValues())
        return;
    std::string error;
    const auto sequence = m_Model.WriteSequence(error);
    if (!sequence) {
        // Nothing is queued: a text that does not fit is never sent cut.
        Refuse(error);
        return;
    }
    // An offset the device cannot hold is said before it is sent, with what will be stored.
    if (std::string warning = m_Model.OffsetWarning(); !warning.empty()) {
        warning[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(warning[0])));
        Refuse(warning + ".");
    }
    BecomeBusy();
    QueueSequence(Engine(), *sequence);
    RecordWhenTaken(sequence->texts);
    SetDeviceButtonsEnabled(false);
}

void CProgrammerDlg::LoadDefaults() {
    m_Model.LoadDefaults();
    ShowAllValues();
}

void CProgrammerDlg::ShowAllValues() {
    UpdateAllSliderLabels();
    PutValues();
    ApplyFrameGroups();
    ApplyDataCallEdits();
    // Everything shows until the device identifies itself, but the parallel transponder
    // only in expert mode.
    m_Model.m_Visibility = CVisibility::All(m_Model.m_Expert);
    ApplyVisibility(m_Model.m_Visibility);
}

void CProgrammerDlg::ExitDialog() {
    if (!TakeValues())
        return;
    RunCommand(qt::cmdExit);
}

void CProgrammerDlg::OnNotify(const Notification& n) {
    const CNotifyOutcome out = m_Model.OnNotification(n);
    for (const std::string& key : out.parse.changed)
        if (const auto value = ValueText(m_Model.m_Values, key))
            RecordRead(record::kKindConfig, key, *value);
    if (out.parse.slider >= 0)
        UpdateAllSliderLabels();
    if (out.putValues)
        PutValues();
    if (out.parse.dataCall >= 0)
        ApplyDataCallEdits();
    if (out.applyVisibility)
        ApplyVisibility(m_Model.m_Visibility);
    if (out.becameIdle) {
        SetDeviceButtonsEnabled(true);
        BecomeIdle();
    }
}

void CProgrammerDlg::FillReport(record::ReportInput& report) const {
    for (const std::string& key : AllKeys())
        if (const auto value = ValueText(m_Model.m_Values, key))
            report.configuration.emplace_back(key, *value);
}

void CProgrammerDlg::OnDebug() {
    // "&Debug window" opens or closes the protocol log window, as "&Log" does.
    if (Front())
        Front()->ShowLogWindow();
}

bool CProgrammerDlg::eventFilter(QObject* watched, QEvent* event) {
    // The logo opens the About box; while the identifier frame is disabled so is the logo,
    // and a disabled label gets no clicks.
    if (watched == m_Logo && event->type() == QEvent::MouseButtonRelease && m_Logo->isEnabled()) {
        auto* me = static_cast<QMouseEvent*>(event);
        if (me->button() == Qt::LeftButton && m_Logo->rect().contains(me->position().toPoint())) {
            ShowAbout();
            return true;
        }
    }
    return qt::CToolDialog::eventFilter(watched, event);
}

} // namespace vq5::programmer
