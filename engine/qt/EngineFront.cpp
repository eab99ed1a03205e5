#include "EngineFront.h"

#include "LinkHealthWnd.h"
#include "QtUserMessages.h"
#include "SettingsDlg.h"
#include "VLPEngine.h"
#include "VLPLogWnd.h"
#include "VLPStatusBox.h"

#include <QLayout>
#include <QMetaObject>
#include <QWidget>

#include <mutex>

namespace vq5::qt {

// Carries notifications from any thread to one CEngineFront on the GUI thread. Post queues
// a call on the front; after Detach nothing reaches it, and calls already queued are
// dropped with the front (Qt discards the posted events of a deleted object).
class CQtNotifySink : public INotifySink {
public:
    using Deliver = void (CEngineFront::*)(const Notification&);
    CQtNotifySink(CEngineFront* front, Deliver deliver) : m_Front(front), m_Deliver(deliver) {}

    void Post(Notification n) override {
        std::lock_guard<std::mutex> g(m_Lock);
        if (m_Front == nullptr)
            return;
        CEngineFront* front = m_Front;
        Deliver deliver = m_Deliver;
        QMetaObject::invokeMethod(
            front, [front, deliver, n = std::move(n)] { (front->*deliver)(n); }, Qt::QueuedConnection);
    }

    void Detach() {
        std::lock_guard<std::mutex> g(m_Lock);
        m_Front = nullptr;
    }

private:
    std::mutex m_Lock; // guards m_Front
    CEngineFront* m_Front;
    Deliver m_Deliver;
};

CEngineFront::CEngineFront(CVLPEngine& engine, QWidget* dialog)
    : m_Engine(engine), m_Dialog(dialog), m_Messages(std::make_unique<CQtUserMessages>()),
      m_StatusSink(std::make_unique<CQtNotifySink>(this, &CEngineFront::DeliverStatus)),
      m_MainSink(std::make_unique<CQtNotifySink>(this, &CEngineFront::DeliverMain)) {}

CEngineFront::~CEngineFront() {
    // The worker first: a box it waits on is abandoned, so the stop cannot hang on it.
    m_Messages->Abandon();
    m_Engine.Stop();
    m_StatusSink->Detach();
    m_MainSink->Detach();
    if (m_Created) {
        m_Engine.SetStatusSink(nullptr);
        m_Engine.SetNotifySink(nullptr);
        m_Engine.SetUserMessages(nullptr);
    }
    // Every log window not yet gone (also one closed and waiting for its deletion): it
    // detaches from the engine and writes its settings.
    m_LogWnd = nullptr;
    for (auto& wnd : m_LogWnds)
        delete wnd.data();
    m_LogWnds.clear();
    delete m_HealthWnd.data();
    delete m_StatusBox.data();
}

bool CEngineFront::Create(QWidget* placeholder) {
    if (m_Created || placeholder == nullptr || placeholder->parentWidget() == nullptr)
        return false;
    QWidget* parent = placeholder->parentWidget();
    const QRect rect = placeholder->geometry();
    auto* box = new CVLPStatusBox(parent, rect, m_Engine);
    box->setObjectName(placeholder->objectName());
    box->setSizePolicy(placeholder->sizePolicy());
    box->setMinimumSize(placeholder->minimumSize());
    box->setMaximumSize(placeholder->maximumSize());
    if (parent->layout() != nullptr)
        delete parent->layout()->replaceWidget(placeholder, box);
    box->stackUnder(placeholder);
    const bool hidden = placeholder->isHidden();
    delete placeholder;
    box->setVisible(!hidden);
    m_StatusBox = box;
    connect(box, &CVLPStatusBox::logRequested, this, &CEngineFront::ShowLogWindow);
    connect(box, &CVLPStatusBox::linkHealthRequested, this, &CEngineFront::ShowLinkHealth);

    m_Created = true;
    m_Engine.SetUserMessages(m_Messages.get());
    m_Engine.SetStatusSink(m_StatusSink.get());
    m_Engine.SetNotifySink(m_MainSink.get());
    m_Engine.Start();
    return true;
}

void CEngineFront::ShowLogWindow() {
    if (m_LogWnd) {
        m_LogWnd->close(); // detaches at once; the window deletes itself
        return;
    }
    auto* wnd = new CVLPLogWnd(m_Engine);
    wnd->setAttribute(Qt::WA_DeleteOnClose);
    if (m_Dialog)
        wnd->setFont(m_Dialog->font());
    connect(wnd, &CVLPLogWnd::closed, this, &CEngineFront::OnLogWindowClosed);
    // Forget windows already gone before remembering the new one.
    std::erase_if(m_LogWnds, [](const QPointer<CVLPLogWnd>& p) { return p.isNull(); });
    m_LogWnds.push_back(wnd);
    m_LogWnd = wnd;
    wnd->Attach();
    wnd->show();
}

void CEngineFront::OnLogWindowClosed(CVLPLogWnd* wnd) {
    if (m_LogWnd == wnd)
        m_LogWnd = nullptr;
}

CVLPLogWnd* CEngineFront::LogWindow() const {
    return m_LogWnd.data();
}

void CEngineFront::ShowLinkHealth() {
    if (!m_HealthWnd) {
        m_HealthWnd = new CLinkHealthWnd(m_Engine);
        if (m_Dialog)
            m_HealthWnd->setFont(m_Dialog->font());
    }
    m_HealthWnd->show();
    m_HealthWnd->raise();
    m_HealthWnd->activateWindow();
}

CLinkHealthWnd* CEngineFront::LinkHealthWindow() const {
    return m_HealthWnd.data();
}
CVLPStatusBox* CEngineFront::StatusBox() const {
    return m_StatusBox.data();
}

void CEngineFront::SetMainHandler(std::function<void(const Notification&)> handler) {
    m_MainHandler = std::move(handler);
}

void CEngineFront::DeliverStatus(const Notification& n) {
    if (m_StatusBox)
        m_StatusBox->OnNotify(n);
}

void CEngineFront::DeliverMain(const Notification& n) {
    if (m_MainHandler)
        m_MainHandler(n);
}

bool CEngineFront::EditConnectionSettings(QWidget* parent) {
    CSettingsDlg dlg(parent);
    FillSettingsDialog(dlg, m_Engine);
    if (dlg.exec() != QDialog::Accepted)
        return false;
    ApplyConnectionSettings(m_Engine, dlg, m_Messages.get());
    return true;
}

} // namespace vq5::qt
