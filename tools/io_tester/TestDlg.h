// CTestDlg: the main dialog of VQ5WTest, "VQ-5 I/O Tester".
//
// Shows the device's input and output lines live as lamps, with the line and run number
// decoded from the outputs. The engine (CVLP) keeps the device busy with the two line
// queries at every idle transmit opportunity; the dialog only draws what the model holds.
#pragma once

#include "IoTester.h"
#include "Lamp.h"
#include "ToolDialog.h"
#include "VLP.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>

#include <array>

class QGroupBox;

namespace vq5::io {

class CTestDlg : private qt::CToolEngineHolder<CVLP>, public qt::CToolDialog {
public:
    // `store`: where the engine keeps its connection settings (nullptr: the tool's own).
    explicit CTestDlg(ISettingsStore* store = nullptr, QWidget* parent = nullptr);
    ~CTestDlg() override;

    CVLP& Vlp() { return m_Engine; }
    CIoTester& Model() { return *m_Model; }

    CLamp* Lamp(int controlId) const;
    CLamp* InputLamp(std::size_t i) const { return m_InputLamps.at(i); }
    CLamp* OutputLamp(std::size_t i) const { return m_OutputLamps.at(i); }
    QLabel* LineNumberLabel() const { return m_LineText; }
    QLabel* RunNumberLabel() const { return m_RunText; }
    QCheckBox* InputsCheck() const { return m_ShowInputs; }
    QCheckBox* OutputsCheck() const { return m_ShowOutputs; }
    QPushButton* ConnectButton() const { return m_Connect; }
    QPushButton* DisconButton() const { return m_Discon; }
    QPushButton* ExitButton() const { return m_Exit; }
    QPushButton* TramButton() const { return m_Tram; }
    QPushButton* BusButton() const { return m_Bus; }

    // Buttons and check boxes.
    void OnShowInputs();
    void OnShowOutputs();
    void OnConnect();
    void OnDiscon();
    void OnTram();
    void OnBus();

protected:
    // Escape and the window's close box connect; they do not close the tool. (A cancel from
    // the program itself, such as the application's answer to SIGTERM, still closes it.)
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void OnNotify(const Notification& n) override;
    void OnManual() override;

private:
    // Taking the control values: the two check boxes into "ShowInputs" and "ShowOutputs".
    void TakeControlValues();
    // Putting the member values into the controls.
    void PutControlValues();
    void ShowInputsState();  // the input lamps as the model holds them
    void ShowOutputsState(); // the output lamps and the two number texts

    std::unique_ptr<CIoTester> m_Model;
    std::array<CLamp*, kInputCount> m_InputLamps{};
    std::array<CLamp*, kOutputCount> m_OutputLamps{};
    QGroupBox* m_InputFrame = nullptr;
    QGroupBox* m_OutputFrame = nullptr;
    QCheckBox* m_ShowInputs = nullptr;
    QCheckBox* m_ShowOutputs = nullptr;
    QLabel* m_LineText = nullptr;
    QLabel* m_RunText = nullptr;
    QGroupBox* m_Placeholder = nullptr;
    QPushButton* m_Tram = nullptr;
    QPushButton* m_Bus = nullptr;
    QPushButton* m_Connect = nullptr;
    QPushButton* m_Discon = nullptr;
    QPushButton* m_Exit = nullptr;
    qt::CFrameGroup m_InputGroup;
    qt::CFrameGroup m_OutputGroup;
};

} // namespace vq5::io
