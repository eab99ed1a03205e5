#include "TestDlg.h"

#include "DialogControls.h"
#include "ServiceRecord.h"
#include "WindowBinding.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QKeyEvent>

namespace vq5::io {

namespace {

qt::ToolInfo TestToolInfo() {
    return qt::MakeToolInfo(QString::fromLatin1(kProgramName), QStringLiteral("VQ-5 I/O Tester"),
                            qt::ToolInfo::TestStyle, 130);
}

// Where the lamps sit, in dialog units (top left; the size follows from the lamp's kind).
struct Spot {
    int x, y;
};
// Inputs in the order of the "&PII" value: two columns of three.
const Spot kInputSpots[kInputCount] = {{11, 18}, {11, 43}, {11, 68}, {90, 18}, {90, 43}, {90, 68}};

Spot OutputSpot(std::size_t i) {
    if (i == 0)
        return {223, 78}; // Status led
    if (i == 1)
        return {161, 78};                  // Halte lamp
    const int n = static_cast<int>(i) - 1; // T1..T19: four columns of five
    return {161 + 31 * ((n - 1) / 5), 15 + 10 * ((n - 1) % 5)};
}

QString DeviceText(const std::string& s) {
    return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
}

} // namespace

CTestDlg::CTestDlg(ISettingsStore* store, QWidget* parent)
    : CToolEngineHolder(store), qt::CToolDialog(TestToolInfo(), m_Engine, parent) {
    // Building the dialog object: lamps, engine (above), settings bound and read.
    m_Model = std::make_unique<CIoTester>(m_Engine, Section());

    QWidget* body = Body();
    SetBodySize(qt::DluSize(this, 292, 170));

    m_InputFrame = qt::Placed(this, new QGroupBox(body), QStringLiteral("1009"), QRect(7, 4, 142, 96));
    m_ShowInputs = qt::Placed(this, new QCheckBox(QStringLiteral("Show &inputs"), body),
                              QStringLiteral("1007"), QRect(13, 4, 62, 10));
    m_ShowInputs->setAutoFillBackground(true); // hides the frame line behind it

    m_OutputFrame = qt::Placed(this, new QGroupBox(body), QStringLiteral("1010"), QRect(153, 4, 132, 96));
    m_ShowOutputs = qt::Placed(this, new QCheckBox(QStringLiteral("Show &Outputs"), body),
                               QStringLiteral("1008"), QRect(159, 4, 66, 10));
    m_ShowOutputs->setAutoFillBackground(true);

    for (std::size_t i = 0; i < kInputCount; ++i) {
        auto* lamp = new CLamp(InputLamps()[i], body);
        lamp->setGeometry(qt::DluRect(this, kInputSpots[i].x, kInputSpots[i].y, 17, 15));
        m_InputLamps[i] = lamp;
    }
    for (std::size_t i = 0; i < kOutputCount; ++i) {
        auto* lamp = new CLamp(OutputLamps()[i], body);
        const Spot s = OutputSpot(i);
        lamp->setGeometry(i < 2 ? qt::DluRect(this, s.x, s.y, 11, 17) : qt::DluRect(this, s.x, s.y, 11, 9));
        m_OutputLamps[i] = lamp;
    }
    m_LineText = qt::Placed(this, new QLabel(QString::fromLatin1(kLineNumberInitial), body),
                            QStringLiteral("1066"), QRect(161, 66, 60, 9));
    m_RunText = qt::Placed(this, new QLabel(QString::fromLatin1(kRunNumberInitial), body),
                           QStringLiteral("1067"), QRect(223, 66, 58, 9));

    m_Placeholder = qt::Placed(this, new QGroupBox(QStringLiteral("engine"), body), QStringLiteral("1064"),
                               QRect(7, 104, 190, 62));

    auto button = [this, body](const char* text, const char* id, int x, int y, int w, int h) {
        auto* b = new QPushButton(QString::fromLatin1(text), body);
        b->setObjectName(QString::fromLatin1(id));
        b->setAutoDefault(false);
        b->setGeometry(qt::DluRect(this, x, y, w, h));
        return b;
    };
    m_Connect = button("&Connect", "2", 205, 106, 38, 14);
    m_Discon = button("&Discon", "4", 247, 106, 38, 14);
    m_Tram = button("Tram", "1041", 205, 126, 38, 12);
    m_Bus = button("Bus", "1040", 247, 126, 38, 12);
    m_Tram->setFlat(true);
    m_Bus->setFlat(true);
    m_Exit = button("&Exit", "1", 247, 152, 38, 14);
    m_Exit->setDefault(true);

    connect(m_ShowInputs, &QCheckBox::clicked, this, [this] { OnShowInputs(); });
    connect(m_ShowOutputs, &QCheckBox::clicked, this, [this] { OnShowOutputs(); });
    connect(m_Connect, &QPushButton::clicked, this, [this] { OnConnect(); });
    connect(m_Discon, &QPushButton::clicked, this, [this] { OnDiscon(); });
    connect(m_Tram, &QPushButton::clicked, this, [this] { OnTram(); });
    connect(m_Bus, &QPushButton::clicked, this, [this] { OnBus(); });
    connect(m_Exit, &QPushButton::clicked, this, [this] { RunCommand(qt::cmdExit); });

    // The lamps, in the order linksaf ... Vx lus, Halte lamp, Status led, T1 to T19.
    for (const LampRef& r : CreationOrder())
        (r.input ? m_InputLamps[r.index] : m_OutputLamps[r.index])->Init();

    // Expert test, placement, then the engine in place of the placeholder (it starts).
    InitDialog(m_Placeholder);
    m_Model->SetExpert(ExpertMode());
    m_Tram->setVisible(ExpertMode());
    m_Bus->setVisible(ExpertMode());

    m_InputGroup.Init(this, m_InputFrame);
    m_OutputGroup.Init(this, m_OutputFrame);
    PutControlValues();
    // Program-mode entry, then both check boxes applied as if clicked.
    m_Model->Begin();
    OnShowInputs();
    OnShowOutputs();
}

CTestDlg::~CTestDlg() {
    Shutdown();
}

CLamp* CTestDlg::Lamp(int controlId) const {
    for (CLamp* l : m_InputLamps)
        if (l->Info().controlId == controlId)
            return l;
    for (CLamp* l : m_OutputLamps)
        if (l->Info().controlId == controlId)
            return l;
    return nullptr;
}

void CTestDlg::PutControlValues() {
    m_ShowInputs->setChecked(m_Model->ShowInputs());
    m_ShowOutputs->setChecked(m_Model->ShowOutputs());
}

void CTestDlg::TakeControlValues() {
    m_Model->StoreShowValues(m_ShowInputs->isChecked(), m_ShowOutputs->isChecked());
}

void CTestDlg::OnShowInputs() {
    TakeControlValues();
    const bool on = m_Model->ShowInputs();
    m_InputGroup.Enable(on, m_ShowInputs);
    m_Model->SetShowInputs(on);
    ShowInputsState();
}

void CTestDlg::OnShowOutputs() {
    TakeControlValues();
    const bool on = m_Model->ShowOutputs();
    m_OutputGroup.Enable(on, m_ShowOutputs);
    m_Model->SetShowOutputs(on);
    ShowOutputsState();
}

void CTestDlg::OnConnect() {
    m_Model->Connect();
}
void CTestDlg::OnDiscon() {
    m_Model->Disconnect();
}
void CTestDlg::OnTram() {
    RecordWhenTaken(m_Model->Tram());
}
void CTestDlg::OnBus() {
    RecordWhenTaken(m_Model->Bus());
}

void CTestDlg::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Cancel)) {
        event->accept();
        OnConnect();
        return;
    }
    qt::CToolDialog::keyPressEvent(event);
}

