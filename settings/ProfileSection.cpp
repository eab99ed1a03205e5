#include "ProfileSection.h"

#include <algorithm>
#include <limits>
#include <mutex>

namespace vq5 {

namespace {
// Every live section in creation order. A tool's sections live on its GUI thread, but the
// command line builds one engine (with its sections) per port on threads of their own.
std::mutex g_LiveLock; // guards Live()
std::vector<CProfileSection*>& Live() {
    static std::vector<CProfileSection*> live;
    return live;
}
} // namespace

std::vector<CProfileSection*> CProfileSection::LiveSections() {
    std::lock_guard<std::mutex> lock(g_LiveLock);
    return Live();
}

CProfileSection::CProfileSection(std::string section, ISettingsStore* store)
    : m_Section(std::move(section)), m_Store(store ? store : &DefaultSettingsStore()) {
    std::lock_guard<std::mutex> lock(g_LiveLock);
    Live().push_back(this);
}

CProfileSection::~CProfileSection() {
    for (Record& r : m_Records)
        WriteRecord(r);
    m_Records.clear();
    std::lock_guard<std::mutex> lock(g_LiveLock);
    auto& live = Live();
    live.erase(std::remove(live.begin(), live.end(), this), live.end());
}

void CProfileSection::BindInt(int& field, const std::string& key, int def) {
    auto v = m_Store->ReadInt(m_Section, key);
    // A value that does not fit the field counts as missing.
    if (v && *v >= std::numeric_limits<int>::min() && *v <= std::numeric_limits<int>::max())
        field = static_cast<int>(*v);
    else
        field = def;
    m_Records.push_back({kInt, key, &field, nullptr, {}});
}

void CProfileSection::BindUInt(unsigned& field, const std::string& key, unsigned def) {
    auto v = m_Store->ReadInt(m_Section, key);
    if (v && *v >= 0 && *v <= std::numeric_limits<unsigned>::max())
        field = static_cast<unsigned>(*v);
    else
        field = def;
    m_Records.push_back({kUInt, key, &field, nullptr, {}});
}

void CProfileSection::BindString(std::string& field, const std::string& key, const std::string& def) {
    auto v = m_Store->ReadString(m_Section, key);
    field = v ? *v : def;
    m_Records.push_back({kString, key, &field, nullptr, {}});
}

void CProfileSection::BindCustom(const void* tag, std::string key,
                                 std::function<void(CProfileSection&, const std::string&)> writeBack) {
    m_Records.push_back({kCustom, std::move(key), nullptr, tag, std::move(writeBack)});
}

bool CProfileSection::WriteBackAndRemove(const void* tag) {
    auto it = std::find_if(m_Records.begin(), m_Records.end(),
                           [tag](const Record& r) { return r.kind == kCustom && r.tag == tag; });
    if (it == m_Records.end())
        return false;
    Record r = std::move(*it);
    m_Records.erase(it);
    WriteRecord(r);
    return true;
}

bool CProfileSection::HasRecord(const void* tag) const {
    return std::any_of(m_Records.begin(), m_Records.end(),
                       [tag](const Record& r) { return r.kind == kCustom && r.tag == tag; });
}

std::optional<std::int64_t> CProfileSection::ReadInt(const std::string& key) const {
    return m_Store->ReadInt(m_Section, key);
}
std::optional<std::string> CProfileSection::ReadString(const std::string& key) const {
    return m_Store->ReadString(m_Section, key);
}
void CProfileSection::WriteInt(const std::string& key, std::int64_t value) {
    m_Store->WriteInt(m_Section, key, value);
}
void CProfileSection::WriteString(const std::string& key, const std::string& value) {
    m_Store->WriteString(m_Section, key, value);
}

void CProfileSection::WriteRecord(Record& r) {
    switch (r.kind) {
    case kInt:
        m_Store->WriteInt(m_Section, r.key, *static_cast<int*>(r.field));
        break;
    case kUInt:
        m_Store->WriteInt(m_Section, r.key, *static_cast<unsigned*>(r.field));
        break;
    case kString:
        m_Store->WriteString(m_Section, r.key, *static_cast<std::string*>(r.field));
        break;
    case kCustom:
        if (r.writeBack)
            r.writeBack(*this, r.key);
        break;
    }
}

} // namespace vq5
