#include "ToolDialog.h"

#include "AboutBox.h"
#include "EngineFront.h"
#include "Logo.h"
#include "QtSettingsStore.h"
#include "QtUserMessages.h"
#include "RecordWriter.h"
#include "ServiceHistoryDlg.h"
#include "ServiceReport.h"
#include "VLPLogWnd.h"
#include "VLPEngine.h"
#include "VisitLog.h"
#include "WindowBinding.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QSaveFile>
#include <QThread>
#include <QVBoxLayout>

namespace vq5::qt {

// --- CFrameGroup -------------------------------------------------------------------------

namespace {
// Where the shell's message boxes go (CToolDialog::SetMessageHook); empty: a message box.
std::function<void(QWidget*, const QString&)>& MessageHook() {
    static std::function<void(QWidget*, const QString&)> hook;
    return hook;
}

enum class Box { Warning, Information };

void ShowMessage(QWidget* parent, Box box, const QString& title, const QString& text) {
    if (MessageHook())
        MessageHook()(parent, text);
    else if (box == Box::Warning)
        QMessageBox::warning(parent, title, text);
    else
        QMessageBox::information(parent, title, text);
}

void ReportMissingFrame(QWidget* dialog) {
    ShowMessage(dialog, Box::Warning, QCoreApplication::applicationName(),
                QStringLiteral("Unable to find frame control"));
}

// A widget's rectangle in the dialog's client coordinates (right and bottom exclusive).
QRect RectIn(const QWidget* w, const QWidget* dialog) {
    return QRect(w->mapTo(dialog, QPoint(0, 0)), w->size());
}

// Inside as a point in a rectangle: left and top inclusive, right and bottom exclusive.
bool PointIn(const QRect& r, int x, int y) {
    return x >= r.left() && x < r.left() + r.width() && y >= r.top() && y < r.top() + r.height();
}
} // namespace

void CFrameGroup::Init(QWidget* dialog, const QString& frameName) {
    QGroupBox* frame = nullptr;
    if (dialog && !frameName.isEmpty())
        frame = dialog->findChild<QGroupBox*>(frameName);
    Init(dialog, frame);
}

void CFrameGroup::Init(QWidget* dialog, QGroupBox* frame) {
    m_Dialog = dialog;
    m_Frame = frame;
    m_Controls.clear();
    m_Rect = QRect();
    if (!dialog || !frame || !dialog->isAncestorOf(frame)) {
        m_Frame = nullptr;
        ReportMissingFrame(dialog);
        return;
    }
    m_Rect = RectIn(frame, dialog);
    const auto children = dialog->findChildren<QWidget*>();
    for (QWidget* w : children) {
        if (w == frame || w->isWindow())
            continue;
        const QRect r = RectIn(w, dialog);
        const int l = r.left(), t = r.top(), rr = r.left() + r.width(), b = r.top() + r.height();
        if (PointIn(m_Rect, l, t) && PointIn(m_Rect, rr, t) && PointIn(m_Rect, l, b) &&
            PointIn(m_Rect, rr, b))
            m_Controls.emplace_back(w);
    }
}

int CFrameGroup::Enable(bool enable, const QWidget* except) {
    for (const QPointer<QWidget>& w : m_Controls) {
        if (w && w != except)
            w->setEnabled(enable);
    }
    return static_cast<int>(m_Controls.size());
}

int CFrameGroup::Enable(bool enable, const QString& exceptName) {
    const QWidget* except = nullptr;
    if (m_Dialog && !exceptName.isEmpty())
        except = m_Dialog->findChild<QWidget*>(exceptName);
    return Enable(enable, except);
}

// --- CWaitCursor -------------------------------------------------------------------------

CWaitCursor::CWaitCursor() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
}
CWaitCursor::~CWaitCursor() {
    QApplication::restoreOverrideCursor();
}

ToolInfo MakeToolInfo(const QString& program, const QString& caption, ToolInfo::Menu menu, int aboutBitmap) {
    ToolInfo info;
    info.program = program;
    info.caption = caption;
    info.placement = QStringLiteral("dlgWnd-1.8");
    info.aboutItem = QStringLiteral("&About %1...").arg(program);
    info.menu = menu;
    info.aboutBitmap = aboutBitmap;
    info.description = caption;
    return info;
}

