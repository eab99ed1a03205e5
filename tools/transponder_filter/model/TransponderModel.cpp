#include "TransponderModel.h"

#include "CommandSet.h"
#include "TextCodec.h"
#include "ProfileSection.h"

#include <algorithm>
#include <cstdio>

namespace vq5::tct {

SettingRange RangeOf(Setting s) {
    return s == sOffset ? SettingRange{10, 25} : SettingRange{1, 15};
}

std::string RangeMessage(int lo, int hi) {
    char buf[80];
    std::snprintf(buf, sizeof buf, "Please enter an integer between %d and %d.", lo, hi);
    return buf;
}

int& CTransponderModel::Value(Setting s) {
    switch (s) {
    case sWindow:
        return m_Window;
    case sMinimal:
        return m_Minimal;
    case sOffset:
        return m_Offset;
    case sStable:
    default:
        return m_Stable;
    }
}

int CTransponderModel::Value(Setting s) const {
    return const_cast<CTransponderModel*>(this)->Value(s);
}

void CTransponderModel::Bind(CProfileSection& section) {
    section.BindInt(m_Reboot, "Reboot", kDefaultReboot);
    section.BindInt(m_Window, "Window", kDefaultWindow);
    section.BindInt(m_Minimal, "Minimal", kDefaultMinimal);
    section.BindInt(m_Offset, "Offset", kDefaultOffset);
    section.BindInt(m_Stable, "Stable", kDefaultStable);
    // Damaged values: the sliders cannot show them, and a save would send a value masked
    // to 4 bits that nobody saw. Bring them into range so what is shown is what is saved.
    if (m_Reboot != 0 && m_Reboot != 1)
        m_Reboot = kDefaultReboot;
    for (int i = 0; i < kSettingCount; ++i) {
        auto s = static_cast<Setting>(i);
        SettingRange r = RangeOf(s);
        Value(s) = std::clamp(Value(s), r.lo, r.hi);
    }
    if (m_Minimal > m_Window)
        m_Window = m_Minimal;
}

void CTransponderModel::Defaults() {
    m_Window = kDefaultWindow;
    m_Minimal = kDefaultMinimal;
    m_Offset = kDefaultOffset;
    m_Stable = kDefaultStable;
}

std::string CTransponderModel::FrameTitle(Setting s) const {
    char buf[64];
    switch (s) {
    case sWindow:
        std::snprintf(buf, sizeof buf, "Window  [%d ms]", m_Window * 24);
        break;
    case sMinimal:
        std::snprintf(buf, sizeof buf, "Minimal  [%d Vx]", m_Minimal);
        break;
    case sOffset:
        std::snprintf(buf, sizeof buf, "Offset  [%d ms]", m_Offset);
        break;
    case sStable:
    default:
        std::snprintf(buf, sizeof buf, "Stable  [%d ms]", m_Stable * 100);
        break;
    }
    return buf;
}

std::string CTransponderModel::ReadOut(Setting s) const {
    return std::to_string(Value(s));
}

std::vector<Setting> CTransponderModel::Couple(Setting s) {
    std::vector<Setting> visited;
    auto visit = [&visited](Setting v) {
        if (std::find(visited.begin(), visited.end(), v) == visited.end())
            visited.push_back(v);
    };
    // Window and Minimal hand over to each other at most twice before the values agree.
    Setting current = s;
    for (int step = 0; step < 4; ++step) {
        visit(current);
        if (current == sWindow) {
            if (m_Window < m_Minimal) {
                m_Minimal = m_Window;
                current = sMinimal;
                continue;
            }
        } else if (current == sMinimal) {
            if (m_Minimal >= m_Window) {
                bool moved = m_Window != m_Minimal;
                m_Window = m_Minimal;
                if (moved) {
                    current = sWindow;
                    continue;
                }
                visit(sWindow);
            }
        }
        break;
    }
    return visited;
}

std::vector<Setting> CTransponderModel::CoupleAll() {
    std::vector<Setting> all;
    for (int i = 0; i < kSettingCount; ++i)
        for (Setting v : Couple(static_cast<Setting>(i)))
            if (std::find(all.begin(), all.end(), v) == all.end())
                all.push_back(v);
    return all;
}

std::optional<std::string> CTransponderModel::Take(int window, int minimal, int offset, int stable,
                                                   bool reboot) {
    const int values[kSettingCount] = {window, minimal, offset, stable};
    for (int i = 0; i < kSettingCount; ++i) {
        SettingRange r = RangeOf(static_cast<Setting>(i));
        if (values[i] < r.lo || values[i] > r.hi)
            return RangeMessage(r.lo, r.hi);
    }
    m_Window = window;
    m_Minimal = minimal;
    m_Offset = offset;
    m_Stable = stable;
    m_Reboot = reboot ? 1 : 0;
    return std::nullopt;
}

std::vector<std::string> CTransponderModel::LoadTexts() {
    return {device::kEnterProgramMode,   device::QueryCode('K', 'W'), device::QueryCode('K', 'M'),
            device::QueryCode('K', 'O'), device::QueryCode('K', 'S'), device::kLeave};
}

std::vector<std::string> CTransponderModel::SaveTexts(bool readBack) const {
    std::vector<std::string> texts = {device::kEnterProgramMode,
                                      device::SetConstant('W', static_cast<unsigned>(m_Window)),
                                      device::SetConstant('M', static_cast<unsigned>(m_Minimal)),
                                      device::OffsetSetOld(m_Offset),
                                      device::OffsetSetNew(m_Offset),
                                      device::SetConstant('S', static_cast<unsigned>(m_Stable))};
    if (readBack) {
        const std::vector<std::string> load = LoadTexts();
        texts.insert(texts.end(), load.begin() + 1, load.end() - 1); // the four queries
    }
    texts.emplace_back(m_Reboot ? device::kLeaveReboot : device::kLeave);
    return texts;
}

int CTransponderModel::HeldValue(Setting s, unsigned major, unsigned minor) const {
    return s == sOffset ? device::OffsetHeld(m_Offset, major, minor) : Value(s);
}

namespace {
// An upper-case (or lower-case) hex digit; anything else is no value.
int DigitValue(char c) {
    return HexDigitValue(c);
}
} // namespace

CTransponderModel::ReplyResult CTransponderModel::ParseReply(std::string_view text,
                                                             std::string_view adaptedPK, unsigned major,
                                                             unsigned minor) {
    ReplyResult result;
    if (adaptedPK.size() != 3 || text.size() < 3 || text.substr(0, 3) != adaptedPK)
        return result;
    result.effect = ReplyEffect::PutOnly;
    if (text.size() < 5)
        return result; // no item or no value: nothing to read
    Setting s;
    switch (text[3]) {
    case 'W':
        s = sWindow;
        break;
    case 'M':
        s = sMinimal;
        break;
    case 'O':
        s = sOffset;
        break;
    case 'S':
        s = sStable;
        break;
    default:
        return result;
    }
    int digit = DigitValue(text[4]);
    if (digit < 0)
        return result; // not a digit: the value would be nonsense, keep what is shown
    int value = s == sOffset ? device::OffsetFromDigit(static_cast<unsigned>(digit), major, minor) : digit;
    result.deviceValue = value;
    SettingRange r = RangeOf(s);
    Value(s) = std::clamp(value, r.lo, r.hi);
    result.effect = ReplyEffect::Changed;
    result.changed = s;
    result.texts = Couple(s);
    return result;
}

void CVersionTracker::Seed(unsigned major, unsigned minor) {
    m_Major = major;
    m_Minor = minor;
}

void CVersionTracker::OnNotification(const Notification& n) {
    if (n.kind != nkIdent)
        return;
    if (n.value == 0) {
        m_Major = m_Minor = 0;
        return;
    }
    // The two characters after the first '(' are the version digits, as the engine reads
    // them; anything but 0-9 and A-F leaves the version as it was.
    auto paren = n.text.find('(');
    if (paren == std::string::npos || paren + 2 >= n.text.size())
        return;
    auto hex = [](char c) -> int {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    };
    int ma = hex(n.text[paren + 1]);
    int mi = hex(n.text[paren + 2]);
    if (ma < 0 || mi < 0)
        return;
    m_Major = static_cast<unsigned>(ma);
    m_Minor = static_cast<unsigned>(mi);
    m_Identified = true;
    m_IdentMajor = m_Major;
    m_IdentMinor = m_Minor;
}

std::string CVersionTracker::OffsetWarning(int offsetMs) const {
    return device::OffsetWarning(offsetMs, m_Identified, m_IdentMajor, m_IdentMinor);
}

} // namespace vq5::tct
