// CToolDialog: the main dialog every tool derives from, and CFrameGroup.
//
// What every tool does alike around its own dialog content: the caption and icon, the menu
// bar of its style ("&File"/"&Exit", "V&Q-5" with the connection settings and the debug
// entry, "&Help"/"&About" [+ "&Manual"]), the About entry also in the dialog's context menu,
// tooltips from the tool's string table, the placement of the dialog in the tool's section
// "Settings_V2.3", the engine front (status box in place of a placeholder, log window) and
// notifications routed to OnNotify on the GUI thread.
//
// Lifecycle. The derived dialog owns its engine (a member) and passes it here; it builds its
// controls in Body() and then calls InitDialog(placeholder). Shutdown() stops the worker,
// tears the front down (log window settings written) and writes the tool's section; it runs
// once, from RunTool after the dialog has closed, from the derived destructor (call it
// first thing there, while the engine and the bound fields still exist), or at the latest
// from ~CToolDialog. The placement is saved when the dialog window closes or is destroyed.
#pragma once

#include "ProfileSection.h"
#include "LinkStats.h"
#include "Notify.h"

#include <QDialog>
#include <QMap>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QAction;
class QGroupBox;
class QMenuBar;

namespace vq5 {
class CVLPEngine;
}
namespace vq5::record {
class CRecordWriter;
class CVisitLog;
struct ReportInput;
struct RecordConfig;
} // namespace vq5::record

namespace vq5::qt {

class CEngineFront;
class CServiceHistoryDlg;

inline constexpr const char* kToolSection = "Settings_V2.3";

struct ToolInfo {
    QString program;   // "VQ5WReset"
    QString caption;   // "VQ5WReset"
    QString placement; // "dlgWnd-1.0"
    QString aboutItem; // "&About VQ5WReset..."; empty = no About entry in the context menu
    enum Menu {
        PrgStyle,  // "&Settings" 32771, "&Debug window" 32772, "&About" 32776
        TestStyle, // "&Settings" 32775, "&Debug" 32777, "&About" 32776, "&Manual"
        None       // no menu bar
    } menu = None;
    int aboutBitmap = 130;   // the small picture of the About box: 130 or 132
    bool shortAbout = false; // the emulator's About box: "VQ5 Tool %s, version %s"
    QString shortVersion = QStringLiteral("1.4");
    QString description;         // the program's description in the About box
    bool serviceHistory = false; // "Service history..." in the File menu (device tools)
    // A visit lasts while the link is up, not from program-mode entry to exit (the emulator:
    // the device never enters program mode for it).
    bool visitWhileLinked = false;
    // Tooltips: control object name (or its numeric id as text) -> text.
    QMap<QString, QString> tooltips;
};

// A tool's ToolInfo with what the tools share: placed as "dlgWnd-1.8", "&About <program>..."
// in the context menu, the caption as the About box's description.
ToolInfo MakeToolInfo(const QString& program, const QString& caption, ToolInfo::Menu menu, int aboutBitmap);

// A tool dialog derives from its engine's holder first, so that the engine exists before the
// tool dialog takes it and goes after it.
template <class Engine> struct CToolEngineHolder {
    explicit CToolEngineHolder(ISettingsStore* store) : m_Engine(store) {}
    Engine m_Engine;
};

// Menu command identifiers, as the tools' menus number them.
enum ToolCommand : int {
    cmdExit = 1,
    cmdAboutSystem = 16,
    cmdSettingsPrg = 32771,
    cmdDebugWindow = 32772,
    cmdSettingsTest = 32775,
    cmdAbout = 32776,
    cmdDebug = 32777,
    cmdLinkHealth = 32790,     // "&Link health" of the VQ-5 menu
    cmdServiceReport = 32791,  // "Save service report..." of the Help menu (context menu without one)
    cmdServiceHistory = 32792, // "Service history..." of the File menu
};

// The last line of a tool's box after its port failed to open: where the port is chosen. A
// tool with a menu has "VQ-5 > Settings"; one without (VQ5WReset) names its settings file
// (`settingsFile`, or the tool's settings file when empty) and the command line's option.
QString PortOpenAdvice(const ToolInfo& info, const QString& settingsFile);

// Controls that lie inside a group box: enables or disables them together, except one.
class CFrameGroup {
public:
    // Looks the frame up among the dialog's children by object name (or takes the given
    // widget). A missing frame shows "Unable to find frame control" (a warning box, or
    // CToolDialog's message hook) and leaves the group empty.
    void Init(QWidget* dialog, const QString& frameName);
    void Init(QWidget* dialog, QGroupBox* frame);
    // Enables or disables every control of the group but `except` (which keeps its state).
    // Returns the number of controls in the group.
    int Enable(bool enable, const QWidget* except = nullptr);
    int Enable(bool enable, const QString& exceptName);

