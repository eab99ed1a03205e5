// CEngineFront: the Qt front of a CVLPEngine inside a tool's main dialog.
//
// The Qt-free engine has no windows. The front gives it its status box (in place of a
// placeholder of the dialog), its protocol log window (the engine's trace sink while it is
// open), the message boxes of the serial port (IUserMessages) and the connection settings
// dialog. Notifications posted by the worker reach the GUI thread through queued calls on
// an object living there: first the status box, then the main dialog's handler.
#pragma once

#include "Notify.h"

#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>
#include <vector>

class QWidget;

namespace vq5 {
class CVLPEngine;
}

namespace vq5::qt {

class CVLPStatusBox;
class CVLPLogWnd;
class CLinkHealthWnd;
class CQtUserMessages;
class CQtNotifySink;

class CEngineFront : public QObject {
    Q_OBJECT
public:
    CEngineFront(CVLPEngine& engine, QWidget* dialog);
    // Stops the engine's worker first (bounded; a message box being shown is abandoned),
    // then deletes the log window (it writes its settings) and the status box; detaches
    // every sink from the engine. Notifications still on their way are dropped.
    ~CEngineFront() override;
    CEngineFront(const CEngineFront&) = delete;
    CEngineFront& operator=(const CEngineFront&) = delete;

    // Replaces the placeholder widget by the engine status box (same geometry, same
    // objectName, same place in a layout), attaches the sinks and the message boxes, then
    // starts the engine. Returns false (and starts nothing) without a placeholder that has a
    // parent, or when called a second time.
    bool Create(QWidget* placeholder);

    // Toggles: opens a fresh log window, or closes the open one.
    void ShowLogWindow();
    CVLPLogWnd* LogWindow() const;    // the open log window, or nullptr
    CVLPStatusBox* StatusBox() const; // nullptr before Create
    // Shows the "Link health" window (made on first use, raised when already open).
    void ShowLinkHealth();
    CLinkHealthWnd* LinkHealthWindow() const; // nullptr until first shown

    // The main dialog's handler: every notification, on the GUI thread, after the status box.
    void SetMainHandler(std::function<void(const Notification&)> handler);

    // The "Settings VQ-5" dialog. Applies the result (read time-out; port, restarting the
    // engine only when the name differs; fast speed when its name is in the table). Writes
    // no settings. Returns true when OK was pressed.
    bool EditConnectionSettings(QWidget* parent);

    CVLPEngine& Engine() const { return m_Engine; }
    CQtUserMessages& UserMessages() const { return *m_Messages; }

private:
    void DeliverStatus(const Notification& n);
    void DeliverMain(const Notification& n);
    void OnLogWindowClosed(CVLPLogWnd* wnd);

    CVLPEngine& m_Engine;
    QPointer<QWidget> m_Dialog;
    QPointer<CVLPStatusBox> m_StatusBox;
    QPointer<CVLPLogWnd> m_LogWnd;               // the open one
    std::vector<QPointer<CVLPLogWnd>> m_LogWnds; // every one not yet destroyed
    QPointer<CLinkHealthWnd> m_HealthWnd;
    std::function<void(const Notification&)> m_MainHandler;
    std::unique_ptr<CQtUserMessages> m_Messages;
    std::unique_ptr<CQtNotifySink> m_StatusSink;
    std::unique_ptr<CQtNotifySink> m_MainSink;
    bool m_Created = false;
};

} // namespace vq5::qt
