#include "VisitLog.h"

#include "CommandSet.h"

#include <algorithm>

namespace vq5::record {

std::string VersionText(unsigned major, unsigned minor) {
    return std::to_string(major) + "." + std::to_string(minor);
}

CVisitLog::CVisitLog(std::string tool, std::string port) {
    m_Visit.tool = std::move(tool);
    m_Visit.port = std::move(port);
    m_Visit.started = NowText();
}

void CVisitLog::Identified(const std::string& identification, char letter, unsigned major, unsigned minor) {
    m_Visit.identification = identification;
    m_Visit.letter = std::string(1, letter);
    m_Visit.version = VersionText(major, minor);
    m_Major = major;
    m_Minor = minor;
}

void CVisitLog::Read(const char* kind, const std::string& item, const std::string& value) {
    // One value per setting: a later reply replaces an earlier one.
    if (std::string(kind) == kKindConfig)
        ReadLatest(kind, item, value);
    else
        Add(kind, item, value);
}

void CVisitLog::ReadLatest(const char* kind, const std::string& item, const std::string& value) {
    const auto same = std::find_if(m_Visit.items.begin(), m_Visit.items.end(),
                                   [&](const VisitItem& i) { return i.kind == kind && i.item == item; });
    if (same == m_Visit.items.end()) {
        Add(kind, item, value);
        return;
    }
    same->value = value;
    NoteConfigId(same->kind, item, value);
}

void CVisitLog::Add(const char* kind, const std::string& item, const std::string& value) {
    m_Visit.items.push_back({kind, item, value});
    NoteConfigId(kind, item, value);
}

void CVisitLog::NoteConfigId(const std::string& kind, const std::string& item, const std::string& value) {
    if ((kind == kKindConfig && item == "ConfigID") || (kind == kKindInfo && item == "Version config"))
        m_Visit.configId = value;
}

void CVisitLog::Wrote(const std::vector<std::string>& texts) {
    for (const std::string& t : texts) {
        const std::string_view body = device::StripGates(t);
        if (body.size() != t.size() && !device::GatePasses(t, m_Major, m_Minor))
            continue; // held back for this device's version: it never went out
        std::string sent(body);
        if (sent.size() >= 2 && sent[0] == '&' && sent[1] == 'P' && !m_Visit.letter.empty())
            sent[1] = m_Visit.letter[0];
        if (sent.size() > 4 && sent[0] == '&' && sent.compare(2, 2, "IA") == 0)
            m_Visit.configId = sent.substr(4);
        m_Visit.items.push_back({kKindWritten, std::to_string(++m_Written), sent});
        m_LastWritten = t;
    }
}

bool CVisitLog::WroteUnlessRepeated(const std::string& text) {
    if (m_LastWritten == text)
        return false;
    const int before = m_Written;
    Wrote({text});
    return m_Written != before;
}

Visit CVisitLog::Finish(std::string outcome) {
    m_Visit.ended = NowText();
    m_Visit.outcome = std::move(outcome);
    return m_Visit;
}

} // namespace vq5::record