void CToolDialog::SetMessageHook(std::function<void(QWidget*, const QString&)> hook) {
    MessageHook() = std::move(hook);
}

void CToolDialog::Warning(const QString& text, const QString& title) {
    ShowMessage(this, Box::Warning, title.isEmpty() ? m_Info.program : title, text);
}

void CToolDialog::Information(const QString& text, const QString& title) {
    ShowMessage(this, Box::Information, title.isEmpty() ? m_Info.program : title, text);
}

QString PortOpenAdvice(const ToolInfo& info, const QString& settingsFile) {
    if (info.menu != ToolInfo::None)
        return QStringLiteral(
            "The link stays down. Choose the port in VQ-5 > Settings, or start the tool again.");
    const QString file = settingsFile.isEmpty() ? QStringLiteral("the tool's settings file") : settingsFile;
    return QStringLiteral(
               "The link stays down. The port is the value ComPort in section [VLPIO] of %1: correct it "
               "there and start the tool again, or reset from the command line: vq5 reset --port <device>")
        .arg(file);
}

// --- CToolDialog -------------------------------------------------------------------------

CToolDialog::CToolDialog(ToolInfo info, CVLPEngine& engine, QWidget* parent)
    : QDialog(parent), m_Info(std::move(info)), m_ToolEngine(engine),
      m_Section(std::make_unique<CProfileSection>(kToolSection)) {
    setObjectName(QStringLiteral("102"));
    setWindowTitle(m_Info.caption);
    setWindowIcon(ToolIcon(m_Info.program));
    // A plain dialog frame: no "What's this" button.
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setWindowFlag(Qt::WindowMinimizeButtonHint, true);
    // exec() keeps a modality set beforehand. Window-modal, the dialog blocks only the windows
    // it belongs to (none: it is the tool's main window), so the protocol log window, which
    // has no parent, takes the mouse and keyboard while the dialog runs. The dialog's own boxes
    // are modal as before.
    setWindowModality(Qt::WindowModal);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    if (m_Info.menu != ToolInfo::None) {
        m_MenuBar = new QMenuBar(this);
        layout->setMenuBar(m_MenuBar);
        BuildMenu();
    }
    m_Body = new QWidget(this);
    m_Body->setObjectName(QStringLiteral("body"));
    layout->addWidget(m_Body);
}

CToolDialog::~CToolDialog() {
    Shutdown();
}

void CToolDialog::BuildMenu() {
    auto add = [this](QMenu* menu, const QString& text, int command) {
        QAction* a = menu->addAction(text);
        a->setData(command);
        m_Actions.insert(command, a);
        connect(a, &QAction::triggered, this, [this, command] { RunCommand(command); });
        return a;
    };
    const bool prg = m_Info.menu == ToolInfo::PrgStyle;
    QMenu* file = m_MenuBar->addMenu(QStringLiteral("&File"));
    if (m_Info.serviceHistory) {
        add(file, QStringLiteral("Service &history..."), cmdServiceHistory);
        file->addSeparator();
    }
    add(file, QStringLiteral("&Exit"), cmdExit);
    QMenu* device = m_MenuBar->addMenu(QStringLiteral("V&Q-5"));
    add(device, QStringLiteral("&Settings"), prg ? cmdSettingsPrg : cmdSettingsTest);
    add(device, prg ? QStringLiteral("&Debug window") : QStringLiteral("&Debug"),
        prg ? cmdDebugWindow : cmdDebug);
    add(device, QStringLiteral("&Link health"), cmdLinkHealth);
    QMenu* help = m_MenuBar->addMenu(QStringLiteral("&Help"));
    add(help, QStringLiteral("&About"), cmdAbout);
    if (!prg) {
        QAction* manual = help->addAction(QStringLiteral("&Manual"));
        connect(manual, &QAction::triggered, this, [this] { OnManual(); });
        m_Actions.insert(-1, manual);
    }
    add(help, QStringLiteral("Save service &report..."), cmdServiceReport);
}