void CTestDlg::closeEvent(QCloseEvent* event) {
    event->ignore();
    OnConnect();
}

void CTestDlg::ShowInputsState() {
    for (std::size_t i = 0; i < kInputCount; ++i)
        m_InputLamps[i]->SetState(m_Model->InputLamp(i));
}

void CTestDlg::ShowOutputsState() {
    for (std::size_t i = 0; i < kOutputCount; ++i)
        m_OutputLamps[i]->SetState(m_Model->OutputLamp(i));
    m_LineText->setText(DeviceText(m_Model->LineText()));
    m_RunText->setText(DeviceText(m_Model->RunText()));
}

void CTestDlg::OnNotify(const Notification& n) {
    if (n.kind != nkReceived)
        return; // the status box shows the link itself
    switch (m_Model->HandleReceived(n.text)) {
    case CIoTester::kInputs:
        ShowInputsState();
        RecordReadLatest(record::kKindInfo, "Inputs", m_Model->LastInputs());
        break;
    case CIoTester::kOutputs:
        ShowOutputsState();
        RecordReadLatest(record::kKindInfo, "Outputs", m_Model->LastOutputs());
        break;
    default:
        break;
    }
}

void CTestDlg::OnManual() {
    const QString text = QString::fromLatin1(kNoHelp);
    Information(text);
}

} // namespace vq5::io
