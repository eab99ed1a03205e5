#include "Simulator.h"

#include "Link.h"
#include "LinePort.h"
#include "SimDevice.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace vq5::sim {

CSimulator::CSimulator(SimOptions options)
    : m_Options(std::move(options)),
      m_Device(std::make_unique<CSimDevice>(m_Options.versionMajor, m_Options.versionMinor, m_Options.letter,
                                            m_Options.seed, m_Options.profile)),
      m_Port(std::make_unique<CLinePort>()), m_Shared(std::make_unique<SimShared>()) {
    m_Shared->device = m_Device.get();
    m_Device->HoldLines(m_Options.holdLines);
}

CSimulator::~CSimulator() {
    Stop();
}

std::string CSimulator::Error() const {
    std::lock_guard<std::mutex> lock(m_Lock);
    return m_Error;
}

std::string CSimulator::SlavePath() const {
    std::lock_guard<std::mutex> lock(m_Lock);
    return m_Path;
}

std::string CSimulator::Open() {
    auto fail = [this](const std::string& why) {
        std::lock_guard<std::mutex> lock(m_Lock);
        m_Error = why;
        return std::string();
    };
    if (m_Port->IsOpen())
        return fail("already open");
    if (m_Options.versionMajor > 15 || m_Options.versionMinor > 15)
        return fail("the version digits must be 0 to F");
    if (m_Options.letter < 0x21 || m_Options.letter > 0x7E)
        return fail("the device letter must be a printable character");
    FaultPlan plan;
    std::string error;
    if (!ParseFaults(m_Options.faults, plan, error))
        return fail(error);
    if (!m_Options.stateFile.empty()) {
        DeviceState loaded;
        {
            std::lock_guard<std::mutex> lock(m_Shared->lock);
            loaded = m_Device->State();
        }
        if (!LoadStateFile(m_Options.stateFile, loaded, error))
            return fail(error);
        std::lock_guard<std::mutex> lock(m_Shared->lock);
        loaded.programMode = false;
        m_Device->State() = loaded;
    }

    std::string path;
    bool ok;
    if (m_Options.deviceFd >= 0) {
        ok = m_Port->AttachFd(m_Options.deviceFd, error);
        path = m_Options.device;
    } else if (!m_Options.device.empty()) {
        ok = m_Port->OpenDevice(m_Options.device, error);
        path = m_Options.device;
    } else {
        ok = m_Port->OpenPty(path, error);
    }
    if (!ok)
        return fail(error);
    m_Port->ClearInterrupt();
    m_Port->SetPace(m_Options.pace);

    if (!m_Options.link.empty()) {
        struct stat st {};
        if (::lstat(m_Options.link.c_str(), &st) == 0) {
            if (!S_ISLNK(st.st_mode)) {
                m_Port->Close();
                return fail(m_Options.link + " exists and is not a symbolic link; not replaced");
            }
            ::unlink(m_Options.link.c_str());
        }
        if (::symlink(path.c_str(), m_Options.link.c_str()) != 0) {
            const std::string why = "cannot make the link " + m_Options.link + ": " + std::strerror(errno);
            m_Port->Close();
            return fail(why);
        }
    }

    m_Link = std::make_unique<CLink>(m_Options, *m_Port, *m_Shared, plan);
    m_Link->onChange = [this] { Changed(); };
    m_Link->onStateChanged = [this](const DeviceState& s) { Save(s); };
    {
        std::lock_guard<std::mutex> lock(m_Lock);
        m_Path = path;
        m_LinkMade = !m_Options.link.empty();
        m_Error.clear();
    }
    if (!m_Options.stateFile.empty())
        Save(State());
    return path;
}

bool CSimulator::Step() {
    return m_Link && m_Link->Step();
}

void CSimulator::Close() {
    m_Port->Close();
    std::lock_guard<std::mutex> lock(m_Lock);
    if (m_LinkMade) {
        // Only our own link goes: a link someone has pointed elsewhere meanwhile stays.
        char target[4096];
        ssize_t n = ::readlink(m_Options.link.c_str(), target, sizeof target - 1);
        if (n >= 0) {
            target[n] = '\0';
            if (m_Path == target)
                ::unlink(m_Options.link.c_str());
        }
        m_LinkMade = false;
    }
}

