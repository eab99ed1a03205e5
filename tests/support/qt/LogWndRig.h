// A protocol log window on an engine that is never started, for the tests of the log window:
// the trace lines the test writes go straight into the window; made anew for each test function.
#pragma once

#include "SettingsStore.h"
#include "VLPEngine.h"
#include "VLPLogWnd.h"

#include <memory>

namespace vq5::test {

struct CLogWndRig {
    CMemoryStore store;
    std::unique_ptr<CVLPEngine> engine;

    void Make() { // from init()
        store.Replace({});
        engine = std::make_unique<CVLPEngine>(&store);
    }
    void Clear() { engine.reset(); } // from cleanup()

    // A log window attached to the engine: the engine's trace sink.
    std::unique_ptr<qt::CVLPLogWnd> Open() {
        auto wnd = std::make_unique<qt::CVLPLogWnd>(*engine, &store);
        wnd->Attach();
        return wnd;
    }
};

} // namespace vq5::test
