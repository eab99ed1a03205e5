#include "VLPLogWnd.h"

#include "ListExport.h"
#include "PcapCapture.h"
#include "VLPEngine.h"

#include "WindowBinding.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QFileDialog>
#include <QGroupBox>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMenu>
#include <QMessageBox>
#include <QMetaObject>
#include <QPushButton>
#include <QResizeEvent>
#include <QTableView>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace vq5::qt {

namespace {
const char* const kLevelNames[4] = {"I/O", "Frame", "Slave", "Appl"};
}

// ---- time column ---------------------------------------------------------------------

std::uint32_t MsOfHour(std::chrono::system_clock::time_point t) {
    using namespace std::chrono;
    const auto ms = duration_cast<milliseconds>(t.time_since_epoch()).count();
    const long long hour = 3600LL * 1000;
    long long r = ms % hour;
    if (r < 0)
        r += hour; // a clock before 1970 still gives a time within the hour
    return static_cast<std::uint32_t>(r);
}

QString FormatLogTime(std::uint32_t msOfHour) {
    msOfHour %= 3600u * 1000u;
    const int minute = static_cast<int>(msOfHour / 60000u);
    const int second = static_cast<int>(msOfHour / 1000u % 60u);
    const int hundredths = static_cast<int>(msOfHour % 1000u / 10u);
    char buf[16];
    std::snprintf(buf, sizeof buf, "%2d:%02d.%02d", minute, second, hundredths);
    return QString::fromLatin1(buf);
}

// ---- model ---------------------------------------------------------------------------

static_assert(CLogModel::kMaxRowText <= CLogModel::kBlockSize, "a row must fit in one block");
static_assert(CLogModel::kMaxRowText <= 0xFFFF, "a row's length must fit its field");

int CLogModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid())
        return 0;
    return static_cast<int>(std::min<std::size_t>(m_Rows.size(), INT32_MAX));
}

int CLogModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 2;
}

QString CLogModel::TimeText(std::size_t row) const {
    return row < m_Rows.size() ? FormatLogTime(m_Rows[row].msOfHour) : QString();
}

std::string_view CLogModel::RowText(std::size_t row) const {
    if (row >= m_Rows.size())
        return {};
    const Row& r = m_Rows[row];
    if (r.length == 0)
        return {};
    return std::string_view(m_Blocks[r.block].get() + r.offset, r.length);
}

QString CLogModel::MessageText(std::size_t row) const {
    const std::string_view text = RowText(row);
    // Trace lines are 8-bit text; each byte stays one character.
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

QVariant CLogModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid())
        return {};
    const auto row = static_cast<std::size_t>(index.row());
    if (role == Qt::UserRole && index.column() == 0 && row < m_Rows.size())
        return static_cast<int>(m_Rows[row].icon); // the image's number, -1 for none
    if (role == Qt::DecorationRole && index.column() == 0 && row < m_Rows.size()) {
        const int icon = m_Rows[row].icon;
        if (icon >= 0 && static_cast<std::size_t>(icon) < m_Icons.size())
            return m_Icons[static_cast<std::size_t>(icon)];
        return {};
    }
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return {};
    if (role == Qt::ToolTipRole && index.column() == 0)
        return {};
    return index.column() == 0 ? TimeText(row) : MessageText(row);
}

QVariant CLogModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    if (section == 0 || section == 1)
        return m_Headers[section];
    return {};
}

void CLogModel::SetHeaders(const QString& time, const QString& message) {
    m_Headers[0] = time;
    m_Headers[1] = message;
    emit headerDataChanged(Qt::Horizontal, 0, 1);
}

void CLogModel::SetIcons(std::vector<QIcon> icons) {
    if (icons.size() > 128)
        icons.resize(128);
    m_Icons = std::move(icons);
}

void CLogModel::Clear() {
    beginResetModel();
    m_Rows.clear();
    m_Blocks.clear();
    m_Used = 0;
    endResetModel();
}