QAction* CToolDialog::Action(int command) const {
    return m_Actions.value(command, nullptr);
}

void CToolDialog::SetBodySize(const QSize& size) {
    m_Body->setFixedSize(size);
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    adjustSize();
}

bool CToolDialog::InitDialog(QWidget* placeholder) {
    // Expert mode: the marker file "<program>.Lumark" in the current directory; not read.
    m_ExpertMode = QFileInfo::exists(QDir::current().filePath(m_Info.program + QStringLiteral(".Lumark")));
    // The placement, restored and bound under the tool's placement name.
    BindWindow(*m_Section, this, m_Info.placement);
    // The engine front in place of the placeholder; the engine starts.
    // The port's error boxes say which port failed, why, and what happens next.
    QString settingsFile;
    if (auto* qtStore = dynamic_cast<CQtSettingsStore*>(&DefaultSettingsStore()))
        settingsFile = qtStore->FileName();
    m_ToolEngine.SetErrorAdvice(PortOpenAdvice(m_Info, settingsFile).toStdString());
    m_Front = std::make_unique<CEngineFront>(m_ToolEngine, this);
    m_Front->SetMainHandler([this](const Notification& n) {
        FollowVisit(n);
        if (!m_ShutDown && !m_Closing)
            OnNotify(n);
    });
    const bool created = m_Front->Create(placeholder);
    InitFrameGroups();
    ApplyToolTips();
    return created;
}

void CToolDialog::ApplyToolTips() {
    if (m_Info.tooltips.isEmpty())
        return;
    const auto children = findChildren<QWidget*>();
    for (QWidget* w : children) {
        QString key = w->objectName();
        const QVariant id = w->property("vq5Id");
        if (id.isValid())
            key = QString::number(id.toInt());
        if (key.isEmpty())
            continue; // a control without id gets no tooltip
        auto it = m_Info.tooltips.constFind(key);
        if (it != m_Info.tooltips.constEnd())
            w->setToolTip(*it);
    }
}

void CToolDialog::OnNotify(const Notification&) {}

void CToolDialog::OnSettings() {
    if (m_Front)
        m_Front->EditConnectionSettings(this);
}

void CToolDialog::OnDebug() {
    if (m_Front)
        m_Front->ShowLogWindow();
}

void CToolDialog::OnManual() {
    Information(QStringLiteral("No manual is installed with %1.").arg(m_Info.program), m_Info.caption);
}

void CToolDialog::RunCommand(int command) {
    switch (command) {
    case cmdExit:
        accept();
        break;
    case cmdAbout:
    case cmdAboutSystem:
        ShowAbout();
        break;
    case cmdSettingsPrg:
    case cmdSettingsTest:
        OnSettings();
        break;
    case cmdDebug:
    case cmdDebugWindow:
        OnDebug();
        break;
    case cmdServiceHistory:
        MakeServiceHistory()->exec();
        break;
    case cmdServiceReport:
        OnServiceReport();
        break;
    case cmdLinkHealth:
        if (m_Front)
            m_Front->ShowLinkHealth();
        break;
    default:
        break;
    }
}

void CToolDialog::ShowAbout() {
    std::unique_ptr<CAboutBox> box;
    if (m_Info.shortAbout)
        box = std::make_unique<CAboutBox>(m_Info.program, m_Info.shortVersion, m_Info.aboutBitmap, this);
    else
        box = std::make_unique<CAboutBox>(BuildVersionInfo(m_Info.description), m_Info.aboutBitmap, this);
    m_AboutBox = box.get();
    box->exec();
}

void CToolDialog::contextMenuEvent(QContextMenuEvent* event) {
    if (m_Info.aboutItem.isEmpty()) {
        QDialog::contextMenuEvent(event);
        return;
    }
    QMenu menu(this);
    QAction* about = menu.addAction(m_Info.aboutItem);
    connect(about, &QAction::triggered, this, [this] { RunCommand(cmdAboutSystem); });
    if (m_Info.menu == ToolInfo::None) { // without a Help menu the report is saved from here
        QAction* report = menu.addAction(QStringLiteral("Save service &report..."));
        connect(report, &QAction::triggered, this, [this] { RunCommand(cmdServiceReport); });
    }
    menu.exec(event->globalPos());
}

