#include "EmuDlg.h"

#include "DialogControls.h"
#include "ListExport.h"
#include "LogIcons.h"
#include "WindowBinding.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <algorithm>
#include <QGroupBox>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>

namespace vq5::emu {

namespace {

qt::ToolInfo EmuToolInfo() {
    qt::ToolInfo info = qt::MakeToolInfo(QString::fromLatin1(kProgramName),
                                         QStringLiteral("VQ-5 Windows Velto"), qt::ToolInfo::PrgStyle, 132);
    info.shortAbout = true;
    info.visitWhileLinked = true;
    info.shortVersion = QString::fromLatin1(kAboutVersion);
    return info;
}

std::function<std::chrono::system_clock::time_point()>& Clock() {
    static std::function<std::chrono::system_clock::time_point()> clock;
    return clock;
}

constexpr int kMin = 0, kMax = 999;

} // namespace

void CEmuDlg::SetClock(std::function<std::chrono::system_clock::time_point()> clock) {
    Clock() = std::move(clock);
}

CEmuDlg::CEmuDlg(ISettingsStore* store, QWidget* parent)
    : CToolEngineHolder(store), qt::CToolDialog(EmuToolInfo(), m_Engine, parent) {
    // Building the dialog object: the settings bound and read.
    m_Model = std::make_unique<CEmulator>(m_Engine, Section());

    QWidget* body = Body();
    SetBodySize(qt::DluSize(this, 247, 218));

    m_LogModel.SetHeaders(QStringLiteral("min:sec.xx"), QStringLiteral("Message"));
    std::vector<QIcon> icons;
    for (int i = 0; i < kLogIconCount; ++i)
        icons.push_back(LogIcon(i)); // made once, shared by every row
    m_LogModel.SetIcons(std::move(icons));
    m_Log = qt::Placed(this, new QTableView(body), QStringLiteral("1005"), QRect(7, 7, 233, 128));
    m_Log->setModel(&m_LogModel);
    // Fixed row heights and no grid: adding rows never lays out the rows already there.
    m_Log->verticalHeader()->hide();
    m_Log->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_Log->verticalHeader()->setDefaultSectionSize(std::max(m_Log->fontMetrics().height(), kLogIconSize) + 4);
    m_Log->setShowGrid(false);
    m_Log->setWordWrap(false);
    m_Log->setCornerButtonEnabled(false);
    m_Log->setSelectionMode(QAbstractItemView::SingleSelection);
    m_Log->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_Log->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_Log->setFrameShape(QFrame::StyledPanel);
    m_Log->setIconSize(QSize(kLogIconSize, kLogIconSize));
    m_Log->horizontalHeader()->setHighlightSections(false);
    m_Log->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_Log->horizontalHeader()->setStretchLastSection(true);
    m_Log->horizontalHeader()->setSectionsMovable(false);
    m_Log->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_Log, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { ShowLogMenu(pos); });

    m_Placeholder = qt::Placed(this, new QGroupBox(QStringLiteral("Engine"), body), QStringLiteral("1004"),
                               QRect(7, 141, 150, 70));

    auto* lineLabel = new QLabel(QStringLiteral("Lijn nr"), body);
    lineLabel->setGeometry(qt::DluRect(this, 165, 145, 30, 8));
    m_LineEdit = qt::Placed(this, new QLineEdit(body), QStringLiteral("1006"), QRect(197, 143, 43, 12));
    auto* runLabel = new QLabel(QStringLiteral("Run nr"), body);
    runLabel->setGeometry(qt::DluRect(this, 165, 161, 30, 8));
    m_RunEdit = qt::Placed(this, new QLineEdit(body), QStringLiteral("1007"), QRect(197, 159, 43, 12));
    m_AutoIncr = new QCheckBox(QStringLiteral("Auto incr"), body);
    m_AutoIncr->setObjectName(QStringLiteral("1009"));
    m_AutoIncr->setLayoutDirection(Qt::RightToLeft); // text on the left
    m_AutoIncr->setGeometry(qt::DluRect(this, 165, 176, 75, 10));
    m_Ok = new QPushButton(QStringLiteral("OK"), body);
    m_Ok->setObjectName(QStringLiteral("1"));
    m_Ok->setDefault(true);
    m_Ok->setGeometry(qt::DluRect(this, 190, 197, 50, 14));

    connect(m_LineEdit, &QLineEdit::textEdited, this, [this] { OnNumberEdited(); });
    connect(m_RunEdit, &QLineEdit::textEdited, this, [this] { OnNumberEdited(); });
    connect(m_AutoIncr, &QCheckBox::clicked, this, [this] { OnAutoIncrClicked(); });
    connect(m_Ok, &QPushButton::clicked, this, [this] { RunCommand(qt::cmdExit); });

    // "&About" reads the controls first, then shows the About box.
    if (QAction* about = Action(qt::cmdAbout)) {
        disconnect(about, &QAction::triggered, this, nullptr);
        connect(about, &QAction::triggered, this, [this] {
            TakeControlValues();
            ShowAbout();
        });
    }

    PutControlValues();
    // The engine gets the numbers before it starts, so its first display message carries them.
    m_Model->PushNumbers();
    m_Model->PushAutoIncrement();

