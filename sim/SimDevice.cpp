#include "SimDevice.h"

#include "CommandSet.h"
#include "TextCodec.h"

#include <cctype>
#include <cstdio>

namespace vq5::sim {

namespace {

constexpr std::size_t kMaxFramePayload = 255;

char HexChar(unsigned v) {
    return "0123456789ABCDEF"[v & 15u];
}

bool AllDigits(const std::string& s, std::size_t from, std::size_t count) {
    if (s.size() < from + count)
        return false;
    for (std::size_t i = from; i < from + count; ++i)
        if (!std::isdigit(static_cast<unsigned char>(s[i])))
            return false;
    return true;
}

int Number(const std::string& s, std::size_t from, std::size_t count) {
    int v = 0;
    for (std::size_t i = from; i < from + count; ++i)
        v = v * 10 + (s[i] - '0');
    return v;
}

long long MsSince(CSimDevice::Clock::time_point from, CSimDevice::Clock::time_point now) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(now - from).count();
}

} // namespace

std::string EncodeOutputs(bool statusLedLit, bool stopLampLit, bool t1, bool t2, int line, int run) {
    if (line < 0)
        line = 0;
    if (run < 0)
        run = 0;
    const unsigned lineH = static_cast<unsigned>(line / 100) % 4; // two lines carry the hundreds
    const unsigned lineT = static_cast<unsigned>(line / 10) % 10;
    const unsigned lineU = static_cast<unsigned>(line) % 10;
    const unsigned runT = static_cast<unsigned>(run / 10) % 8; // three lines carry the tens
    const unsigned runU = static_cast<unsigned>(run) % 10;
    bool t[20] = {}; // t[1] .. t[19]
    t[1] = t1;
    t[2] = t2;
    t[18] = lineH & 1;
    t[19] = lineH & 2;
    t[6] = lineT & 1;
    t[5] = lineT & 2;
    t[4] = lineT & 4;
    t[17] = lineT & 8;
    t[10] = lineU & 1;
    t[9] = lineU & 2;
    t[8] = lineU & 4;
    t[7] = lineU & 8;
    t[12] = runT & 1;
    t[11] = runT & 2;
    t[3] = runT & 4;
    t[16] = runU & 1;
    t[15] = runU & 2;
    t[14] = runU & 4;
    t[13] = runU & 8;
    std::string out;
    out += statusLedLit ? '0' : '1'; // the status LED line is active low
    out += stopLampLit ? '1' : '0';
    for (int n = 1; n <= 19; ++n)
        out += t[n] ? '1' : '0';
    return out;
}

CSimDevice::CSimDevice(unsigned major, unsigned minor, char letter, std::uint64_t seed, DeviceProfile profile)
    : m_Major(major & 15u), m_Minor(minor & 15u), m_Letter(letter), m_Profile(profile),
      m_State(FactoryState(major, minor)), m_Born(Clock::now()),
      m_Rng(static_cast<std::uint32_t>(seed * 2654435761u + 17u)) {}

std::string CSimDevice::Identification() const {
    std::string id = "&";
    id += m_Letter;
    id += "PVQ-5 (";
    id += HexChar(m_Major);
    id += HexChar(m_Minor);
    id += ")";
    if (!m_State.identText.empty())
        id += " " + m_State.identText;
    if (id.size() > kMaxFramePayload)
        id.resize(kMaxFramePayload);
    return id;
}

std::string CSimDevice::Reply(char cls, char item, const std::string& value) const {
    std::string r = "&";
    r += m_Letter;
    r += cls;
    r += item;
    r += value;
    if (r.size() > kMaxFramePayload)
        r.resize(kMaxFramePayload);
    return r;
}

int CSimDevice::OutputRun() const {
    const int run = m_State.run;
    auto it = m_State.flags.find('D');
    if (it != m_State.flags.end() && it->second)
        return run >= 80 ? 0 : run;
    return run % 80;
}

