#include "Emulator.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace vq5::emu {

std::string AboutVersionLine() {
    char buf[64];
    std::snprintf(buf, sizeof buf, "VQ5 Tool %s, version %s", kProgramName, kAboutVersion);
    return buf;
}

LogEntry SplitLogLine(const std::string& line) {
    if (!line.empty() && line[0] >= '0' && line[0] <= '9')
        return {line[0] - '0', line.substr(1)};
    return {kIconNone, line};
}

std::string QuotedLine(const char* prefix, std::string_view text) {
    std::string line = prefix;
    line += '"';
    const std::size_t end = text.find('\0');
    if (end != std::string_view::npos)
        text = text.substr(0, end);
    // Room for the text and the closing quote.
    const std::size_t room = line.size() + 1 < kLogLineMax ? kLogLineMax - line.size() - 1 : 0;
    std::size_t take = text.size();
    bool cut = false;
    if (take > room) {
        take = room >= 3 ? room - 3 : 0;
        cut = true;
    }
    for (std::size_t i = 0; i < take; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        line += (c < 0x20 || c == 0x7F) ? '.' : static_cast<char>(c);
    }
    if (cut)
        line += "...";
    line += '"';
    if (line.size() > kLogLineMax)
        line.resize(kLogLineMax);
    return line;
}

std::string ReceivedLogLine(std::string_view text) {
    const char first = text.empty() ? '\0' : text[0];
    switch (first) {
    case '#':
        return QuotedLine("1ControlKey: ", text);
    case '$':
        return QuotedLine("1ControlDisplay: ", text);
    case '&':
        return QuotedLine("1Userdata: ", text);
    case '=':
        return QuotedLine("1Announcement: ", text);
    case '?':
        return QuotedLine("1Inquiry: ", text);
    default:
        return QuotedLine("ERROR: ", text);
    }
}

std::string SentLogLine(std::string_view text) {
    return QuotedLine("0Message send: ", text);
}

std::string LogTime(std::chrono::system_clock::time_point t) {
    using namespace std::chrono;
    const auto ms = duration_cast<milliseconds>(t.time_since_epoch()).count();
    const long long msOfHour = ((ms % 3600000) + 3600000) % 3600000;
    const int minute = static_cast<int>(msOfHour / 60000);
    const int second = static_cast<int>(msOfHour / 1000 % 60);
    const int hundredths = static_cast<int>(msOfHour % 1000 / 10);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%2d:%02d.%02d", minute, second, hundredths);
    return buf;
}

FieldCheck CheckNumberField(const std::string& text, int lo, int hi, int& value) {
    std::size_t i = 0, n = text.size();
    while (i < n && std::isspace(static_cast<unsigned char>(text[i])))
        ++i;
    while (n > i && std::isspace(static_cast<unsigned char>(text[n - 1])))
        --n;
    std::size_t d = i;
    if (d < n && (text[d] == '+' || text[d] == '-'))
        ++d;
    if (d == n)
        return FieldCheck::NotANumber;
    for (std::size_t k = d; k < n; ++k)
        if (!std::isdigit(static_cast<unsigned char>(text[k])))
            return FieldCheck::NotANumber;
    errno = 0;
    const long long v = std::strtoll(text.substr(i, n - i).c_str(), nullptr, 10);
    if (errno == ERANGE || v < lo || v > hi)
        return FieldCheck::OutOfRange;
    value = static_cast<int>(v);
    return FieldCheck::Ok;
}

std::string FieldCheckMessage(FieldCheck result, int lo, int hi) {
    if (result == FieldCheck::NotANumber)
        return "Please enter an integer.";
    char buf[80];
    std::snprintf(buf, sizeof buf, "Please enter an integer between %d and %d.", lo, hi);
    return buf;
}

CEmulator::CEmulator(CVL& engine, ISettingsStore* store)
    : m_Engine(engine), m_OwnSection(std::make_unique<CProfileSection>(kSettingsSection, store)),
      m_Section(*m_OwnSection) {
    Bind();
}

CEmulator::CEmulator(CVL& engine, CProfileSection& section) : m_Engine(engine), m_Section(section) {
    Bind();
}

void CEmulator::Bind() {
    m_Section.BindInt(m_LijnNr, "LijnNr", 123);
    m_Section.BindInt(m_RunNr, "RunNr", 45);
    m_Section.BindInt(m_AutoIncrement, "AutoIncrement", 0);
    // A stored number the fields cannot hold (an old or damaged file) would be refused by
    // the range check as soon as the dialog reads its fields, with a box before the dialog
    // is even shown: such a number takes its default.
    if (m_LijnNr < kNumberMin || m_LijnNr > kNumberMax)
        m_LijnNr = 123;
    if (m_RunNr < kNumberMin || m_RunNr > kNumberMax)
        m_RunNr = 45;
}

void CEmulator::PushNumbers() {
    m_Engine.m_LineNumber = m_LijnNr;
    m_Engine.m_RunNumber = m_RunNr;
}

void CEmulator::PushAutoIncrement() {
    m_Engine.m_AutoIncrement = m_AutoIncrement;
}

void CEmulator::PullNumbers() {
    m_LijnNr = m_Engine.m_LineNumber.load();
    m_RunNr = m_Engine.m_RunNumber.load();
}

std::optional<std::string> CEmulator::LogLineFor(const Notification& n) {
    switch (n.kind) {
    case nkReceived:
        PullNumbers();
        return ReceivedLogLine(n.text);
    case nkQueueEmpty:
        return std::string("2Queue empty");
    case nkLinkStatus:
        return std::string("2Status changed ") + m_Engine.StatusText();
    case nkIdent:
        return std::string("2VQ5 ID changed");
    case nkGenerated:
        return SentLogLine(n.text);
    default:
        return std::nullopt;
    }
}

} // namespace vq5::emu
