// One visit as it goes, kept the same way by the tools and the `vq5` verbs: what the device
// said about itself, what was read from it and the texts it acknowledged. The texts are
// taken as they were queued: a text gated for versions the device does not run never went
// out and is left out; the rest are recorded as sent (without their gates, "&P" addressed
// to the device's letter).
#pragma once

#include "ServiceRecord.h"

#include <optional>
#include <string>
#include <vector>

namespace vq5::record {

class CVisitLog {
public:
    CVisitLog(std::string tool, std::string port); // the visit starts now

    // The identification reply: its text, the device letter and the version it gave.
    void Identified(const std::string& identification, char letter, unsigned major, unsigned minor);
    // One thing read (kind: kKindConfig, kKindCounters, kKindInfo); a configuration
    // identifier read ("ConfigID" setting, "Version config" row) becomes the visit's.
    void Read(const char* kind, const std::string& item, const std::string& value);
    // The same, replacing an earlier value of the item (a state polled again and again).
    void ReadLatest(const char* kind, const std::string& item, const std::string& value);
    // Texts the device acknowledged, numbered on from the ones before; a configuration
    // identifier written becomes the visit's.
    void Wrote(const std::vector<std::string>& texts);
    // One text the device took, unless it is the text recorded last: a message repeated at
    // every free opportunity is recorded once until another follows. Returns whether it was.
    bool WroteUnlessRepeated(const std::string& text);
    // The visit ends now with this outcome; returns it for the record.
    Visit Finish(std::string outcome);

    const Visit& Current() const { return m_Visit; }
    bool HasIdentification() const { return !m_Visit.identification.empty(); }

private:
    void Add(const char* kind, const std::string& item, const std::string& value);
    void NoteConfigId(const std::string& kind, const std::string& item, const std::string& value);
    Visit m_Visit;
    unsigned m_Major = 0, m_Minor = 0;
    int m_Written = 0;
    std::optional<std::string> m_LastWritten; // as queued
};

// The version as the record shows it: "8.7".
std::string VersionText(unsigned major, unsigned minor);

} // namespace vq5::record
