// CQtUserMessages: the engine's message boxes in a Qt program.
//
// Show on the GUI thread shows the box modally at once. Show on any other thread (the
// worker) posts a request to the GUI thread and waits until the user has closed the box,
// or until Abandon. Abandon wakes every waiter and closes any box being shown; after it,
// Show returns at once until Reset. A stop or shutdown therefore never waits on a box.
#pragma once

#include "Notify.h"

#include <functional>
#include <memory>
#include <string>

class QObject;

namespace vq5::qt {

class CQtUserMessages : public IUserMessages {
public:
    // Must be constructed on the GUI thread (the thread that shows the boxes).
    CQtUserMessages();
    ~CQtUserMessages() override; // abandons, so no waiter outlives it

    void Show(const std::string& caption, const std::string& text) override;
    void Abandon() override;
    void Reset() override;

    bool IsAbandoned() const;
    // Boxes being shown or requested and not yet answered (GUI thread view; for tests).
    int PendingCount() const;

    struct State;

private:
    std::shared_ptr<State> m_State;
};

} // namespace vq5::qt
