// CProfileSection: one section of the tool's settings.
//
// Owners bind their fields once; binding reads the stored value (or the default) into the
// field at once, and the section writes every bound field back, in binding order, when it
// is destroyed. Owners never write settings themselves.
#pragma once

#include "SettingsStore.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vq5 {

class CProfileSection {
public:
    explicit CProfileSection(std::string section, ISettingsStore* store = nullptr);
    ~CProfileSection(); // writes back every binding in binding order
    CProfileSection(const CProfileSection&) = delete;
    CProfileSection& operator=(const CProfileSection&) = delete;

    void BindInt(int& field, const std::string& key, int def);
    void BindUInt(unsigned& field, const std::string& key, unsigned def);
    void BindString(std::string& field, const std::string& key, const std::string& def = {});

    // A record written back by a callback, for bindings the Qt layer adds (window
    // placement). `tag` identifies the record so that it can be saved early and dropped
    // (a window saves its placement once, when it is destroyed).
    void BindCustom(const void* tag, std::string key,
                    std::function<void(CProfileSection&, const std::string& key)> writeBack);
    // Runs the write-back of the record with this tag now and removes it; false when the
    // section holds no such record (already saved).
    bool WriteBackAndRemove(const void* tag);
    bool HasRecord(const void* tag) const;

    // Direct access for bindings that read or write several values (placement).
    std::optional<std::int64_t> ReadInt(const std::string& key) const;
    std::optional<std::string> ReadString(const std::string& key) const;
    void WriteInt(const std::string& key, std::int64_t value);
    void WriteString(const std::string& key, const std::string& value);

    const std::string& Name() const { return m_Section; }
    ISettingsStore& Store() const { return *m_Store; }

    // Every live section, in creation order (a copy; sections may be made on any thread).
    static std::vector<CProfileSection*> LiveSections();

private:
    enum Kind { kInt = 1, kUInt = 2, kString = 3, kCustom = 5 };
    struct Record {
        Kind kind;
        std::string key;
        void* field;
        const void* tag;
        std::function<void(CProfileSection&, const std::string&)> writeBack;
    };
    void WriteRecord(Record& r);

    std::string m_Section;
    ISettingsStore* m_Store;
    std::vector<Record> m_Records;
};

} // namespace vq5
