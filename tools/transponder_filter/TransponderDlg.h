// CTransponderDlg: the main dialog of VQ5WTCT, "VQ-5 Transponder Configuration Tool".
//
// Four sliders set the transponder filter constants Window, Minimal, Offset and Stable;
// "&Load from VQ5" reads them from the device, "&Save to VQ5" writes them (both offset
// encodings, one of which the device's version lets through) and optionally reboots it.
// The tool queues its own program-mode entry and exit and never changes the line speed.
#pragma once

#include "ToolDialog.h"
#include "TransponderModel.h"
#include "VLPEngine.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QSlider;

namespace vq5::tct {

class CTransponderDlg : private qt::CToolEngineHolder<CVLPEngine>, public qt::CToolDialog {
public:
    explicit CTransponderDlg(ISettingsStore* store = nullptr, QWidget* parent = nullptr);
    ~CTransponderDlg() override;

    // Taking the control values (range-checked; false and a message when one is outside)
    // and putting the member values into the controls.
    bool TakeValues();
    void PutValues();
    // The value texts of the given settings (frame title and read-out).
    void UpdateTexts(const std::vector<Setting>& settings);

    void Load();
    void Save();
    void Default();
    void ExitDialog(); // "Exit": take the control values and close

    CTransponderModel& Model() { return m_Model; }
    const CVersionTracker& Version() const { return m_Version; }
    QSlider* Slider(Setting s) const { return m_Slider[s]; }
    QGroupBox* Frame(Setting s) const { return m_Frame[s]; }
    QLabel* ReadOutLabel(Setting s) const { return m_ReadOut[s]; }
    QLabel* Explanation(Setting s) const { return m_Explain[s]; }
    QCheckBox* RebootBox() const { return m_Reboot; }
    QPushButton* LoadButton() const { return m_Load; }
    QPushButton* SaveButton() const { return m_Save; }
    QPushButton* DefaultButton() const { return m_Default; }
    QPushButton* ExitButton() const { return m_Exit; }

protected:
    void OnNotify(const Notification& n) override;

private:
    void SliderMoved(Setting s);

    CTransponderModel m_Model;
    CVersionTracker m_Version;
    QGroupBox* m_Frame[kSettingCount] = {};
    QLabel* m_Explain[kSettingCount] = {};
    QSlider* m_Slider[kSettingCount] = {};
    QLabel* m_ReadOut[kSettingCount] = {};
    QCheckBox* m_Reboot = nullptr;
    QPushButton* m_Default = nullptr;
    QGroupBox* m_EngineFrame = nullptr;
    QPushButton* m_Load = nullptr;
    QPushButton* m_Save = nullptr;
    QPushButton* m_Exit = nullptr;
    bool m_Putting = false; // values are being put into the controls
};

} // namespace vq5::tct