    const std::vector<QPointer<QWidget>>& Controls() const { return m_Controls; }
    QRect FrameRect() const { return m_Rect; }

private:
    QPointer<QWidget> m_Dialog;
    QPointer<QWidget> m_Frame;
    QRect m_Rect; // the frame's rectangle in the dialog's client coordinates
    std::vector<QPointer<QWidget>> m_Controls;
};

// Shows the wait cursor while it lives.
class CWaitCursor {
public:
    CWaitCursor();
    ~CWaitCursor();
    CWaitCursor(const CWaitCursor&) = delete;
    CWaitCursor& operator=(const CWaitCursor&) = delete;
};

class CToolDialog : public QDialog {
    Q_OBJECT
public:
    CToolDialog(ToolInfo info, CVLPEngine& engine, QWidget* parent = nullptr);
    ~CToolDialog() override;

    const ToolInfo& Info() const { return m_Info; }
    CVLPEngine& Engine() const { return m_ToolEngine; }
    CEngineFront* Front() const { return m_Front.get(); }
    // The tool's own section "Settings_V2.3" (valid until Shutdown).
    CProfileSection& Section() { return *m_Section; }
    // True when "<program>.Lumark" existed in the current directory at InitDialog.
    bool ExpertMode() const { return m_ExpertMode; }

    // The client area below the menu bar: tools put their controls here.
    QWidget* Body() const { return m_Body; }
    // Fixes the dialog's size so that the body is `size` (menu bar added).
    void SetBodySize(const QSize& size);
    QMenuBar* MenuBar() const { return m_MenuBar; }
    // The menu actions by command id (nullptr when the tool's menu has none).
    QAction* Action(int command) const;

    // Runs a command of the menu table (Exit, About, Settings, Debug).
    void RunCommand(int command);
    void ShowAbout();
    // Stops the worker, tears the front down and writes the section. Once; see above.
    void Shutdown();
    bool IsShutDown() const { return m_ShutDown; }

    // The service record. A visit opens when the device identifies itself in program mode
    // and is handed to the record writer (its own thread) when program mode is left or the
    // dialog shuts down. Switched off by the record's setting or VQ5_RECORD=off; a database
    // that fails is reported once in the log and the tool goes on.
    bool VisitOpen() const { return m_Visit != nullptr; }
    // What the tool read during the open visit ("config", "counters", "info": key, value).
    void RecordRead(const char* kind, const std::string& item, const std::string& value);
    // Texts the device acknowledged during the open visit, as they were queued (gated texts
    // the device's version held back are left out).
    void RecordWrote(const std::vector<std::string>& texts);
    // One text the device took, recorded once until another follows (a message repeated at
    // every free opportunity).
    void RecordWroteUnlessRepeated(const std::string& text);
    // The same, keeping only the latest value of the item (a line state polled again and again).
    void RecordReadLatest(const char* kind, const std::string& item, const std::string& value);
    // Texts just queued: the device takes each before the next goes out, so they are recorded
    // as acknowledged when it answers the program-mode exit that follows them or when the
    // queue runs empty with the visit open. A visit that ends otherwise (the dialog closed
    // first) records none of them.
    void RecordWhenTaken(const std::vector<std::string>& texts);
    // Waits (bounded) until the visits handed over so far are in the record (tests).
    bool FlushRecord();

