// CVLPLogWnd: the protocol log window. A top-level window listing the engine's trace lines
// with their time (minute:second.hundredths, UTC), filtered by four levels.
//
// It is the engine's trace sink while open. AddLine (any thread, under the engine's log
// lock) filters by pause and level mask, stamps the time and appends the line to a pending
// queue; the first line into an idle queue schedules one queued flush. A flush moves at most
// kFlushLines lines into the list model on the GUI thread, scrolls to the end (while the
// list shows the bottom) and schedules
// itself again while lines remain, so a flood of lines never holds the GUI for long.
// The queue is bounded: when the GUI falls more than the pending limit behind, further lines
// are counted instead of kept, and once the GUI has caught up one line "... N lines dropped"
// takes their place.
#pragma once

#include "Notify.h"
#include "ProfileSection.h"

#include <QAbstractTableModel>
#include <QIcon>
#include <QWidget>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

class QCheckBox;
class QAction;
class QGroupBox;
class QPushButton;
class QTableView;

namespace vq5 {
class CVLPEngine;
class CPcapCaptureFile;
} // namespace vq5

namespace vq5::qt {

// Rows of the log list, stored compactly and in chunks: the texts in fixed blocks of
// kBlockSize bytes (a row never spans two blocks), and per row its block, offset, length and
// time in a deque. Growth adds a block or an index node; nothing already stored is copied or
// moved, so a row's text stays where it was written.
class CLogModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr std::size_t kBlockSize = std::size_t(1) << 20;
    static constexpr std::size_t kMaxRowText = 2000; // longer texts are cut (trace lines are <= 2000)

    struct Line {
        std::uint32_t msOfHour; // milliseconds within the hour (UTC)
        std::string text;
        int icon = -1; // image of the time column (see SetIcons), -1: none
    };
    using QAbstractTableModel::QAbstractTableModel;

    // The column titles ("Time", "Message" unless set) and the images rows may name (shared by
    // all rows: a row keeps only the image's number, 0..127).
    void SetHeaders(const QString& time, const QString& message);
    void SetIcons(std::vector<QIcon> icons);
    // Removes every row (the text blocks are given back).
    void Clear();

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    void Append(std::vector<Line>& lines); // one insertion for the whole batch
    std::size_t Rows() const { return m_Rows.size(); }
    std::size_t Blocks() const { return m_Blocks.size(); }
    const char* BlockData(std::size_t block) const {
        return block < m_Blocks.size() ? m_Blocks[block].get() : nullptr;
    }
    QString TimeText(std::size_t row) const;
    QString MessageText(std::size_t row) const;
    std::string_view RowText(std::size_t row) const; // the stored bytes; empty past the end

private:
    struct Row {
        std::uint32_t block;
        std::uint32_t offset;
        std::uint32_t msOfHour;
        std::uint16_t length;
        std::int8_t icon;
    };
    std::deque<std::unique_ptr<char[]>> m_Blocks;
    std::size_t m_Used = 0; // bytes used in the last block
    std::deque<Row> m_Rows;
    QString m_Headers[2] = {QStringLiteral("Time"), QStringLiteral("Message")};
    std::vector<QIcon> m_Icons;
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
    // GUI thread: moves up to kFlushLines pending lines into the list and, while the list
    // shows the bottom, scrolls to the end;
    // schedules another flush while lines remain.
    void Flush();
    static constexpr std::size_t kFlushLines = 20000;
    static constexpr std::size_t kPendingLimit = 1000000;
    void SetPendingLimit(std::size_t limit); // test seam; kPendingLimit by default
    std::size_t PendingLines() const;

    CLogModel& Model() { return m_Model; }
    QTableView* List() const { return m_List; }
    QPushButton* ExitButton() const { return m_Exit; }
    QPushButton* StartStopButton() const { return m_StartStop; }
    QGroupBox* LevelGroup() const { return m_Group; }
    QCheckBox* LevelBox(int level) const { return m_Levels[level]; }

    // Copy / save of the selected (copy) or all (save) rows, tab-separated time and message,
    // one line per row, as the list shows them. SaveTo writes UTF-8 and replaces the file whole;
    // on failure it returns false with the system's reason in `reason` (when given).
    QString RowsText(bool selectedOnly) const;
    bool SaveTo(const QString& path, QString* reason = nullptr) const;

    // "Record to file...": every byte of the link both ways into a pcap file until
    // StopRecording, "Stop" (pausing the window) or the window's end. On failure returns false
    // with the reason in `reason` (when given).
    bool StartRecording(const QString& path, QString* reason = nullptr);
    void StopRecording();
    bool Recording() const { return m_Recording != nullptr; }

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
    int m_Mask = 14; // bound to "Level"; must outlive m_Settings
    CProfileSection m_Settings;
    std::atomic<int> m_LevelMask{14};
    std::atomic<bool> m_Paused{false};
    std::atomic<bool> m_Attached{false};
    std::function<std::chrono::system_clock::time_point()> m_Clock;

    mutable std::mutex m_PendingLock; // guards the four below
    std::deque<CLogModel::Line> m_Pending;
    std::size_t m_PendingLimit = kPendingLimit;
    std::uint64_t m_Dropped = 0;   // lines not kept since the queue overran; 0: taking lines
    bool m_FlushScheduled = false; // a queued flush will come

    std::unique_ptr<CPcapCaptureFile> m_Recording; // attached to the engine while set

    CLogModel m_Model;
    QTableView* m_List = nullptr;
    QPushButton* m_Exit = nullptr;
    QPushButton* m_StartStop = nullptr;
    QGroupBox* m_Group = nullptr;
    QCheckBox* m_Levels[4] = {};
};

} // namespace vq5::qt