    // Placement, then the engine in place of the placeholder (it starts).
    InitDialog(m_Placeholder);
    m_Model->PushAutoIncrement();
    // 70 pixels, or what the icon and "59:59.99" need in this font, whichever is more.
    const int timeWidth =
        kLogIconSize + m_Log->fontMetrics().horizontalAdvance(QStringLiteral("59:59.99")) + 20;
    m_Log->setColumnWidth(0, std::max(70, timeWidth));
    m_Log->setColumnWidth(1, 100); // then widened to the rest of the header (stretched)
    if (TakeControlValues())
        m_Model->PushNumbers();
}

CEmuDlg::~CEmuDlg() {
    Shutdown();
}

void CEmuDlg::PutControlValues() {
    // Programmatic changes do not count as edits (textEdited), so they are not copied back.
    m_LineEdit->setText(QString::number(m_Model->m_LijnNr));
    m_RunEdit->setText(QString::number(m_Model->m_RunNr));
    m_AutoIncr->setChecked(m_Model->m_AutoIncrement != 0);
}

bool CEmuDlg::TakeControlValues() {
    int line = 0, run = 0;
    struct Field {
        QLineEdit* edit;
        int* value;
    } fields[] = {{m_LineEdit, &line}, {m_RunEdit, &run}};
    for (const Field& f : fields) {
        const FieldCheck r = CheckNumberField(f.edit->text().toStdString(), kMin, kMax, *f.value);
        if (r != FieldCheck::Ok) {
            const QString text = QString::fromStdString(FieldCheckMessage(r, kMin, kMax));
            Warning(text);
            f.edit->setFocus();
            f.edit->selectAll();
            return false;
        }
    }
    m_Model->m_LijnNr = line;
    m_Model->m_RunNr = run;
    m_Model->m_AutoIncrement = m_AutoIncr->isChecked() ? 1 : 0;
    return true;
}

void CEmuDlg::OnNumberEdited() {
    if (TakeControlValues())
        m_Model->PushNumbers();
}

void CEmuDlg::OnAutoIncrClicked() {
    TakeControlValues();
    // The check box is read even when a number field refuses.
    m_Model->m_AutoIncrement = m_AutoIncr->isChecked() ? 1 : 0;
    m_Model->PushAutoIncrement();
}

void CEmuDlg::OnSettings() {
    TakeControlValues();
    qt::CToolDialog::OnSettings();
}

qt::CLogModel::Line CEmuDlg::MakeLogRow(const std::string& line) const {
    const LogEntry e = SplitLogLine(line);
    const auto now = Clock() ? Clock()() : std::chrono::system_clock::now();
    return {qt::MsOfHour(now), e.text, e.icon >= 0 && e.icon < kLogIconCount ? e.icon : -1};
}

void CEmuDlg::AddLogLine(const std::string& line) {
    m_PendingLog.push_back(MakeLogRow(line));
    FlushLog();
}

void CEmuDlg::QueueLogLine(const std::string& line) {
    m_PendingLog.push_back(MakeLogRow(line));
    if (m_PendingLog.size() == 1)
        QMetaObject::invokeMethod(
            this, [this] { FlushLog(); }, Qt::QueuedConnection);
}

void CEmuDlg::FlushLog() {
    if (m_PendingLog.empty())
        return;
    // The newest row is followed only while the log shows the bottom.
    const bool follow = qt::ViewAtBottom(*m_Log);
    m_LogModel.Append(m_PendingLog);
    m_PendingLog.clear();
    if (follow)
        m_Log->scrollToBottom();
}

QString CEmuDlg::LogRowsText(bool selectedOnly) const {
    const QAbstractItemModel& model = *m_Log->model();
    return selectedOnly ? qt::ModelRowsText(model, qt::SelectedRows(*m_Log)) : qt::ModelRowsText(model);
}

bool CEmuDlg::SaveLogTo(const QString& path) {
    QString reason;
    if (qt::WriteTextFile(path, LogRowsText(false), reason))
        return true;
    const QString text = qt::SaveFailedText(path, reason);
    Warning(text, QStringLiteral("Save"));
    return false;
}

void CEmuDlg::ShowLogMenu(const QPoint& pos) {
    auto* menu = new QMenu(m_Log);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QAction* copy = menu->addAction(QStringLiteral("Copy"));
    copy->setEnabled(!qt::SelectedRows(*m_Log).isEmpty());
    connect(copy, &QAction::triggered, this,
            [this] { QApplication::clipboard()->setText(LogRowsText(true)); });
    QAction* save = menu->addAction(QStringLiteral("Save..."));
    // After the menu has gone: the file dialog is not opened from inside the menu's handling.
    connect(save, &QAction::triggered, this, [this] {
        QMetaObject::invokeMethod(
            this,
            [this] {
                const QString path =
                    QFileDialog::getSaveFileName(this, QStringLiteral("Save"), QString(),
                                                 QStringLiteral("Text files (*.txt);;All files (*)"));
                if (!path.isEmpty())
                    SaveLogTo(path);
            },
            Qt::QueuedConnection);
    });
    menu->popup(m_Log->viewport()->mapToGlobal(pos));
}

void CEmuDlg::OnNotify(const Notification& n) {
    // What it played, as it went out: a display message repeated at every free opportunity
    // is recorded once until another message follows.
    if (n.kind == nkGenerated)
        RecordWroteUnlessRepeated(n.text);
    const auto line = m_Model->LogLineFor(n);
    if (!line)
        return;
    QueueLogLine(*line);
    if (n.kind == nkReceived) {
        // The engine's numbers (raised by auto increment) into the fields.
        m_LineEdit->setText(QString::number(m_Model->m_LijnNr));
        m_RunEdit->setText(QString::number(m_Model->m_RunNr));
    }
}

} // namespace vq5::emu