    // "Service history...": the visits to the device last identified, from the record.
    std::unique_ptr<CServiceHistoryDlg> MakeServiceHistory();
    // "Save service report...": asks for a file, then writes the report there.
    void OnServiceReport();
    // Writes one self-contained HTML report: the device last identified, what the tool adds
    // (FillReport), the last lines of the open log window and the device's history from the
    // record. On failure returns false with the reason.
    bool SaveServiceReport(const QString& path, QString* reason = nullptr);

    // The About box the last ShowAbout opened while it is open (tests).
    QDialog* OpenAboutBox() const { return m_AboutBox; }

    // Where the shell's message boxes (Warning, Information, a frame group's missing frame)
    // go: tests catch their texts here. Default (an empty hook): a message box on the dialog.
    static void SetMessageHook(std::function<void(QWidget* dialog, const QString& text)> hook);

protected:
    // The common initialisation: placement restored and bound under the placement name, the
    // engine front created in place of `placeholder` (the engine starts), InitFrameGroups,
    // tooltips. Call it from the derived constructor once the controls exist. Returns the
    // result of Create.
    bool InitDialog(QWidget* placeholder);
    // Step 6 of InitDialog, between the engine front and the tooltips: the tool builds its
    // frame groups here (or after InitDialog; the order does not matter to the shell).
    virtual void InitFrameGroups() {}
    // Called on the GUI thread for every notification of the engine (after the status box).
    virtual void OnNotify(const Notification& n);
    // Settings and debug commands; tools may override.
    virtual void OnSettings();
    virtual void OnDebug();
    virtual void OnManual();
    // What the tool adds to its service report (information rows, configuration).
    virtual void FillReport(record::ReportInput& report) const;

    void ApplyToolTips();
    // A warning box titled `title` (empty: the program's name), or the message hook.
    void Warning(const QString& text, const QString& title = QString());
    // An information box titled `title` (empty: the program's name), or the message hook.
    void Information(const QString& text, const QString& title = QString());
    void contextMenuEvent(QContextMenuEvent* event) override;
    // Closing abandons any engine message box first, so the dialog can always close. While
    // program mode is open, the exit goes out first (LeaveProgramModeBeforeClose).
    void done(int result) override;

public:
    // How long a close waits for the program-mode exit to be acknowledged.
    static constexpr int kExitWaitMs = 2000;
    // When "$PRG" went out and no acknowledged exit followed: drops the rest of the queue,
    // sends the exit and waits for it (at most kExitWaitMs, wait cursor). From then on the
    // tool gets no notifications. Does nothing otherwise; runs once.
    void LeaveProgramModeBeforeClose();

private:
    void BuildMenu();
    void FollowVisit(const Notification& n);
    void OpenVisit();
    void NoteIdentification(const std::string& identification);
    void RecordTaken(bool left); // left: the device answered the program-mode exit
    void FinishVisit(const char* outcome);
    record::RecordConfig RecordPlace() const; // the writer's, or as the settings say now

    ToolInfo m_Info;
    CVLPEngine& m_ToolEngine;
    std::unique_ptr<CProfileSection> m_Section;
    std::unique_ptr<CEngineFront> m_Front;
    std::unique_ptr<record::CRecordWriter> m_Record;      // made with the first visit
    std::unique_ptr<record::CVisitLog> m_Visit;           // the open visit
    std::vector<std::string> m_Untaken;                   // RecordWhenTaken, not yet taken
    LinkFigures m_FiguresAtVisit;                         // when the last visit opened (report rates)
    std::string m_LastIdent, m_LastLetter, m_LastVersion; // the device last identified
    QMenuBar* m_MenuBar = nullptr;
    QWidget* m_Body = nullptr;
    QMap<int, QAction*> m_Actions;
    QPointer<QDialog> m_AboutBox;
    bool m_ExpertMode = false;
    bool m_ShutDown = false;
    bool m_Closing = false; // the close has taken over the link (LeaveProgramModeBeforeClose)
};

} // namespace vq5::qt
