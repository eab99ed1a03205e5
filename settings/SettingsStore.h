// Settings store: where the tools keep their persistent values.
//
// A store holds named integer and string values in sections: the per-user settings file of a
// tool ("Software\Lumark Electronics\<program>" in the Windows registry). The Qt shell provides a store on
// QSettings; the command line and the tests use the in-memory store below.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

namespace vq5 {

class ISettingsStore {
public:
    virtual ~ISettingsStore() = default;
    // An absent value, or one that is not of the asked type (a text where a number is
    // expected), reads as nullopt; the caller then takes its default.
    virtual std::optional<std::int64_t> ReadInt(const std::string& section, const std::string& key) = 0;
    virtual std::optional<std::string> ReadString(const std::string& section, const std::string& key) = 0;
    virtual void WriteInt(const std::string& section, const std::string& key, std::int64_t value) = 0;
    virtual void WriteString(const std::string& section, const std::string& key,
                             const std::string& value) = 0;
};

// A store kept in memory; also the base of the file store of the command line.
class CMemoryStore : public ISettingsStore {
public:
    std::optional<std::int64_t> ReadInt(const std::string& section, const std::string& key) override;
    std::optional<std::string> ReadString(const std::string& section, const std::string& key) override;
    void WriteInt(const std::string& section, const std::string& key, std::int64_t value) override;
    void WriteString(const std::string& section, const std::string& key, const std::string& value) override;

    // Raw access for tests and file export: "section" -> "key" -> text as stored.
    using Values = std::map<std::string, std::map<std::string, std::string>>;
    Values Snapshot() const;
    void Replace(Values values);
    bool Has(const std::string& section, const std::string& key) const;

private:
    mutable std::mutex m_Lock; // guards m_Values
    Values m_Values;
};

// The store every CProfileSection uses unless it is given one: the application's
// settings store. The tool shell sets it at start; until then an in-memory store serves.
ISettingsStore& DefaultSettingsStore();
void SetDefaultSettingsStore(ISettingsStore* store); // nullptr restores the built-in memory store

} // namespace vq5