std::string CSimulator::Start() {
    if (m_Thread.joinable())
        return SlavePath();
    std::string path = Open();
    if (path.empty() && !m_Port->IsOpen())
        return path;
    m_Run = true;
    m_Thread = std::thread(&CSimulator::ThreadMain, this);
    return path;
}

void CSimulator::ThreadMain() {
    while (m_Run.load()) {
        if (!m_Link->Step()) {
            if (!m_Run.load() || m_Port->Interrupted())
                break;
            // The line failed (a real port went away): try again a little later.
            m_Port->Sleep(100);
        }
    }
}

void CSimulator::Stop() {
    m_Run = false;
    m_Port->Interrupt();
    if (m_Thread.joinable())
        m_Thread.join();
    Close();
    m_Port->ClearInterrupt();
}

bool CSimulator::Running() const {
    return m_Run.load() && m_Thread.joinable();
}

DeviceState CSimulator::State() const {
    std::lock_guard<std::mutex> lock(m_Shared->lock);
    return m_Device->State();
}

void CSimulator::SetState(const DeviceState& state) {
    {
        std::lock_guard<std::mutex> lock(m_Shared->lock);
        m_Device->State() = state;
    }
    Save(state);
    Changed();
}

LinkCounters CSimulator::Counters() const {
    std::lock_guard<std::mutex> lock(m_Shared->lock);
    return m_Shared->counters;
}

std::vector<std::string> CSimulator::Taken() const {
    std::lock_guard<std::mutex> lock(m_Shared->lock);
    return m_Shared->taken;
}

std::vector<std::string> CSimulator::Delivered() const {
    std::lock_guard<std::mutex> lock(m_Shared->lock);
    return m_Shared->delivered;
}

std::size_t CSimulator::ExitsTaken() const {
    std::lock_guard<std::mutex> lock(m_Shared->lock);
    std::size_t exits = 0;
    for (const std::string& t : m_Shared->taken)
        if (t.size() >= 3 && t.size() <= 4 && t[0] == '&' && t[2] == 'X')
            ++exits;
    return exits;
}

bool CSimulator::BatchDone(std::size_t exitsBefore, std::uint64_t handled) const {
    if (ExitsTaken() <= exitsBefore)
        return false;
    std::lock_guard<std::mutex> lock(m_Shared->lock);
    return !m_Device->State().programMode && m_Shared->toPc.empty() &&
           m_Shared->counters.messagesDelivered == handled;
}

void CSimulator::QueueToPc(const std::string& text) {
    std::lock_guard<std::mutex> lock(m_Shared->lock);
    m_Shared->toPc.push_back(text.size() > 255 ? text.substr(0, 255) : text);
}

std::size_t CSimulator::PendingToPc() const {
    std::lock_guard<std::mutex> lock(m_Shared->lock);
    return m_Shared->toPc.size();
}

void CSimulator::Changed() {
    { std::lock_guard<std::mutex> lock(m_Shared->lock); }
    m_ChangedCv.notify_all();
}

bool CSimulator::WaitExchanges(std::uint64_t total, std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(m_Shared->lock);
    return m_ChangedCv.wait_for(lock, timeout, [&] { return m_Shared->counters.exchanges >= total; });
}

bool CSimulator::WaitUntil(const std::function<bool(const DeviceState&, const LinkCounters&)>& done,
                           std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(m_Shared->lock);
    return m_ChangedCv.wait_for(lock, timeout, [&] { return done(m_Device->State(), m_Shared->counters); });
}

int CSimulator::CurrentBaud() const {
    return m_Port->Baud();
}

int CSimulator::PeerBaud() const {
    return m_Port->PeerBaud();
}

void CSimulator::Save(const DeviceState& state) {
    if (m_Options.stateFile.empty())
        return;
    std::string error;
    if (!SaveStateFile(m_Options.stateFile, state, m_Options.versionMajor, m_Options.versionMinor, error)) {
        std::lock_guard<std::mutex> lock(m_Lock);
        if (!m_SaveErrorShown)
            std::fprintf(stderr, "vq5 sim: %s\n", error.c_str());
        m_SaveErrorShown = true;
        m_Error = error;
    }
}

} // namespace vq5::sim
