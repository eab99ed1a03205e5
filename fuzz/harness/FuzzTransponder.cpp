// Harness of the transponder filter tool's reply reading and version following.
#include "FuzzHarness.h"
#include "FuzzInput.h"
#include "FuzzSupport.h"

#include "SettingsStore.h"
#include "TransponderModel.h"
#include "VLPEngine.h"

namespace vq5::fuzz {

namespace {
void CheckRanges(const char* h, const tct::CTransponderModel& m, const std::string& context) {
    for (int i = 0; i < tct::kSettingCount; ++i) {
        const auto s = static_cast<tct::Setting>(i);
        const tct::SettingRange r = tct::HeldRangeOf(s);
        VQ5_FUZZ_CHECK(h, m.Value(s) >= r.lo && m.Value(s) <= r.hi,
                       context + " setting " + std::to_string(i) + " = " + std::to_string(m.Value(s)));
    }
    VQ5_FUZZ_CHECK(h, m.m_Minimal <= m.m_Window, context + " Minimal above Window");
}
} // namespace

// Input: records of a length-prefixed received text. Each goes through the message layer;
// its notifications reach the version tracker and the model as they reach the dialog.
int FuzzTransponderReplies(const std::uint8_t* data, std::size_t size) {
    static const char* h = "transponder_replies";
    CFuzzInput in(data, size);

    CEngineRig<CVLPEngine> rig;
    tct::CTransponderModel model;
    tct::CVersionTracker tracker;

    while (in.NextStep()) {
        std::string text = in.Text();
        Receive(rig.engine, text);
        for (const Notification& n : rig.sink.Take()) {
            tracker.OnNotification(n);
            if (n.kind != nkReceived)
                continue;
            const int before[4] = {model.m_Window, model.m_Minimal, model.m_Offset, model.m_Stable};
            auto r =
                model.ParseReply(n.text, rig.engine.AddressCommand("&PK"), tracker.Major(), tracker.Minor());
            if (r.effect == tct::CTransponderModel::ReplyEffect::None) {
                const int after[4] = {model.m_Window, model.m_Minimal, model.m_Offset, model.m_Stable};
                VQ5_FUZZ_CHECK(h, std::equal(before, before + 4, after),
                               "a reply that is no filter reply changed a value");
            }
            if (r.effect == tct::CTransponderModel::ReplyEffect::Changed)
                CheckRanges(h, model, "reply " + Hex(n.text));
            for (tct::Setting s : r.texts) {
                (void)model.FrameTitle(s);
                (void)model.ReadOut(s);
            }
        }
        // The tracker reads the version as the message layer does.
        VQ5_FUZZ_CHECK(
            h, tracker.Major() == rig.engine.VersionMajor() && tracker.Minor() == rig.engine.VersionMinor(),
            "tracked version differs from the engine's after " + Hex(text));
    }
    for (const std::string& t : model.SaveTexts())
        VQ5_FUZZ_CHECK(h, t.size() <= 99, "save text of " + std::to_string(t.size()));
    return 0;
}

} // namespace vq5::fuzz