void CLogModel::Append(std::vector<Line>& lines) {
    if (lines.empty())
        return;
    const std::size_t first = m_Rows.size();
    if (first >= static_cast<std::size_t>(INT32_MAX))
        return; // the view cannot address more rows
    const std::size_t count = std::min(lines.size(), static_cast<std::size_t>(INT32_MAX) - first);
    beginInsertRows(QModelIndex(), static_cast<int>(first), static_cast<int>(first + count - 1));
    for (std::size_t i = 0; i < count; ++i) {
        const std::string& text = lines[i].text;
        const std::size_t length = std::min(text.size(), kMaxRowText);
        if (m_Blocks.empty() || kBlockSize - m_Used < length) { // does not fit: start a new block
            m_Blocks.push_back(std::make_unique_for_overwrite<char[]>(kBlockSize));
            m_Used = 0;
        }
        Row row{};
        row.block = static_cast<std::uint32_t>(m_Blocks.size() - 1);
        row.offset = static_cast<std::uint32_t>(m_Used);
        row.msOfHour = lines[i].msOfHour;
        row.length = static_cast<std::uint16_t>(length);
        row.icon = static_cast<std::int8_t>(lines[i].icon >= 0 && lines[i].icon < 128 ? lines[i].icon : -1);
        if (length > 0) {
            std::memcpy(m_Blocks.back().get() + m_Used, text.data(), length);
            m_Used += length;
        }
        m_Rows.push_back(row);
    }
    endInsertRows();
}

// ---- window --------------------------------------------------------------------------

CVLPLogWnd::CVLPLogWnd(CVLPEngine& engine, ISettingsStore* store)
    : QWidget(nullptr), m_Engine(engine), m_Settings("VLPLogWnd", store),
      m_Clock([] { return std::chrono::system_clock::now(); }) {
    setWindowTitle(QStringLiteral("VQ-5 Velto Protocol log window"));
    setAutoFillBackground(true); // the dialog face colour
    resize(640, 400);

    // A table with fixed row heights: adding rows never lays out the rows already there.
    m_List = new QTableView(this);
    m_List->setModel(&m_Model);
    m_List->verticalHeader()->hide();
    m_List->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_List->verticalHeader()->setDefaultSectionSize(m_List->fontMetrics().height() + 4);
    m_List->setShowGrid(false);
    m_List->setWordWrap(false);
    m_List->setCornerButtonEnabled(false);
    m_List->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_List->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_List->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_List->horizontalHeader()->setHighlightSections(false);
    m_List->horizontalHeader()->setStretchLastSection(true); // "Message" widened to the window
    m_List->horizontalHeader()->resizeSection(0, 60);
    m_List->horizontalHeader()->resizeSection(1, 180);
    m_List->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_List, &QWidget::customContextMenuRequested, this, &CVLPLogWnd::ShowContextMenu);

    m_Group = new QGroupBox(QStringLiteral("Debug"), this);
    for (int i = 0; i < 4; ++i) {
        m_Levels[i] = new QCheckBox(QString::fromLatin1(kLevelNames[i]), this);
        m_Levels[i]->raise(); // above the group box, which is their sibling
        connect(m_Levels[i], &QCheckBox::clicked, this, &CVLPLogWnd::RebuildMask);
    }
    m_Exit = new QPushButton(QStringLiteral("Exit"), this);
    connect(m_Exit, &QPushButton::clicked, this, &QWidget::close);
    m_StartStop = new QPushButton(QStringLiteral("Stop"), this);
    connect(m_StartStop, &QPushButton::clicked, this, [this] { SetPaused(!Paused()); });

    BindWindow(m_Settings, this, QStringLiteral("logWnd"));
    m_Settings.BindInt(m_Mask, "Level", 14);
    SetLevelMask(m_Mask);
    LayoutChildren(width(), height());
    m_Exit->setFocus();
}

CVLPLogWnd::~CVLPLogWnd() {
    StopRecording();
    Detach();      // no further line is handed to this window
    delete m_List; // before the model it shows
    m_List = nullptr;
}

void CVLPLogWnd::Attach() {
    if (!m_Attached.exchange(true))
        m_Engine.SetTraceSink(this);
}

