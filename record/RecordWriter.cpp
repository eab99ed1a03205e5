#include "RecordWriter.h"

#include "RecordPlatform.h"
#include "SettingsStore.h"

#include <algorithm>
#include <cctype>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <mutex>
#include <thread>

namespace vq5::record {

namespace {
std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}
bool SaysOff(const std::string& value) {
    const std::string v = Lower(value);
    return v == "0" || v == "off" || v == "no" || v == "false";
}
} // namespace

std::string DefaultDatabase() {
    const std::string home = DataHome();
    return (home.empty() ? std::string(".") : home) + "/vq5-tools/service-record.db";
}

RecordConfig ResolveConfig(ISettingsStore* store, const std::string& database) {
    RecordConfig c;
    c.where = DefaultDatabase();
    if (store) {
        if (auto on = store->ReadInt(kSection, kKeyEnabled); on && *on == 0) {
            c.enabled = false;
            c.off = std::string("setting ") + kSection + "/" + kKeyEnabled + "=0";
        }
        if (auto db = store->ReadString(kSection, kKeyDatabase); db && !db->empty())
            c.where = *db;
    }
    if (const char* env = std::getenv("VQ5_RECORD"); env && SaysOff(env)) {
        c.enabled = false;
        c.off = std::string("VQ5_RECORD=") + env;
    }
    if (const char* env = std::getenv("VQ5_RECORD_DB"); env && *env)
        c.where = env;
    if (!database.empty())
        c.where = database;
#ifndef VQ5_RECORD_WITH_SQLITE
    // A build without SQLite (Windows) keeps a record only where a database is named.
    if (c.enabled && c.where == DefaultDatabase()) {
        c.enabled = false;
        c.off = "this build has no SQLite: name a PostgreSQL database to keep a record";
    }
#endif
    return c;
}

std::string CommandLineSettingsFile() {
    const std::string home = ConfigHome();
    return home.empty() ? "" : home + "/Lumark Electronics/vq5.conf";
}

RecordConfig ResolveConfigFromFile(const std::string& iniFile, const std::string& database) {
    CMemoryStore store;
    std::ifstream in(iniFile);
    std::string line, section;
    while (std::getline(in, line)) {
        while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
            line.pop_back();
        if (!line.empty() && line.front() == '[' && line.back() == ']') {
            section = line.substr(1, line.size() - 2);
            continue;
        }
        const std::size_t eq = line.find('=');
        if (section != kSection || eq == std::string::npos)
            continue;
        const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
        if (key == kKeyEnabled)
            store.WriteInt(kSection, kKeyEnabled, SaysOff(value) ? 0 : 1);
        else if (key == kKeyDatabase)
            store.WriteString(kSection, kKeyDatabase, value);
    }
    return ResolveConfig(&store, database);
}

struct CRecordWriter::Shared {
    RecordConfig config;
    ReportFn report;
    std::mutex lock;
    std::condition_variable wake, idle;
    std::deque<Visit> queue;
    bool busy = false, leaving = false, reported = false;
    unsigned written = 0, failed = 0;
    std::unique_ptr<CServiceRecord> db; // the writer thread's only

    void Run() {
        std::unique_lock<std::mutex> l(lock);
        for (;;) {
            wake.wait(l, [&] { return leaving || !queue.empty(); });
            if (queue.empty())
                return;
            Visit v = std::move(queue.front());
            queue.pop_front();
            busy = true;
            l.unlock();
            std::string error;
            if (!db)
                db = CServiceRecord::Open(config.where, error);
            const bool ok = db && db->Add(v, error) != 0;
            if (!ok)
                db.reset(); // opened afresh for the next visit
            l.lock();
            busy = false;
            ok ? ++written : ++failed;
            const bool tell = !ok && !reported;
            reported = reported || !ok;
            if (tell && report) {
                l.unlock();
                report("Service record not written (" + config.where + "): " + error +
                       "; the tool works on without it");
                l.lock();
            }
            idle.notify_all();
        }
    }
};

CRecordWriter::CRecordWriter(RecordConfig config, ReportFn report)
    : m_Config(std::move(config)), m_Shared(std::make_shared<Shared>()) {
    m_Shared->config = m_Config;
    m_Shared->report = std::move(report);
    if (m_Config.enabled)
        std::thread([s = m_Shared] { s->Run(); }).detach();
}

CRecordWriter::~CRecordWriter() {
    if (!m_Config.enabled)
        return;
    Flush();
    // The thread holds the shared state itself; a server that hangs keeps only that thread.
    std::lock_guard<std::mutex> l(m_Shared->lock);
    m_Shared->leaving = true;
    m_Shared->wake.notify_all();
}

void CRecordWriter::Add(Visit visit) {
    if (!m_Config.enabled)
        return;
    if (visit.operatorName.empty())
        visit.operatorName = OperatorName();
    if (visit.host.empty())
        visit.host = HostName();
    std::lock_guard<std::mutex> l(m_Shared->lock);
    m_Shared->queue.push_back(std::move(visit));
    m_Shared->wake.notify_all();
}

bool CRecordWriter::Flush(std::chrono::milliseconds limit) {
    std::unique_lock<std::mutex> l(m_Shared->lock);
    return m_Shared->idle.wait_for(l, limit, [&] { return m_Shared->queue.empty() && !m_Shared->busy; });
}

unsigned CRecordWriter::Written() const {
    std::lock_guard<std::mutex> l(m_Shared->lock);
    return m_Shared->written;
}

unsigned CRecordWriter::Failed() const {
    std::lock_guard<std::mutex> l(m_Shared->lock);
    return m_Shared->failed;
}

std::vector<Visit> DeviceHistory(const RecordConfig& place, const std::string& identification,
                                 std::string& note, std::size_t limit) {
    if (!place.enabled) {
        note = "The service record is switched off (" + place.off + ").";
        return {};
    }
    if (identification.empty()) {
        note = "The device did not identify itself, so its history cannot be found.";
        return {};
    }
    std::string error;
    auto db = CServiceRecord::Open(place.where, error);
    if (!db) {
        note = "The service record cannot be read: " + error;
        return {};
    }
    std::vector<Visit> out;
    for (auto& v : db->List({identification, "", 0}, error))
        if (v.identification == identification && out.size() < limit)
            out.push_back(std::move(v));
    if (!error.empty())
        note = "The service record cannot be read: " + error;
    return out;
}

} // namespace vq5::record
