// CSettingsDlg: the "Settings VQ-5" dialog for the connection settings: port name, fast
// speed name and read time-out. Taking the values checks the time-out (200 to 6000).
#pragma once

#include <QDialog>
#include <QStringList>

#include <functional>
#include <string>

class QComboBox;
class QLabel;
class QLineEdit;
class QGroupBox;
class QPushButton;

namespace vq5 {
class CVLPEngine;
class IUserMessages;
} // namespace vq5

namespace vq5::qt {

// The speed names the dialog offers (indexes 0 to 4) and the whole table (0 to 5).
QStringList SpeedNames();
QString SpeedName(int index);        // "" outside 0..5
int SpeedIndex(const QString& name); // exact text, -1 when not in the table

// Serial ports this machine has (/dev/ttyS*, /dev/ttyUSB*, /dev/ttyACM*, /dev/serial/by-id/*).
QStringList MachinePorts();

class CSettingsDlg : public QDialog {
    Q_OBJECT
public:
    explicit CSettingsDlg(QWidget* parent = nullptr, QStringList machinePorts = MachinePorts());

    // Dialog data.
    QString m_ComPort;
    unsigned m_Timeout = 2000;
    QString m_Speed;

    // Puts the member values into the controls (called on showing).
    void PutValues();
    // Reads every control into its member; false (with the range message, the focus in
    // the time-out edit) when the time-out is not a whole number from 200 to 6000.
    bool TakeValues();

    // Where the range message goes (default: a message box over the dialog).
    std::function<void(const QString&)> m_ShowMessage;

    QComboBox* PortBox() const { return m_PortBox; }
    QComboBox* SpeedBox() const { return m_SpeedBox; }
    QLineEdit* TimeoutEdit() const { return m_TimeoutEdit; }
    QPushButton* OkButton() const { return m_Ok; }
    QLabel* IconLabel() const { return m_Icon; }

    static constexpr unsigned kMinTimeout = 200;
    static constexpr unsigned kMaxTimeout = 6000;

public slots:
    void accept() override; // OK: takes the values, stays open when they are refused

protected:
    void showEvent(QShowEvent* event) override;

private:
    QComboBox* m_PortBox = nullptr;
    QComboBox* m_SpeedBox = nullptr;
    QLineEdit* m_TimeoutEdit = nullptr;
    QPushButton* m_Ok = nullptr;
    QGroupBox* m_Rs232 = nullptr;
    QGroupBox* m_Lower = nullptr;
    int m_Extra = 0; // pixels the port box has grown by
    // Grows the port box (and what lies right of and around it) for a name this wide.
    void FitPortWidth(int textWidth);
    QLabel* m_Icon = nullptr;
    bool m_Put = false;
};

// Builds the dialog data from the engine's connection settings: port name, read time-out,
// the name of the fast speed index ("" when it is not 0 to 5).
void FillSettingsDialog(CSettingsDlg& dlg, const CVLPEngine& engine);
// Applies the data of a dialog closed with OK, in this order: the read time-out; the port
// name, when it differs exactly (the worker is stopped, the name changed, a new worker
// started; boxes of the old worker are abandoned through `messages`); the fast speed index,
// when the speed name is in the table. Returns true when the port changed.
bool ApplyConnectionSettings(CVLPEngine& engine, const CSettingsDlg& dlg, IUserMessages* messages = nullptr);

} // namespace vq5::qt
