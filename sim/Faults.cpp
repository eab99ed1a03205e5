#include "Faults.h"
#include "TextCodec.h"

#include <cstdlib>
#include <cstring>

namespace vq5::sim {

namespace {
constexpr int kCount = static_cast<int>(Fault::Count);
const char* const kNames[kCount] = {"flip",   "drop", "noise", "check", "nak",
                                    "silent", "late", "block", "adr"};

std::string Trim(const std::string& s) {
    std::size_t b = s.find_first_not_of(" \t");
    std::size_t e = s.find_last_not_of(" \t");
    return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
}
} // namespace

const char* FaultName(Fault f) {
    int i = static_cast<int>(f);
    return i >= 0 && i < kCount ? kNames[i] : "?";
}

bool FaultPlan::Any() const {
    for (int i = 0; i < kCount; ++i)
        if (rate[i] > 0 || count[i] > 0)
            return true;
    return false;
}

bool ParseFaults(const std::string& list, FaultPlan& plan, std::string& error) {
    FaultPlan out;
    std::size_t pos = 0;
    while (pos <= list.size()) {
        std::size_t comma = list.find(',', pos);
        if (comma == std::string::npos)
            comma = list.size();
        const std::string entry = Trim(list.substr(pos, comma - pos));
        pos = comma + 1;
        if (entry.empty()) {
            if (comma >= list.size())
                break;
            continue;
        }
        const std::size_t eq = entry.find('=');
        if (eq == std::string::npos) {
            error = "fault '" + entry + "' has no value (name=RATE or name=COUNT)";
            return false;
        }
        const std::string name = Trim(entry.substr(0, eq));
        const std::string value = Trim(entry.substr(eq + 1));
        if (value.empty()) {
            error = "fault '" + name + "' has no value";
            return false;
        }
        const bool isRate = value.find_first_of(".eE") != std::string::npos;
        char* end = nullptr;
        double rate = 0;
        long count = 0;
        if (isRate) {
            rate = std::strtod(value.c_str(), &end);
            if (*end != '\0' || !(rate >= 0.0 && rate <= 1.0)) {
                error = "fault '" + name + "': rate '" + value + "' is not between 0 and 1";
                return false;
            }
        } else {
            const std::optional<long> n = ParseNumber<long>(value);
            count = n.value_or(-1);
            if (count < 0 || count > 1000000000L) {
                error = "fault '" + name + "': count '" + value + "' is not a whole number";
                return false;
            }
        }
        auto set = [&](Fault f, double r, long c) {
            out.rate[static_cast<int>(f)] = r;
            out.count[static_cast<int>(f)] = c;
        };
        if (name == "bytes") {
            // Counts are shared out as evenly as whole numbers allow.
            set(Fault::Flip, rate / 3, count - 2 * (count / 3));
            set(Fault::Drop, rate / 3, count / 3);
            set(Fault::Noise, rate / 3, count / 3);
            continue;
        }
        int found = -1;
        for (int i = 0; i < kCount; ++i)
            if (name == kNames[i])
                found = i;
        if (found < 0) {
            error = "unknown fault '" + name + "' (flip drop noise bytes check nak silent late block adr)";
            return false;
        }
        set(static_cast<Fault>(found), rate, count);
    }
    plan = out;
    return true;
}

CFaultInjector::CFaultInjector(FaultPlan plan, std::uint64_t seed) : m_Plan(plan), m_Rng(seed) {
    for (int i = 0; i < kCount; ++i)
        m_Left[i] = m_Plan.count[i];
}

bool CFaultInjector::Fire(Fault f) {
    const int i = static_cast<int>(f);
    bool fire = false;
    if (m_Left[i] > 0) {
        --m_Left[i];
        fire = true;
    } else if (m_Plan.rate[i] > 0) {
        fire = std::uniform_real_distribution<double>(0.0, 1.0)(m_Rng) < m_Plan.rate[i];
    }
    if (fire)
        ++m_Injected[i];
    return fire;
}

Fault CFaultInjector::ByteFault() {
    for (Fault f : {Fault::Flip, Fault::Drop, Fault::Noise})
        if (Fire(f))
            return f;
    return Fault::Count;
}

unsigned char CFaultInjector::NoiseByte() {
    for (;;) {
        const auto b = static_cast<unsigned char>(Random(256));
        if (b != 0x00 && b != 0x01 && b != 'P' && b != 'S' && b != 0xE1)
            return b;
    }
}

unsigned char CFaultInjector::FlipMask() {
    return static_cast<unsigned char>(1 + Random(255));
}

unsigned char CFaultInjector::OtherBlockByte() {
    return static_cast<unsigned char>(1 + Random(255));
}

std::uint64_t CFaultInjector::InjectedTotal() const {
    std::uint64_t n = 0;
    for (auto v : m_Injected)
        n += v;
    return n;
}

std::uint32_t CFaultInjector::Random(std::uint32_t below) {
    if (below <= 1)
        return 0;
    return std::uniform_int_distribution<std::uint32_t>(0, below - 1)(m_Rng);
}

} // namespace vq5::sim
