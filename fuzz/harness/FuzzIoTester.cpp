// Harness of the I/O tester: its engine's polls and the reading of the line replies.
#include "FuzzHarness.h"
#include "FuzzInput.h"
#include "FuzzSupport.h"

#include "IoTester.h"
#include "SettingsStore.h"

#include <cstring>

namespace vq5::fuzz {

namespace {
bool DigitOk(char c) {
    return c == '-' || (c >= '0' && c <= '?');
}
} // namespace

// Input: operations; a byte whose value mod 4 picks: a received text (length-prefixed), the
// two check boxes (one byte), a transmit opportunity, a line and run number to encode and
// decode (two bytes).
int FuzzIoTesterReplies(const std::uint8_t* data, std::size_t size) {
    static const char* h = "io_tester_replies";
    CFuzzInput in(data, size);

    CEngineRig<io::CVLP> rig;
    io::CIoTester tester(rig.engine, &rig.store);

    while (in.NextStep()) {
        switch (in.Byte() % 4) {
        case 0: {
            std::string text = in.Text();
            Receive(rig.engine, text);
            for (const Notification& n : rig.sink.Take()) {
                if (n.kind != nkReceived)
                    continue;
                const auto change = tester.HandleReceived(n.text);
                if (change == io::CIoTester::kOutputs) {
                    const std::string value = n.text.substr(4);
                    const io::NumberDigits d = io::DecodeNumbers(value);
                    VQ5_FUZZ_CHECK(h, tester.LineText() == io::LineNumberText(d),
                                   "line text " + tester.LineText());
                    VQ5_FUZZ_CHECK(h, tester.RunText() == io::RunNumberText(d),
                                   "run text " + tester.RunText());
                    VQ5_FUZZ_CHECK(h, tester.LastOutputs() == value.substr(0, io::kOutputCount),
                                   "last outputs");
                    for (char c : d.line)
                        VQ5_FUZZ_CHECK(h, DigitOk(c), std::string("line digit ") + c);
                    for (char c : d.run)
                        VQ5_FUZZ_CHECK(h, DigitOk(c), std::string("run digit ") + c);
                }
                if (change == io::CIoTester::kInputs)
                    VQ5_FUZZ_CHECK(h, tester.LastInputs() == n.text.substr(4, io::kInputCount),
                                   "last inputs");
                if (change == io::CIoTester::kNothing) {
                    (void)tester.LineText();
                }
            }
            break;
        }
        case 1: {
            const std::uint8_t b = in.Byte();
            tester.SetShowInputs(b & 1);
            tester.SetShowOutputs(b & 2);
            for (std::size_t i = 0; i < io::kInputCount; ++i)
                VQ5_FUZZ_CHECK(h, (tester.InputLamp(i) == io::LampState::Disabled) == !(b & 1),
                               "input lamp state");
            break;
        }
        case 2: {
            std::memset(rig.engine.m_Data, 0xA5, sizeof rig.engine.m_Data);
            const int n = rig.engine.TxMessage(rig.engine.m_Data);
            VQ5_FUZZ_CHECK(h, n >= 0 && n <= 255, "TxMessage length " + std::to_string(n));
            if (n > 0 && n <= 255)
                VQ5_FUZZ_CHECK(h, rig.engine.m_Data[n] == 0, "no terminator after the poll");
            const bool anyPoll = rig.engine.m_PollInputs.load() || rig.engine.m_PollOutputs.load();
            if (rig.engine.QueueLength() == 0 && anyPoll)
                VQ5_FUZZ_CHECK(h, n == 4,
                               "an empty queue with a poll on sent " + std::to_string(n) + " characters");
            rig.sink.Take();
            break;
        }
        case 3: {
            const int line = in.Word() % 400, run = in.Byte() % 80;
            const io::NumberDigits d = io::DecodeNumbers(io::EncodeOutputs(line, run, false, false));
            char want[6];
            std::snprintf(want, sizeof want, "%03d%02d", line, run);
            const std::string got{d.line[0], d.line[1], d.line[2], d.run[0], d.run[1]};
            VQ5_FUZZ_CHECK(h, got == want, "numbers " + got + ", expected " + want);
            break;
        }
        }
    }
    return 0;
}

} // namespace vq5::fuzz
