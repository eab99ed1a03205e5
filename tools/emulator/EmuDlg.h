// CEmuDlg: the main dialog of VQ5WVLP, "VQ-5 Windows Velto".
//
// Plays the vehicle's on-board system: the engine (CVL) sends the display message at every
// idle transmit opportunity and answers the device's inquiry with an announcement; every
// message sent and received, and the engine's events, are listed in the message log.
#pragma once

#include "Emulator.h"
#include "ToolDialog.h"
#include "VL.h"
#include "VLPLogWnd.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>

#include <chrono>
#include <functional>
#include <string>

class QGroupBox;
class QLabel;

namespace vq5::emu {

class CEmuDlg : private qt::CToolEngineHolder<CVL>, public qt::CToolDialog {
public:
    // `store`: where the engine keeps its connection settings (nullptr: the tool's own).
    explicit CEmuDlg(ISettingsStore* store = nullptr, QWidget* parent = nullptr);
    ~CEmuDlg() override;

    CVL& Vl() { return m_Engine; }
    CEmulator& Model() { return *m_Model; }
    // The message log: a view on a compact model (a row costs its text and a few bytes; the
    // images are shared), so the log can grow for days.
    QTableView* Log() const { return m_Log; }
    qt::CLogModel& LogModel() { return m_LogModel; }
    QLineEdit* LineEdit() const { return m_LineEdit; }
    QLineEdit* RunEdit() const { return m_RunEdit; }
    QCheckBox* AutoIncrCheck() const { return m_AutoIncr; }
    QPushButton* OkButton() const { return m_Ok; }

    // Taking the control values (range check 0 to 999, refused with the framework's message);
    // false when refused. Putting the member values into the controls.
    bool TakeControlValues();
    void PutControlValues();

    // Appends one log line (icon digit first, or none) with the time of now at once; the
    // view follows it while it shows the bottom. Lines of notifications are gathered and
    // appended together (QueueLogLine, FlushLog).
    void AddLogLine(const std::string& line);
    void QueueLogLine(const std::string& line);
    void FlushLog();

    // The message log's rows as text: "min:sec.xx<TAB>Message" per row, one line each; the
    // selected rows ("Copy") or all of them ("Save..."), as the list shows them.
    QString LogRowsText(bool selectedOnly) const;
    // Writes all rows to `path` (UTF-8); a failure is reported with a box naming the file and
    // the system's reason (through the message hook when set).
    bool SaveLogTo(const QString& path);
    // The log's context menu ("Copy", "Save..."), opened at `pos` of the list's viewport.
    void ShowLogMenu(const QPoint& pos);

    // Where the log takes its time from (tests). Default: the system clock.
    static void SetClock(std::function<std::chrono::system_clock::time_point()> clock);

protected:
    void OnNotify(const Notification& n) override;
    void OnSettings() override;

private:
    void OnNumberEdited();
    void OnAutoIncrClicked();

    qt::CLogModel::Line MakeLogRow(const std::string& line) const;

    std::unique_ptr<CEmulator> m_Model;
    qt::CLogModel m_LogModel;
    std::vector<qt::CLogModel::Line> m_PendingLog;
    QTableView* m_Log = nullptr;
    QGroupBox* m_Placeholder = nullptr;
    QLineEdit* m_LineEdit = nullptr;
    QLineEdit* m_RunEdit = nullptr;
    QCheckBox* m_AutoIncr = nullptr;
    QPushButton* m_Ok = nullptr;
};

} // namespace vq5::emu