std::string CSimDevice::Inputs(Clock::time_point now) const {
    const long long ms = m_HoldLines ? 0 : MsSince(m_Born, now);
    const long long inCycle = ms % 20000;
    const bool blinkOn = (ms / 500) % 2 == 0;
    const bool left = inCycle < 4000 && blinkOn;                       // left turn, blinking
    const bool right = inCycle >= 10000 && inCycle < 14000 && blinkOn; // right turn, blinking
    const bool stopButton = (ms % 12000) >= 6000 && (ms % 12000) < 7000;
    const bool gpKey = (ms % 30000) >= 20000 && (ms % 30000) < 20500;
    const bool overLoop = (ms % 15000) >= 3000 && (ms % 15000) < 4000;
    std::string in;
    in += left ? '1' : '0';
    in += right ? '1' : '0';
    in += '0'; // hand bediening
    in += stopButton ? '1' : '0';
    in += gpKey ? '1' : '0';
    in += overLoop ? '0' : '1'; // the loop input is active low
    return in;
}

std::string CSimDevice::Outputs(Clock::time_point now) const {
    const long long ms = m_HoldLines ? 0 : MsSince(m_Born, now);
    const bool ledLit = (ms / 1000) % 2 == 0;
    // The stop lamp lights with the stop button and stays on for four seconds.
    const long long sinceStop = (ms % 12000) - 6000;
    const bool stopLamp = sinceStop >= 0 && sinceStop < 4000;
    auto flag = [this](char item) {
        auto it = m_State.flags.find(item);
        return it != m_State.flags.end() && it->second;
    };
    return EncodeOutputs(ledLit, stopLamp, flag('O'), flag('S'), m_State.line, OutputRun());
}

bool CSimDevice::Knows(const std::string& code) const {
    const char* gate = device::DeviceGate(code);
    return gate && device::GatePasses(gate, m_Major, m_Minor);
}

void CSimDevice::Reboot(DeviceAction& action) {
    // A rebooted device starts again at the base speed, 1200 baud.
    action.speedIndex = 0;
    ++m_State.reboots;
    m_State.programMode = false;
    auto it = m_State.flags.find('E');
    if (it != m_State.flags.end() && it->second) {
        // "ClearConfig": the EEPROM is cleared and the factory defaults are put in place.
        DeviceState fresh = FactoryState(m_Major, m_Minor);
        fresh.reboots = m_State.reboots;
        fresh.configInits = m_State.configInits + 1;
        fresh.programModeEntries = m_State.programModeEntries;
        fresh.line = m_State.line;
        fresh.run = m_State.run;
        fresh.identText = m_State.identText;
        m_State = fresh;
    }
    action.stateChanged = true;
}

