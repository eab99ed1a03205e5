// Harness of the command set's value readers, gates and set forms.
#include "FuzzHarness.h"
#include "FuzzInput.h"
#include "FuzzSupport.h"

#include "CommandSet.h"
#include "TextCodec.h"
#include "VLPMsg.h"

#include <cctype>

namespace vq5::fuzz {

namespace dev = vq5::device;

namespace {
bool Sign(char c) {
    return c == '>' || c == '<';
}

// True when every gate group at the start of the text has two upper-case hexadecimal digits.
bool CleanGates(const std::string& t) {
    for (std::size_t pos = 0; pos + 2 < t.size() && Sign(t[pos + 2]); pos += 3)
        if (!IsDeviceHexDigit(t[pos]) || !IsDeviceHexDigit(t[pos + 1]))
            return false;
    return true;
}

std::string Upper(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}
} // namespace

// Input: device version (two bytes, 0..15 each), an item byte, a prefix text, then the reply
// (the rest).
int FuzzDeviceReaders(const std::uint8_t* data, std::size_t size) {
    static const char* h = "device_readers";
    CFuzzInput in(data, size);
    const unsigned major = in.Byte() & 15u, minor = in.Byte() & 15u;
    const char item = static_cast<char>(in.Byte());
    const std::string prefix = in.Text();
    const std::string reply = in.Rest();

    // Readers: nothing below their length, never past the end.
    auto flag = dev::ReadFlag(reply);
    VQ5_FUZZ_CHECK(h, flag.has_value() == (reply.size() >= 5), "ReadFlag presence");
    if (flag)
        VQ5_FUZZ_CHECK(h, *flag == (reply[4] == '1'), "ReadFlag value");

    auto constant = dev::ReadConstant(reply);
    VQ5_FUZZ_CHECK(h, constant.has_value() == (reply.size() >= 5), "ReadConstant presence");
    if (constant && IsDeviceHexDigit(reply[4])) {
        const unsigned want = static_cast<unsigned>(HexDigitValue(reply[4]));
        VQ5_FUZZ_CHECK(h, *constant == want, "ReadConstant of a hex digit");
    }

    auto text = dev::ReadText(reply);
    VQ5_FUZZ_CHECK(h, text.has_value() == (reply.size() >= 4), "ReadText presence");
    if (text)
        VQ5_FUZZ_CHECK(h, *text == reply.substr(4), "ReadText value");

    auto counters = dev::ReadCounters(reply);
    if (counters) {
        VQ5_FUZZ_CHECK(h, reply.size() >= 28, "ReadCounters on a short reply");
        if (reply.size() >= 28)
            VQ5_FUZZ_CHECK(h, dev::FormatCounters(*counters) == Upper(reply.substr(4, 24)),
                           "counters round trip");
    } else if (reply.size() >= 28) {
        bool allHex = true;
        for (std::size_t i = 4; i < 28; ++i)
            allHex = allHex && std::isxdigit(static_cast<unsigned char>(reply[i]));
        VQ5_FUZZ_CHECK(h, !allHex, "ReadCounters refused 24 hexadecimal digits");
    }

    const bool matches = dev::ReplyMatches(reply, prefix);
    VQ5_FUZZ_CHECK(h,
                   matches == (reply.compare(0, prefix.size(), prefix) == 0 && reply.size() >= prefix.size()),
                   "ReplyMatches");

    // Gates: the command set and the message layer agree on every well-formed gate.
    const std::string_view stripped = dev::StripGates(reply);
    VQ5_FUZZ_CHECK(h,
                   reply.size() >= stripped.size() &&
                       reply.compare(reply.size() - stripped.size(), stripped.size(), stripped) == 0,
                   "StripGates gives no tail of the text");
    if (reply.size() <= 4)
        VQ5_FUZZ_CHECK(h, stripped.size() == reply.size(), "a short text lost characters to StripGates");
    if (reply.size() >= 5 && Sign(reply[2]) && CleanGates(reply))
        VQ5_FUZZ_CHECK(h, dev::GatePasses(reply, major, minor) == vq5::GatesPass(reply, major, minor),
                       "gate verdicts differ for " + Hex(reply.substr(0, 6)));
    (void)dev::DeviceGate(reply);
    (void)dev::DeviceGate(prefix);
    (void)dev::FindFlag(item);
    (void)dev::FindInfoItem(item);

    // Set forms read back with the readers.
    VQ5_FUZZ_CHECK(h, dev::ReadFlag(dev::SetFlag(item, true)) == std::optional<bool>(true), "SetFlag on");
    VQ5_FUZZ_CHECK(h, dev::ReadFlag(dev::SetFlag(item, false)) == std::optional<bool>(false), "SetFlag off");
    const unsigned value = static_cast<unsigned char>(item);
    auto back = dev::ReadConstant(dev::SetConstant('W', value));
    VQ5_FUZZ_CHECK(h, back && (*back & 15u) == (value & 15u), "SetConstant round trip");
    const std::string gate = prefix.substr(0, 6);
    const std::size_t room = dev::MaxTextLength(gate);
    std::string body = reply.substr(0, room);
    VQ5_FUZZ_CHECK(h, dev::SetText('A', body, gate).size() <= dev::kMaxMessageText,
                   "a text within MaxTextLength overflows a message");

    // Offsets: every offset the device can store reads back as itself.
    const int offset = 10 + static_cast<int>(value % 16);
    const bool fresh = dev::NewOffsetEncoding(major, minor);
    if (fresh || offset >= 16)
        VQ5_FUZZ_CHECK(h,
                       dev::OffsetFromDigit(dev::OffsetDigit(offset, major, minor), major, minor) == offset,
                       "offset " + std::to_string(offset) + " does not read back");
    const int od = dev::OffsetFromDigit(value, major, minor);
    VQ5_FUZZ_CHECK(h, od >= 10 && od <= 31, "offset read outside the digit's reach: " + std::to_string(od));
    return 0;
}

} // namespace vq5::fuzz
