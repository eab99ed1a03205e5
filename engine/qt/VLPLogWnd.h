// CVLPLogWnd: the protocol log window. A top-level window listing the engine's trace lines
// with their time (minute:second.hundredths, UTC), filtered by four levels.
//
// It is the engine's trace sink while open. AddLine (any thread, under the engine's log
// lock) filters by pause and level mask, stamps the time and appends the line to a pending
// vector; the first line into an empty vector schedules one queued flush, which moves the
// whole batch into the list model on the GUI thread and scrolls to the end.
#pragma once

#include "Notify.h"
#include "ProfileSection.h"

#include <QAbstractTableModel>
#include <QWidget>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

class QCheckBox;
class QGroupBox;
class QPushButton;
class QTableView;

namespace vq5 {
class CVLPEngine;
}

namespace vq5::qt {

// Rows of the log list, stored compactly: one text buffer, offsets and times.
class CLogModel : public QAbstractTableModel {
    Q_OBJECT
public:
    struct Line {
        std::uint32_t msOfHour; // milliseconds within the hour (UTC)
        std::string text;
    };
    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    void Append(std::vector<Line>& lines); // one insertion for the whole batch
    std::size_t Rows() const { return m_Times.size(); }
    QString TimeText(std::size_t row) const;
    QString MessageText(std::size_t row) const;

private:
    std::vector<char> m_Text;
    std::vector<std::size_t> m_Starts;
    std::vector<std::uint32_t> m_Times;
};

// "%2d:%02d.%02d": minute, second, milliseconds / 10 of the UTC time.
QString FormatLogTime(std::uint32_t msOfHour);
std::uint32_t MsOfHour(std::chrono::system_clock::time_point t);

class CVLPLogWnd : public QWidget, public ITraceSink {
    Q_OBJECT
public:
    // Creates the window (not shown), restores placement "logWnd" and binds "Level" in
    // section "VLPLogWnd" of `store` (the default store when null). Does not attach itself.
    explicit CVLPLogWnd(CVLPEngine& engine, ISettingsStore* store = nullptr);
    // Detaches from the engine (if still attached), saves the placement, writes "Level".
    ~CVLPLogWnd() override;

    // ITraceSink; any thread.
    void AddLine(int level, std::string line) override;

    void Attach(); // becomes the engine's trace sink
    void Detach(); // LogWindowClosed, once

    int LevelMask() const { return m_LevelMask.load(); }
    void SetLevelMask(int mask); // also sets the check boxes
    bool Paused() const { return m_Paused.load(); }
    void SetPaused(bool paused); // as the Start/Stop button does
    void Flush();                // moves pending lines into the list (GUI thread)

    CLogModel& Model() { return m_Model; }
    QTableView* List() const { return m_List; }
    QPushButton* ExitButton() const { return m_Exit; }
    QPushButton* StartStopButton() const { return m_StartStop; }
    QGroupBox* LevelGroup() const { return m_Group; }
    QCheckBox* LevelBox(int level) const { return m_Levels[level]; }

    // Copy / save of the selected (copy) or all (save) rows, tab-separated time and message.
    QString RowsText(bool selectedOnly) const;
    bool SaveTo(const QString& path) const;

    // Test seam: the clock that stamps lines.
    void SetClock(std::function<std::chrono::system_clock::time_point()> clock);

signals:
    void closed(vq5::qt::CVLPLogWnd* wnd);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void LayoutChildren(int cx, int cy);
    void RebuildMask();
    void ShowContextMenu(const QPoint& pos);

    CVLPEngine& m_Engine;
    int m_Mask = 14;              // bound to "Level"; must outlive m_Settings
    CProfileSection m_Settings;
    std::atomic<int> m_LevelMask{14};
    std::atomic<bool> m_Paused{false};
    std::atomic<bool> m_Attached{false};
    std::function<std::chrono::system_clock::time_point()> m_Clock;

    std::mutex m_PendingLock; // guards m_Pending
    std::vector<CLogModel::Line> m_Pending;

    CLogModel m_Model;
    QTableView* m_List = nullptr;
    QPushButton* m_Exit = nullptr;
    QPushButton* m_StartStop = nullptr;
    QGroupBox* m_Group = nullptr;
    QCheckBox* m_Levels[4] = {};
};

} // namespace vq5::qt
