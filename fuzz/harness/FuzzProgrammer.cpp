// Harnesses of the programmer: its reply parser and its configuration file reader.
#include "FuzzHarness.h"
#include "FuzzInput.h"
#include "FuzzSupport.h"

#include "ConfigFile.h"
#include "SettingsStore.h"
#include "VLPEngine.h"

namespace vq5::fuzz {

namespace prg = vq5::programmer;

namespace {

// Only printable ASCII in messages of at most 99 characters ever leaves the programmer.
void CheckSequence(const char* h, const prg::CSequence& seq, const std::string& context) {
    for (const std::string& t : seq.texts) {
        VQ5_FUZZ_CHECK(h, t.size() <= prg::kMessageLimit, context + " text of " + std::to_string(t.size()));
        for (unsigned char c : t)
            VQ5_FUZZ_CHECK(h, c >= 0x20 && c <= 0x7E, context + " unprintable byte in " + Hex(t));
    }
}

void CheckTriStates(const char* h, const prg::CProgrammerValues& v) {
    for (int x : v.m_DataCall)
        VQ5_FUZZ_CHECK(h, x >= prg::tsOff && x <= prg::tsIndeterminate,
                       "datacall tri-state " + std::to_string(x));
    for (int x : v.m_Flag)
        VQ5_FUZZ_CHECK(h, x >= prg::tsOff && x <= prg::tsIndeterminate,
                       "flag tri-state " + std::to_string(x));
}

} // namespace

// Input: flags (bit 0 expert mode), then records: a byte picking the notification (received
// text through the message layer, queue empty, a busy start), and a length-prefixed text.
// The replies reach the model as the engine's notifications do, in order.
int FuzzProgrammerReplies(const std::uint8_t* data, std::size_t size) {
    static const char* h = "programmer_replies";
    CFuzzInput in(data, size);
    const std::uint8_t flags = in.Byte();

    CEngineRig<CVLPEngine> rig;
    prg::CProgrammerModel model;
    model.m_Expert = (flags & 1) != 0;

    while (in.NextStep()) {
        const int op = in.Byte() % 4;
        if (op == 0 || op == 3) {
            std::string text = in.Text();
            Receive(rig.engine, text);
        } else if (op == 1) {
            rig.sink.Post({nkQueueEmpty, 0, {}});
        } else {
            model.SetBusy(true);
        }
        for (const Notification& n : rig.sink.Take()) {
            prg::CNotifyOutcome out = model.OnNotification(n);
            if (n.kind == nkQueueEmpty)
                VQ5_FUZZ_CHECK(h, out.becameIdle && !model.Busy(), "queue empty left the model busy");
            if (out.parse.slider >= 0)
                VQ5_FUZZ_CHECK(h, out.parse.slider < prg::kSliderCount, "slider index");
            if (out.parse.dataCall >= 0)
                VQ5_FUZZ_CHECK(h, out.parse.dataCall < prg::kDataCalls, "datacall index");
        }
        // The model follows the device exactly as the message layer does.
        VQ5_FUZZ_CHECK(h, model.m_Device.letter == rig.engine.DeviceLetter(),
                       "device letter differs from the engine's");
        VQ5_FUZZ_CHECK(h,
                       model.m_Device.major == rig.engine.VersionMajor() &&
                           model.m_Device.minor == rig.engine.VersionMinor(),
                       "device version differs from the engine's");
        CheckTriStates(h, model.m_Values);
    }

    // Whatever the replies set, the write sequence stays within what a message can carry.
    std::string error;
    (void)model.RangeCheck();
    if (auto seq = model.WriteSequence(error))
        CheckSequence(h, *seq, "WriteSequence");
    prg::CWriteSelection all;
    all.identifier = true;
    all.filter.fill(true);
    if (auto seq = model.WriteSequence(all, error))
        CheckSequence(h, *seq, "WriteSequence(all)");
    for (int s = 0; s < prg::kSliderCount; ++s)
        (void)model.SliderLabel(static_cast<prg::Slider>(s));
    return 0;
}

// Input: the file text. A file that reads is turned into values; those values written out
// again read back to the same values.
int FuzzProgrammerConfigFile(const std::uint8_t* data, std::size_t size) {
    static const char* h = "programmer_config";
    const std::string text(reinterpret_cast<const char*>(data), size);

    // Escaping: every text survives a round trip.
    auto back = prg::UnescapeValue(prg::EscapeValue(text));
    VQ5_FUZZ_CHECK(h, back && *back == text, "escape round trip");

    std::string error;
    auto file = prg::ParseConfigFile(text, error);
    if (!file) {
        VQ5_FUZZ_CHECK(h, !error.empty(), "a refused file without a reason");
        return 0;
    }
    for (const auto& [key, value] : file->entries) {
        VQ5_FUZZ_CHECK(h, prg::ValueText(prg::CProgrammerValues{}, key).has_value(),
                       "unknown key accepted: " + key);
        VQ5_FUZZ_CHECK(h, file->Find(key) != nullptr, "Find misses " + key);
    }
    auto write = prg::FileToWrite(*file, error);
    if (!write)
        return 0;
    CheckTriStates(h, write->values);

    prg::CProgrammerModel model;
    model.m_Values = write->values;
    VQ5_FUZZ_CHECK(h, model.RangeCheck().empty(), "file values outside their ranges: " + model.RangeCheck());
    if (auto seq = model.WriteSequence(write->selection, error))
        CheckSequence(h, *seq, "file WriteSequence");

    const std::string again = prg::FormatConfigFile(write->values, prg::AllKeys(), {"round trip"});
    auto file2 = prg::ParseConfigFile(again, error);
    VQ5_FUZZ_CHECK(h, file2.has_value(), "written file does not read: " + error);
    if (!file2)
        return 0;
    for (const std::string& key : prg::AllKeys()) {
        const std::string* v = file2->Find(key);
        VQ5_FUZZ_CHECK(h, v && *v == *prg::ValueText(write->values, key),
                       "value of " + key + " changed on the way");
    }
    if (auto write2 = prg::FileToWrite(*file2, error))
        VQ5_FUZZ_CHECK(h, write2->values == write->values, "values changed on a round trip");
    return 0;
}

} // namespace vq5::fuzz
