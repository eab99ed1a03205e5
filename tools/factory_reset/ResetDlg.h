// CResetDlg: the main dialog of VQ5WReset. The engine status box on the left; on the right
// "&Reset" with "Reboot and factory default the VQ5(s)" under it, and "&Exit" at the bottom.
// One click on "&Reset" queues the whole reset sequence; no confirmation.
#pragma once

#include "ResetModel.h"
#include "ToolDialog.h"
#include "VLPEngine.h"

class QGroupBox;
class QLabel;
class QPushButton;

namespace vq5::factory_reset {

qt::ToolInfo ResetToolInfo();

class CResetDlg : private qt::CToolEngineHolder<CVLPEngine>, public qt::CToolDialog {
public:
    // `store`: where the engine keeps its connection settings (nullptr: the tool's own).
    explicit CResetDlg(ISettingsStore* store = nullptr, QWidget* parent = nullptr);
    ~CResetDlg() override;

    // "&Reset".
    void OnReset();

    QPushButton* ResetButton() const { return m_Reset; }
    QPushButton* ExitButton() const { return m_Exit; }
    QLabel* Explanation() const { return m_Text; }
    const CResetModel& Model() const { return m_Model; }
    CVLPEngine& ResetEngine() { return m_Engine; }

protected:
    void OnNotify(const Notification& n) override;

private:
    CResetModel m_Model;
    QGroupBox* m_Placeholder = nullptr; // 1000, replaced by the engine status box
    QPushButton* m_Reset = nullptr;
    QLabel* m_Text = nullptr;
    QPushButton* m_Exit = nullptr;
};

} // namespace vq5::factory_reset