void CVLPLogWnd::Detach() {
    if (m_Attached.exchange(false))
        m_Engine.LogWindowClosed();
}

void CVLPLogWnd::SetClock(std::function<std::chrono::system_clock::time_point()> clock) {
    m_Clock = std::move(clock);
}

void CVLPLogWnd::AddLine(int level, std::string line) {
    if (m_Paused.load() || level < 0 || level > 3 || (m_LevelMask.load() & (1 << level)) == 0)
        return;
    if (line.size() > kMaxTraceLine)
        line.resize(kMaxTraceLine);
    CLogModel::Line rec{MsOfHour(m_Clock()), std::move(line), -1};
    bool schedule = false;
    {
        std::lock_guard<std::mutex> g(m_PendingLock);
        // Once the queue has overrun, lines are only counted until the GUI has caught up;
        // the count then goes into the list as one line (Flush).
        if (m_Dropped > 0 || m_Pending.size() >= m_PendingLimit) {
            ++m_Dropped;
            return;
        }
        m_Pending.push_back(std::move(rec));
        schedule = !m_FlushScheduled;
        m_FlushScheduled = true;
    }
    // One flush per batch: only the line that finds no flush coming schedules one.
    if (schedule)
        QMetaObject::invokeMethod(
            this, [this] { Flush(); }, Qt::QueuedConnection);
}

void CVLPLogWnd::Flush() {
    std::vector<CLogModel::Line> batch;
    bool more = false;
    {
        std::lock_guard<std::mutex> g(m_PendingLock);
        const std::size_t n = std::min(m_Pending.size(), kFlushLines);
        batch.reserve(n + 1);
        std::move(m_Pending.begin(), m_Pending.begin() + static_cast<std::ptrdiff_t>(n),
                  std::back_inserter(batch));
        m_Pending.erase(m_Pending.begin(), m_Pending.begin() + static_cast<std::ptrdiff_t>(n));
        if (m_Dropped > 0 && m_Pending.empty()) {
            // Caught up: the lines not kept are named where they would have been.
            batch.push_back({MsOfHour(m_Clock()), "... " + std::to_string(m_Dropped) + " lines dropped", -1});
            m_Dropped = 0;
        }
        more = !m_Pending.empty();
        m_FlushScheduled = more;
    }
    if (more)
        QMetaObject::invokeMethod(
            this, [this] { Flush(); }, Qt::QueuedConnection);
    if (batch.empty())
        return;
    // The newest row is followed only while the list shows the bottom.
    const bool follow = m_List != nullptr && ViewAtBottom(*m_List);
    m_Model.Append(batch);
    if (follow)
        m_List->scrollToBottom();
}

void CVLPLogWnd::SetPendingLimit(std::size_t limit) {
    std::lock_guard<std::mutex> g(m_PendingLock);
    m_PendingLimit =
        std::max<std::size_t>(limit, 1); // with no room at all no flush would ever name the drops
}

std::size_t CVLPLogWnd::PendingLines() const {
    std::lock_guard<std::mutex> g(m_PendingLock);
    return m_Pending.size();
}

void CVLPLogWnd::SetLevelMask(int mask) {
    m_Mask = mask;
    m_LevelMask.store(mask);
    for (int i = 0; i < 4; ++i)
        m_Levels[i]->setChecked((mask & (1 << i)) != 0);
}

void CVLPLogWnd::RebuildMask() {
    int mask = 0;
    for (int i = 0; i < 4; ++i)
        if (m_Levels[i]->isChecked())
            mask |= 1 << i;
    m_Mask = mask;
    m_LevelMask.store(mask);
}

void CVLPLogWnd::SetPaused(bool paused) {
    if (paused)
        StopRecording(); // "Stop" ends a recording as well
    m_Paused.store(paused);
    m_StartStop->setText(paused ? QStringLiteral("Start") : QStringLiteral("Stop"));
}

