#include "TransponderModel.h"

#include "CommandSet.h"
#include "Identification.h"
#include "ProfileSection.h"

#include <algorithm>
#include <cstdio>

namespace vq5::tct {

SettingRange RangeOf(Setting s) {
    return s == sOffset ? SettingRange{10, 25} : SettingRange{1, 15};
}

SettingRange HeldRangeOf(Setting s) {
    return s == sOffset ? SettingRange{10, device::kOffsetHeldMax} : RangeOf(s);
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
        // An offset a device before 8.2 held (26 to 31 ms) stays; anything else goes to the
        // nearest end of the slider.
        const SettingRange held = HeldRangeOf(s);
        if (Value(s) >= held.lo && Value(s) <= held.hi)
            continue;
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
    static const char* const formats[kSettingCount] = {"Window  [%d ms]", "Minimal  [%d Vx]",
                                                       "Offset  [%d ms]", "Stable  [%d ms]"};
    char buf[64];
    std::snprintf(buf, sizeof buf, formats[s],
                  device::ConstantInUnits(device::kFilterConstants[s], Value(s)));
    return buf;
}

std::string CTransponderModel::ReadOut(Setting s) const {
    return std::to_string(Value(s));
}

std::vector<Setting> CTransponderModel::Couple(Setting s) {
    std::vector<Setting> visited = {s};
    if (s == sWindow && device::CoupleWindowMinimal(device::FilterConstant::Window, m_Window, m_Minimal))
        visited.push_back(sMinimal);
    if (s == sMinimal) {
        device::CoupleWindowMinimal(device::FilterConstant::Minimal, m_Window, m_Minimal);
        // Window's texts are set again whenever it stands at Minimal, moved or not.
        if (m_Window == m_Minimal)
            visited.push_back(sWindow);
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
    // The slider at its end cannot show an offset the device held above it: that one stays.
    if (!(offset == RangeOf(sOffset).hi && m_Offset > offset && m_Offset <= HeldRangeOf(sOffset).hi))
        m_Offset = offset;
    m_Stable = stable;
    m_Reboot = reboot ? 1 : 0;
    return std::nullopt;
}

std::vector<std::string> CTransponderModel::LoadTexts() {
    return {device::kEnterProgramMode,   device::QueryCode('K', 'W'), device::QueryCode('K', 'M'),
            device::QueryCode('K', 'O'), device::QueryCode('K', 'S'), device::kLeave};
}

const char* CTransponderModel::SettingKey(Setting s) {
    static const char* const keys[kSettingCount] = {"TransConfigSliderWindow", "TransConfigSliderMinimal",
                                                    "TransConfigSliderOffset2", "TransConfigSliderStable"};
    return keys[s];
}

std::vector<std::string> CTransponderModel::SetTexts() const {
    return {device::SetConstant('W', static_cast<unsigned>(m_Window)),
            device::SetConstant('M', static_cast<unsigned>(m_Minimal)), device::OffsetSetOld(m_Offset),
            device::OffsetSetNew(m_Offset), device::SetConstant('S', static_cast<unsigned>(m_Stable))};
}

std::vector<std::string> CTransponderModel::SaveTexts(bool readBack) const {
    std::vector<std::string> texts = {device::kEnterProgramMode};
    const std::vector<std::string> sets = SetTexts();
    texts.insert(texts.end(), sets.begin(), sets.end());
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

CTransponderModel::ReplyResult CTransponderModel::ParseReply(std::string_view text,
                                                             std::string_view adaptedPK, unsigned major,
                                                             unsigned minor) {
    ReplyResult result;
    if (adaptedPK.size() != 3 || text.size() < 3 || text.substr(0, 3) != adaptedPK)
        return result;
    result.effect = ReplyEffect::PutOnly;
    if (text.size() < 5)
        return result; // no item or no value: nothing to read
    const auto reading = device::ReadFilterConstant(text, major, minor);
    if (!reading)
        return result; // no filter constant or no digit: the value would be nonsense, keep what is shown
    const auto s = static_cast<Setting>(device::FilterConstantIndex(reading->constant));
    result.deviceValue = reading->value;
    // A value the slider cannot show is brought into its range, except an offset the device
    // holds above it (before 8.2): that one is kept, so that a save writes it back unchanged.
    SettingRange r = HeldRangeOf(s);
    Value(s) = std::clamp(reading->value, r.lo, r.hi);
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
    // The version digits as the engine reads them; an identification without them leaves
    // the version as it was.
    const auto version = IdentificationVersion(n.text);
    if (!version)
        return;
    m_Major = version->major;
    m_Minor = version->minor;
    m_Identified = true;
    m_IdentMajor = m_Major;
    m_IdentMinor = m_Minor;
}

std::string CVersionTracker::OffsetWarning(int offsetMs) const {
    return device::OffsetWarning(offsetMs, m_Identified, m_IdentMajor, m_IdentMinor);
}

} // namespace vq5::tct