void CToolDialog::done(int result) {
    // A box the engine shows (port error) must not hold the dialog open: abandon it, so its
    // nested loop ends and the dialog's own loop can return.
    if (m_Front)
        m_Front->UserMessages().Abandon();
    if (m_AboutBox)
        m_AboutBox->reject();
    LeaveProgramModeBeforeClose();
    QDialog::done(result);
}

void CToolDialog::LeaveProgramModeBeforeClose() {
    if (m_Closing || !m_Front || !m_ToolEngine.IsRunning())
        return;
    if (!m_ToolEngine.QueueExitForClose())
        return; // program mode is not open: nothing goes out
    // From here on the tool hears nothing more, so nothing it would queue follows the exit.
    m_Closing = true;
    CWaitCursor wait;
    QElapsedTimer t;
    t.start();
    while (m_ToolEngine.ProgramModeOpen() && t.elapsed() < kExitWaitMs) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 10);
        QThread::msleep(5);
    }
}

void CToolDialog::Shutdown() {
    if (m_ShutDown)
        return;
    m_ShutDown = true;
    // A visit still open (the dialog closed with the device in program mode) is kept.
    m_Untaken.clear(); // the device took none of them that we know of
    FinishVisit(m_Info.visitWhileLinked ? "done" : "closed in program mode");
    // Stops the worker (bounded), closes the log window (its settings are written) and
    // removes the status box.
    m_Front.reset();
    // The tool's section: the bound fields and, while the window exists, its placement.
    m_Section.reset();
    // Waits (bounded) for what is queued; the record never holds the link.
    m_Record.reset();
}

void CToolDialog::FollowVisit(const Notification& n) {
    if (n.kind == nkQueueEmpty) {
        RecordTaken(false);
        // A device that does not answer the exit: its acknowledgement closed program mode.
        if (!m_Info.visitWhileLinked && !m_ToolEngine.ProgramModeOpen())
            FinishVisit("done");
        return;
    }
    if (m_Info.visitWhileLinked) {
        if (n.kind == nkLinkStatus && n.value == lsConnected && !m_Visit)
            OpenVisit();
        else if (n.kind == nkLinkStatus && n.value != lsConnected)
            FinishVisit("done");
        else if (n.kind == nkIdent && n.value == 1)
            NoteIdentification(n.text);
        return;
    }
    if (n.kind != nkIdent)
        return;
    if (n.value == 0) {
        // The device answered the exit: it took every text queued before it.
        RecordTaken(true);
        FinishVisit("done");
        return;
    }
    if (m_Visit)
        FinishVisit("done"); // a new program mode without an exit between
    OpenVisit();
    NoteIdentification(n.text);
}

void CToolDialog::OpenVisit() {
    if (!m_Record) {
        m_Record = std::make_unique<record::CRecordWriter>(
            record::ResolveConfig(&DefaultSettingsStore()),
            [program = m_Info.program](const std::string& message) {
                qWarning("%s: %s", qUtf8Printable(program), message.c_str());
            });
    }
    m_FiguresAtVisit = m_ToolEngine.Figures();
    if (m_Record->Enabled())
        m_Visit = std::make_unique<record::CVisitLog>(m_Info.program.toStdString(), m_ToolEngine.m_ComPort);
}

void CToolDialog::NoteIdentification(const std::string& identification) {
    // Taken now: leaving program mode resets the engine's version.
    const unsigned major = m_ToolEngine.VersionMajor(), minor = m_ToolEngine.VersionMinor();
    m_LastIdent = identification;
    m_LastVersion = record::VersionText(major, minor);
    m_LastLetter = std::string(1, m_ToolEngine.DeviceLetter());
    if (m_Visit)
        m_Visit->Identified(identification, m_ToolEngine.DeviceLetter(), major, minor);
}

