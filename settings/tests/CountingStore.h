// An in-memory settings store that counts the writes of every value (tests of "written
// exactly once").
#pragma once

#include "SettingsStore.h"

#include <map>
#include <string>

namespace vq5::test {

class CCountingStore : public CMemoryStore {
public:
    void WriteInt(const std::string& section, const std::string& key, std::int64_t value) override {
        ++m_Writes[section + "/" + key];
        CMemoryStore::WriteInt(section, key, value);
    }
    void WriteString(const std::string& section, const std::string& key, const std::string& value) override {
        ++m_Writes[section + "/" + key];
        CMemoryStore::WriteString(section, key, value);
    }
    int Writes(const std::string& section, const std::string& key) const {
        auto it = m_Writes.find(section + "/" + key);
        return it == m_Writes.end() ? 0 : it->second;
    }
    int TotalWrites() const {
        int n = 0;
        for (const auto& [k, v] : m_Writes)
            n += v;
        return n;
    }
    void ResetCounts() { m_Writes.clear(); }

private:
    std::map<std::string, int> m_Writes;
};

} // namespace vq5::test
