#include "QtUserMessages.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QThread>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <vector>

namespace vq5::qt {

struct CQtUserMessages::State {
    struct Request {
        std::string caption;
        std::string text;
        bool done = false; // answered by the user, or abandoned
    };

    std::mutex lock; // guards abandoned, requests, context (the pointer, not the object)
    std::condition_variable answered;
    bool abandoned = false;
    std::vector<std::shared_ptr<Request>> requests; // asked for and not yet answered
    QObject* context = nullptr;                     // lives on the GUI thread
    std::vector<QPointer<QMessageBox>> boxes;       // shown now; GUI thread only
    int running = 0;                                // RunBox calls on the stack; GUI thread only

    bool OnGuiThread() { return context != nullptr && QThread::currentThread() == context->thread(); }

    // Marks every request answered and wakes their waiters. Caller holds the lock.
    void ReleaseAllLocked() {
        for (auto& r : requests)
            r->done = true;
        requests.clear();
        answered.notify_all();
    }

    // GUI thread: closes every box being shown.
    void CloseBoxes() {
        auto shown = boxes; // done() returns from exec later; the vector may change meanwhile
        for (auto& box : shown)
            if (box)
                box->done(QMessageBox::Ok);
    }

    // GUI thread: shows the box of one request modally, then answers it.
    static void RunBox(const std::shared_ptr<State>& st, const std::shared_ptr<Request>& r) {
        {
            std::lock_guard<std::mutex> g(st->lock);
            if (r->done)
                return; // abandoned before the GUI came to it
        }
        QMessageBox box(QMessageBox::Information, QString::fromStdString(r->caption),
                        QString::fromStdString(r->text), QMessageBox::Ok);
        box.setWindowModality(Qt::ApplicationModal);
        st->boxes.push_back(&box);
        ++st->running;
        box.exec();
        --st->running;
        st->boxes.erase(
            std::remove_if(st->boxes.begin(), st->boxes.end(),
                           [&](const QPointer<QMessageBox>& p) { return p.isNull() || p == &box; }),
            st->boxes.end());
        std::lock_guard<std::mutex> g(st->lock);
        r->done = true;
        st->requests.erase(std::remove(st->requests.begin(), st->requests.end(), r), st->requests.end());
        st->answered.notify_all();
    }
};

CQtUserMessages::CQtUserMessages() : m_State(std::make_shared<State>()) {
    m_State->context = new QObject();
}

CQtUserMessages::~CQtUserMessages() {
    Abandon();
    QObject* context = nullptr;
    {
        std::lock_guard<std::mutex> g(m_State->lock);
        context = m_State->context;
        m_State->context = nullptr; // no request is posted to it any more
    }
    // Deleting it drops the requests still queued for it. While one of its own boxes is on
    // the stack (this runs inside that box's loop) it goes later instead.
    if (QThread::currentThread() == context->thread() && m_State->running == 0)
        delete context;
    else
        context->deleteLater();
}

void CQtUserMessages::Show(const std::string& caption, const std::string& text) {
    auto st = m_State;
    auto r = std::make_shared<State::Request>();
    r->caption = caption;
    r->text = text;
    std::unique_lock<std::mutex> lk(st->lock);
    if (st->abandoned || st->context == nullptr)
        return;
    st->requests.push_back(r);
    if (st->OnGuiThread()) {
        lk.unlock();
        State::RunBox(st, r);
        return;
    }
    // Posted while the lock is held, so the context cannot go away in between.
    QMetaObject::invokeMethod(
        st->context, [st, r] { State::RunBox(st, r); }, Qt::QueuedConnection);
    st->answered.wait(lk, [&] { return r->done; });
}

void CQtUserMessages::Abandon() {
    auto st = m_State;
    std::unique_lock<std::mutex> lk(st->lock);
    st->abandoned = true;
    st->ReleaseAllLocked();
    if (st->context == nullptr)
        return;
    if (st->OnGuiThread()) {
        lk.unlock();
        st->CloseBoxes(); // each exec returns once control is back in its loop
    } else {
        QMetaObject::invokeMethod(
            st->context, [st] { st->CloseBoxes(); }, Qt::QueuedConnection);
    }
}

void CQtUserMessages::Reset() {
    std::lock_guard<std::mutex> g(m_State->lock);
    m_State->abandoned = false;
}

bool CQtUserMessages::IsAbandoned() const {
    std::lock_guard<std::mutex> g(m_State->lock);
    return m_State->abandoned;
}

int CQtUserMessages::PendingCount() const {
    std::lock_guard<std::mutex> g(m_State->lock);
    return static_cast<int>(m_State->requests.size());
}

} // namespace vq5::qt
