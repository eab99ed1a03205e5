// Harness of the on-board system emulator: its engine's receive path and generated messages,
// the message log lines and the number field checks.
#include "FuzzHarness.h"
#include "FuzzInput.h"
#include "FuzzSupport.h"

#include "Emulator.h"
#include "SettingsStore.h"

#include <cstring>

namespace vq5::fuzz {

// Input: operations; a byte whose value mod 4 picks: a received text (length-prefixed), a
// transmit opportunity, numbers for the engine (two words and a byte), a number field text.
int FuzzEmulatorReplies(const std::uint8_t* data, std::size_t size) {
    static const char* h = "emulator_replies";
    CFuzzInput in(data, size);

    CEngineRig<emu::CVL> rig;
    rig.engine.SetClock([] { return emu::ClockTime{12, 34}; });
    emu::CEmulator model(rig.engine, &rig.store);

    auto drain = [&] {
        for (const Notification& n : rig.sink.Take()) {
            auto line = model.LogLineFor(n);
            if (!line)
                continue;
            VQ5_FUZZ_CHECK(h, line->size() <= emu::kLogLineMax,
                           "log line of " + std::to_string(line->size()));
            const emu::LogEntry entry = emu::SplitLogLine(*line);
            VQ5_FUZZ_CHECK(h, entry.icon >= emu::kIconNone && entry.icon <= 9, "log icon");
        }
    };

    while (in.NextStep()) {
        switch (in.Byte() % 4) {
        case 0: {
            std::string text = in.Text();
            Receive(rig.engine, text);
            if (text == "?")
                VQ5_FUZZ_CHECK(h, rig.engine.m_InquiryPending.load() == 1, "an inquiry was not noted");
            const std::string line = emu::ReceivedLogLine(text);
            VQ5_FUZZ_CHECK(h, line.size() <= emu::kLogLineMax,
                           "received log line of " + std::to_string(line.size()));
            drain();
            break;
        }
        case 1: {
            std::memset(rig.engine.m_Data, 0xA5, sizeof rig.engine.m_Data);
            const int n = rig.engine.TxMessage(rig.engine.m_Data);
            VQ5_FUZZ_CHECK(h, n > 0 && n <= 255, "generated length " + std::to_string(n));
            if (n > 0 && n <= 255) {
                VQ5_FUZZ_CHECK(h, rig.engine.m_Data[n] == 0, "no terminator after the message");
                VQ5_FUZZ_CHECK(h, rig.engine.m_Len == n, "m_Len differs from the length sent");
            }
            drain();
            break;
        }
        case 2: {
            model.m_LijnNr = static_cast<std::int16_t>(in.Word()) * (in.Bool() ? 65536 : 1);
            model.m_RunNr = static_cast<std::int16_t>(in.Word());
            model.m_AutoIncrement = in.Byte() & 1;
            model.PushNumbers();
            model.PushAutoIncrement();
            break;
        }
        case 3: {
            const std::string text = in.Text();
            int value = -12345;
            const auto r = emu::CheckNumberField(text, 0, 999, value);
            if (r == emu::FieldCheck::Ok)
                VQ5_FUZZ_CHECK(h, value >= 0 && value <= 999, "field value " + std::to_string(value));
            (void)emu::FieldCheckMessage(r, 0, 999);
            break;
        }
        }
    }
    return 0;
}

} // namespace vq5::fuzz