void CToolDialog::RecordTaken(bool left) {
    // With no visit open, an empty queue may be one reported before the texts were queued.
    if (!m_Visit && !left)
        return;
    if (m_Visit)
        m_Visit->Wrote(m_Untaken);
    m_Untaken.clear();
}

void CToolDialog::FinishVisit(const char* outcome) {
    if (!m_Visit || !m_Record)
        return;
    std::unique_ptr<record::CVisitLog> visit = std::move(m_Visit);
    m_Record->Add(visit->Finish(outcome));
}

void CToolDialog::RecordRead(const char* kind, const std::string& item, const std::string& value) {
    if (m_Visit)
        m_Visit->Read(kind, item, value);
}

void CToolDialog::RecordReadLatest(const char* kind, const std::string& item, const std::string& value) {
    if (m_Visit)
        m_Visit->ReadLatest(kind, item, value);
}

void CToolDialog::RecordWrote(const std::vector<std::string>& texts) {
    if (m_Visit)
        m_Visit->Wrote(texts);
}

void CToolDialog::RecordWroteUnlessRepeated(const std::string& text) {
    if (m_Visit)
        m_Visit->WroteUnlessRepeated(text);
}

void CToolDialog::RecordWhenTaken(const std::vector<std::string>& texts) {
    m_Untaken.insert(m_Untaken.end(), texts.begin(), texts.end());
}

void CToolDialog::FillReport(record::ReportInput&) const {}

void CToolDialog::OnServiceReport() {
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Save service report"),
                                                      m_Info.program + QStringLiteral("-report.html"),
                                                      QStringLiteral("HTML files (*.html);;All files (*)"));
    if (path.isEmpty())
        return;
    QString reason;
    if (!SaveServiceReport(path, &reason))
        Warning(QStringLiteral("The service report could not be saved: %1").arg(reason), m_Info.caption);
}

std::unique_ptr<CServiceHistoryDlg> CToolDialog::MakeServiceHistory() {
    FlushRecord(); // the visits handed over so far belong in the list
    const record::RecordConfig place = RecordPlace();
    std::string note;
    std::vector<record::Visit> visits = record::DeviceHistory(place, m_LastIdent, note, 500);
    return std::make_unique<CServiceHistoryDlg>(QString::fromStdString(m_LastIdent), std::move(visits),
                                                QString::fromStdString(note), this);
}

bool CToolDialog::SaveServiceReport(const QString& path, QString* reason) {
    record::ReportInput in;
    in.tool = m_Info.program.toStdString();
    in.port = m_ToolEngine.m_ComPort;
    in.identification = m_LastIdent;
    in.letter = m_LastLetter;
    in.version = m_LastVersion;
    in.linkStatus = m_ToolEngine.StatusText();
    FillReport(in);
    if (m_Front && m_Front->LogWindow()) {
        const QStringList lines =
            m_Front->LogWindow()->RowsText(false).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        constexpr qsizetype kLastLines = 200;
        for (qsizetype i = std::max<qsizetype>(0, lines.size() - kLastLines); i < lines.size(); ++i)
            in.logLines.push_back(lines[i].toStdString());
    }
    // The visits handed over so far belong in the history.
    FlushRecord();
    // Rates since the last visit opened; before any, none.
    const LinkFigures now = m_ToolEngine.Figures();
    const LinkFigures& atStart = m_FiguresAtVisit.takenAt > 0 ? m_FiguresAtVisit : now;
    const std::string html = record::BuildReport(std::move(in), atStart, now, RecordPlace());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(html.data(), qint64(html.size())) != qint64(html.size()) || !file.commit()) {
        if (reason)
            *reason = file.errorString();
        return false;
    }
    return true;
}

record::RecordConfig CToolDialog::RecordPlace() const {
    return m_Record ? m_Record->Config() : record::ResolveConfig(&DefaultSettingsStore());
}

bool CToolDialog::FlushRecord() {
    return !m_Record || m_Record->Flush();
}

} // namespace vq5::qt
