// An engine on a fresh pseudo-terminal beside a plain dialog that holds the status box's
// placeholder, for the tests of the engine's Qt front; made anew for each test function.
#pragma once

#include "PtyHelpers.h"
#include "SettingsStore.h"
#include "VLPEngine.h"

#include <QGroupBox>
#include <QPointer>
#include <QWidget>

#include <memory>

namespace vq5::test {

struct CFrontRig {
    CMemoryStore store;
    std::unique_ptr<CPty> pty;
    std::unique_ptr<CVLPEngine> engine;
    std::unique_ptr<QWidget> dialog;
    QPointer<QWidget> placeholder;

    // From init(): an empty store, the engine (not started) on a new pty with this answer
    // time-out, and the placeholder "1000" at the status box's place.
    void Make(unsigned timeoutMs) {
        store.Replace({});
        pty = std::make_unique<CPty>();
        engine = std::make_unique<CVLPEngine>(&store);
        engine->m_ComPort = pty->Path();
        engine->m_Timeout = timeoutMs;
        dialog = std::make_unique<QWidget>();
        dialog->resize(400, 300);
        placeholder = new QGroupBox(QStringLiteral("placeholder"), dialog.get());
        placeholder->setObjectName(QStringLiteral("1000"));
        placeholder->setGeometry(10, 150, 220, 117);
    }
    // From cleanup(): the dialog, then the engine, then the line.
    void Clear() {
        dialog.reset();
        engine.reset();
        pty.reset();
    }
};

} // namespace vq5::test