DeviceAction CSimDevice::Handle(const std::string& text, Clock::time_point now) {
    DeviceAction action;
    if (text.empty())
        return action;

    if (text == device::kEnterProgramMode) {
        if (!m_State.programMode) {
            m_State.programMode = true;
            ++m_State.programModeEntries;
            action.stateChanged = true;
        }
        action.replies.push_back(Identification());
        return action;
    }

    // The on-board system's display message "$LLL/RRR   HH:MM XX" and announcement
    // "=LLLRRR...": they carry the line and run number.
    if (text[0] == '$' || text[0] == '=') {
        int line = -1, run = -1;
        if (text[0] == '$' && AllDigits(text, 1, 3) && text.size() >= 8 && text[4] == '/' &&
            AllDigits(text, 5, 3)) {
            line = Number(text, 1, 3);
            run = Number(text, 5, 3);
        } else if (text[0] == '=' && AllDigits(text, 1, 6)) {
            line = Number(text, 1, 3);
            run = Number(text, 4, 3);
        }
        if (line >= 0 && (line != m_State.line || run != m_State.run)) {
            m_State.line = line;
            m_State.run = run;
            action.stateChanged = true;
        }
        return action;
    }

    if (text.size() < 3 || text[0] != '&' || (text[1] != m_Letter && text[1] != 'P'))
        return action;
    const char cls = text[2];
    const bool strict = m_Profile == DeviceProfile::Strict;

    if (!m_State.programMode) {
        if (!strict && text.size() == 4 && cls == 'I' && (text[3] == 'I' || text[3] == 'J'))
            action.replies.push_back(Reply('I', text[3], text[3] == 'I' ? Inputs(now) : Outputs(now)));
        return action;
    }

    if (!Knows(text))
        return action; // a command this version does not have gets no reply

    // A set is carried out; only the default profile answers it. Queries are answered alike.
    const std::size_t repliesBefore = action.replies.size();
    const bool isSet = cls == 'X' || cls == 'S' || text.size() > 4;
    switch (cls) {
    case 'X': {
        if (text.size() == 3 || (text.size() == 4 && (text[3] == '0' || text[3] == 'R'))) {
            std::string reply = "&";
            reply += m_Letter;
            reply += 'X';
            action.replies.push_back(reply);
            m_State.programMode = false;
            if (text.size() == 4 && text[3] == '0')
                action.speedIndex = 0;
            if (text.size() == 4 && text[3] == 'R')
                Reboot(action);
        }
        break;
    }
    case 'S':
        if (text.size() == 4 && text[3] >= '0' && text[3] <= '5')
            action.speedIndex = text[3] - '0';
        break;
    case 'F': {
        const char item = text[3];
        if (text.size() == 5) {
            const bool on = text[4] == '1';
            if (m_State.flags[item] != on) {
                m_State.flags[item] = on;
                action.stateChanged = true;
            }
        } else if (text.size() != 4) {
            break;
        }
        action.replies.push_back(Reply('F', item, m_State.flags[item] ? "1" : "0"));
        break;
    }
    case 'K': {
        const char item = text[3];
        unsigned* slot = item == 'W'   ? &m_State.window
                         : item == 'M' ? &m_State.minimal
                         : item == 'O' ? &m_State.offsetDigit
                                       : &m_State.stable;
        if (text.size() == 5) {
            if (!IsDeviceHexDigit(text[4]))
                break; // not a digit: the set is refused
            const unsigned v = static_cast<unsigned>(*device::ReadConstant(text));
            if (*slot != v) {
                *slot = v;
                action.stateChanged = true;
            }
        } else if (text.size() != 4) {
            break;
        }
        action.replies.push_back(Reply('K', item, std::string(1, HexChar(*slot))));
        break;
    }
    case 'I': {
        const char item = text[3];
        std::string* settable = item == 'A'   ? &m_State.identifier
                                : item == 'B' ? &m_State.datacall[0]
                                : item == 'C' ? &m_State.datacall[1]
                                : item == 'D' ? &m_State.datacall[2]
                                              : nullptr;
        if (text.size() > 4) {
            if (!settable)
                break;
            const std::string value = text.substr(4);
            if (*settable != value) {
                *settable = value;
                action.stateChanged = true;
            }
            action.replies.push_back(Reply('I', item, *settable));
            break;
        }
        std::string value;
        if (settable) {
            value = *settable;
        } else if (item == 'E') {
            for (const auto& f : device::Flags()) {
                if (!value.empty())
                    value += ' ';
                value += f.item;
                value += '=';
                value += m_State.flags[f.item] ? '1' : '0';
            }
        } else if (item == 'F') {
            value =
                device::FormatCounters({m_State.reboots, m_State.configInits, m_State.programModeEntries});
        } else if (item == 'G') {
            value = m_State.copyright;
        } else if (item == 'H') {
            value = m_State.software;
        } else if (item == 'I') {
            value = Inputs(now);
        } else if (item == 'J') {
            value = Outputs(now);
        } else if (item >= '0' && item <= '<') {
            value = m_State.revision[item - '0'];
        }
        action.replies.push_back(Reply('I', item, value));
        break;
    }
    default:
        break;
    }
    if (strict && isSet)
        action.replies.resize(repliesBefore);
    return action;
}

std::vector<std::string> CSimDevice::Tick(Clock::time_point now, unsigned periodMs) {
    std::vector<std::string> out;
    if (periodMs == 0 || m_State.programMode)
        return out;
    if (m_NextOnboard == Clock::time_point{}) {
        m_NextOnboard = now + std::chrono::milliseconds(periodMs);
        return out;
    }
    if (now < m_NextOnboard)
        return out;
    // Mostly inquiries, now and then a key press; the next one after 0.5 to 1.5 periods.
    const unsigned pick = m_Rng() % 4;
    out.push_back(pick == 0 ? "#GP" : pick == 1 ? "#STOP" : "?");
    const unsigned jitter = periodMs / 2 + static_cast<unsigned>(m_Rng() % (periodMs + 1));
    m_NextOnboard = now + std::chrono::milliseconds(jitter);
    return out;
}

} // namespace vq5::sim

namespace vq5::sim {

const char* ProfileName(DeviceProfile profile) {
    return profile == DeviceProfile::Strict ? "strict" : "default";
}

std::optional<DeviceProfile> ProfileFromName(const std::string& name) {
    if (name == "default")
        return DeviceProfile::Default;
    if (name == "strict")
        return DeviceProfile::Strict;
    return std::nullopt;
}

} // namespace vq5::sim
