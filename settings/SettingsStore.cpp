#include "SettingsStore.h"

#include <charconv>

namespace vq5 {

std::optional<std::int64_t> CMemoryStore::ReadInt(const std::string& section, const std::string& key) {
    const std::optional<std::string> stored = CMemoryStore::ReadString(section, key);
    if (!stored)
        return std::nullopt;
    const std::string& text = *stored;
    std::int64_t value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty())
        return std::nullopt;
    return value;
}

std::optional<std::string> CMemoryStore::ReadString(const std::string& section, const std::string& key) {
    std::lock_guard<std::mutex> lock(m_Lock);
    auto s = m_Values.find(section);
    if (s == m_Values.end())
        return std::nullopt;
    auto k = s->second.find(key);
    if (k == s->second.end())
        return std::nullopt;
    return k->second;
}

void CMemoryStore::WriteInt(const std::string& section, const std::string& key, std::int64_t value) {
    std::lock_guard<std::mutex> lock(m_Lock);
    m_Values[section][key] = std::to_string(value);
}

void CMemoryStore::WriteString(const std::string& section, const std::string& key, const std::string& value) {
    std::lock_guard<std::mutex> lock(m_Lock);
    m_Values[section][key] = value;
}

CMemoryStore::Values CMemoryStore::Snapshot() const {
    std::lock_guard<std::mutex> lock(m_Lock);
    return m_Values;
}

void CMemoryStore::Replace(Values values) {
    std::lock_guard<std::mutex> lock(m_Lock);
    m_Values = std::move(values);
}

bool CMemoryStore::Has(const std::string& section, const std::string& key) const {
    std::lock_guard<std::mutex> lock(m_Lock);
    auto s = m_Values.find(section);
    return s != m_Values.end() && s->second.count(key) != 0;
}

namespace {
CMemoryStore& BuiltinStore() {
    static CMemoryStore store;
    return store;
}
ISettingsStore* g_DefaultStore = nullptr;
} // namespace

ISettingsStore& DefaultSettingsStore() {
    return g_DefaultStore ? *g_DefaultStore : BuiltinStore();
}

void SetDefaultSettingsStore(ISettingsStore* store) {
    g_DefaultStore = store;
}

} // namespace vq5
