// CProgrammerDlg: the main dialog of VQ5WPrg, "VQ-5 / HUM-1 Programmer".
//
// Reads the whole configuration of the device ("&From"), writes what the user set ("&To":
// indeterminate datacalls and flags are left alone), fills in defaults ("&Default"), and
// keeps the window's last state in the tool's section. The values live in the model; this
// class only binds the widgets to it.
#pragma once

#include "ProgrammerModel.h"
#include "ToolDialog.h"
#include "VLPEngine.h"

#include <QCheckBox>

#include <array>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;

namespace vq5::programmer {

// A three-state check box that cycles unchecked, checked, indeterminate, as the device's
// settings are 0, 1 and 2 (2 = not read, not to be written).
class CTriStateBox : public QCheckBox {
public:
    CTriStateBox(const QString& text, QWidget* parent);
    static Qt::CheckState StateOf(int value); // 0 Unchecked, 1 Checked, 2 PartiallyChecked
    static int ValueOf(Qt::CheckState state);
    int Value() const { return ValueOf(checkState()); }
    void SetValue(int value) { setCheckState(StateOf(value)); }

protected:
    void nextCheckState() override;
};

class CProgrammerDlg : private qt::CToolEngineHolder<CVLPEngine>, public qt::CToolDialog {
public:
    // `store` carries the connection settings ("VLPIO"); the tool's own section uses the
    // default settings store.
    explicit CProgrammerDlg(ISettingsStore* store = nullptr, QWidget* parent = nullptr);
    ~CProgrammerDlg() override;

    // Taking the control values (false, with a message, when a range check fails) and
    // putting the member values into the controls.
    bool TakeValues();
    void PutValues();

    // The user's actions.
    void ReadFromDevice(); // "&From"
    void WriteToDevice();  // "&To"
    void LoadDefaults();   // "&Default"
    void ExitDialog();     // "&Exit": take the control values and close
    void SliderMoved(Slider s);

    CProgrammerModel& Model() { return m_Model; }
    const CProgrammerModel& Model() const { return m_Model; }
    bool Busy() const { return m_Model.Busy(); }

    // Controls, for tests.
    QCheckBox* ConfigIdBox() const { return m_CheckConfigID; }
    QLineEdit* ConfigIdEdit() const { return m_ConfigID; }
    CTriStateBox* DataCallBox(int i) const { return m_DataCall[i]; }
    QLineEdit* DataCallEdit(int i) const { return m_DataCallText[i]; }
    CTriStateBox* FlagBox(FlagIndex f) const { return m_Flag[f]; }
    QCheckBox* RebootBox() const { return m_Reboot; }
    QCheckBox* FilterBox() const { return m_CheckTransConfig; }
    QSlider* SliderWidget(Slider s) const { return m_Slider[s]; }
    QLabel* SliderText(Slider s) const { return m_SliderLabel[s]; }
    QLabel* Logo() const { return m_Logo; }
    QPushButton* FromButton() const { return m_From; }
    QPushButton* ToButton() const { return m_To; }
    QPushButton* DefaultButton() const { return m_Default; }
    QPushButton* ExitButton() const { return m_Exit; }
    const qt::CFrameGroup& IdentifierGroup() const { return m_IdGroup; }
    const qt::CFrameGroup& FilterGroup() const { return m_FilterGroup; }

protected:
    void OnNotify(const Notification& n) override;
    // The configuration the window holds.
    void FillReport(record::ReportInput& report) const override;
    void OnDebug() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildControls();
    void UpdateSliderLabel(Slider s);
    void UpdateAllSliderLabels();
    // Every value into its control, the groups and data-call edits applied, everything visible.
    void ShowAllValues();
    void ApplyFrameGroups();
    void ApplyDataCallEdits();
    void ApplyVisibility(const CVisibility& v);
    void SetDeviceButtonsEnabled(bool enabled);
    void BecomeBusy();
    void BecomeIdle();
    void Refuse(const std::string& text);

    CProgrammerModel m_Model;
    qt::CFrameGroup m_IdGroup;
    qt::CFrameGroup m_FilterGroup;

    QGroupBox* m_IdFrame = nullptr;
    QCheckBox* m_CheckConfigID = nullptr;
    QLineEdit* m_ConfigID = nullptr;
    QLabel* m_Logo = nullptr;
    QGroupBox* m_DataCallFrame = nullptr;
    std::array<CTriStateBox*, kDataCalls> m_DataCall{};
    std::array<QLineEdit*, kDataCalls> m_DataCallText{};
    QGroupBox* m_FilterFrame = nullptr;
    QCheckBox* m_CheckTransConfig = nullptr;
    std::array<QLabel*, kSliderCount> m_SliderLabel{};
    std::array<QSlider*, kSliderCount> m_Slider{};
    QGroupBox* m_EngineFrame = nullptr;
    QGroupBox* m_FlagFrame = nullptr;
    std::array<CTriStateBox*, kFlagCount> m_Flag{};
    QCheckBox* m_Reboot = nullptr;
    QPushButton* m_From = nullptr;
    QPushButton* m_To = nullptr;
    QPushButton* m_Default = nullptr;
    QPushButton* m_Exit = nullptr;
    bool m_Putting = false;            // values are being put into the controls: no slider reactions
    bool m_OffsetBeyondSlider = false; // the offset held is outside the slider's range, unmoved
    bool m_WaitCursor = false;         // the override cursor is ours to restore
};

} // namespace vq5::programmer
