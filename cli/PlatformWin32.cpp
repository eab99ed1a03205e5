// The command line on Windows: Ctrl+C, Ctrl+Break and closing the console through the
// console's control handler (called on a thread of the system's); binary standard streams.
#include "CliSupport.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdio>
#include <fcntl.h>
#include <io.h>
#include <mutex>

namespace vq5::cli {

namespace {
std::mutex g_StopLock; // the handler may run while the last CStopSignals goes
CNotifyQueue* g_StopQueue = nullptr;

BOOL WINAPI OnConsoleControl(DWORD type) {
    std::lock_guard<std::mutex> lock(g_StopLock);
    if (!g_StopQueue)
        return FALSE; // not running: the default handler ends the process
    // The values of SIGINT and SIGTERM, as the POSIX build posts them.
    g_StopQueue->Post(Notification{kStopKind, type == CTRL_C_EVENT ? 2 : 15, {}});
    return TRUE;
}
} // namespace

struct CStopSignals::Impl {
    CNotifyQueue* previous = nullptr;
};

CStopSignals::CStopSignals(CNotifyQueue& queue) : m_Impl(std::make_unique<Impl>()) {
    {
        std::lock_guard<std::mutex> lock(g_StopLock);
        m_Impl->previous = g_StopQueue;
        g_StopQueue = &queue;
    }
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

CStopSignals::~CStopSignals() {
    SetConsoleCtrlHandler(OnConsoleControl, FALSE);
    std::lock_guard<std::mutex> lock(g_StopLock);
    g_StopQueue = m_Impl->previous;
}

void PrepareStdStreams() {
    std::fflush(stdout);
    std::fflush(stderr);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
}

} // namespace vq5::cli