void CVLPLogWnd::LayoutChildren(int cx, int cy) {
    auto place = [](QWidget* w, int x, int y, int width, int height) {
        w->setGeometry(x, y, std::max(0, width), std::max(0, height));
    };
    place(m_List, 6, 6, cx - 12, cy - 50);
    place(m_Exit, cx - 70, cy - 40, 64, 18);
    place(m_StartStop, cx - 70, cy - 19, 64, 18);
    place(m_Group, 6, cy - 44, cx - 80, 41);
    const int q = (cx - 86) / 4;
    for (int i = 0; i < 4; ++i)
        place(m_Levels[i], 16 + i * q, cy - 30, 65, 23);
}

void CVLPLogWnd::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    LayoutChildren(event->size().width(), event->size().height());
}

void CVLPLogWnd::closeEvent(QCloseEvent* event) {
    Detach();
    emit closed(this);
    QWidget::closeEvent(event);
}

QString CVLPLogWnd::RowsText(bool selectedOnly) const {
    std::vector<std::size_t> rows;
    if (selectedOnly && m_List && m_List->selectionModel()) {
        for (const QModelIndex& i : m_List->selectionModel()->selectedRows())
            rows.push_back(static_cast<std::size_t>(i.row()));
        std::sort(rows.begin(), rows.end());
    } else {
        rows.resize(m_Model.Rows());
        for (std::size_t i = 0; i < rows.size(); ++i)
            rows[i] = i;
    }
    QString out;
    for (std::size_t r : rows) {
        out += m_Model.TimeText(r);
        out += QLatin1Char('\t');
        out += ExportCellText(m_Model.MessageText(r)); // one line per row
        out += QLatin1Char('\n');
    }
    return out;
}

bool CVLPLogWnd::SaveTo(const QString& path, QString* reason) const {
    // The texts as shown, in UTF-8 like the clipboard's: a byte above 127 is the character the
    // list shows for it.
    QString why;
    const bool ok = WriteTextFile(path, RowsText(false), why);
    if (reason)
        *reason = why;
    return ok;
}

void CVLPLogWnd::ShowContextMenu(const QPoint& pos) {
    QMenu menu(this);
    QAction* copy = menu.addAction(QStringLiteral("Copy"));
    copy->setEnabled(m_List->selectionModel() != nullptr && m_List->selectionModel()->hasSelection());
    QAction* save = menu.addAction(QStringLiteral("Save..."));
    QAction* record =
        menu.addAction(Recording() ? QStringLiteral("Stop recording") : QStringLiteral("Record to file..."));
    QAction* chosen = menu.exec(m_List->viewport()->mapToGlobal(pos));
    if (chosen == record) {
        if (Recording()) {
            StopRecording();
            return;
        }
        const QString path =
            QFileDialog::getSaveFileName(this, QStringLiteral("Record to file"), QString(),
                                         QStringLiteral("Link captures (*.pcap);;All files (*)"));
        QString reason;
        if (!path.isEmpty() && !StartRecording(path, &reason))
            QMessageBox::warning(this, QStringLiteral("Record to file"),
                                 QStringLiteral("%1 cannot be written: %2").arg(path, reason));
        return;
    }
    if (chosen == copy) {
        QApplication::clipboard()->setText(RowsText(true));
    } else if (chosen == save) {
        // The rows of the moment the file is chosen; a failure names the file and the reason.
        AskAndSaveText(this, [this] { return RowsText(false); });
    }
}

bool CVLPLogWnd::StartRecording(const QString& path, QString* reason) {
    StopRecording();
    auto file = std::make_unique<CPcapCaptureFile>();
    std::string why;
    if (!file->Open(path.toStdString(), why)) {
        if (reason)
            *reason = QString::fromStdString(why);
        return false;
    }
    m_Recording = std::move(file);
    m_Engine.SetCapture(m_Recording.get());
    return true;
}

void CVLPLogWnd::StopRecording() {
    if (!m_Recording)
        return;
    m_Engine.SetCapture(nullptr); // no hand-over runs once this returns
    m_Recording->Close();
    m_Recording.reset();
}

} // namespace vq5::qt
