// Tool models started from stored values they cannot show: each takes a sound value at once,
// so no range message comes up before the dialog is even shown, and writes it back.
#include "Emulator.h"
#include "SettingsStore.h"
#include "VL.h"

#include <gtest/gtest.h>

#include <climits>

namespace vq5::emu {
namespace {

struct Stored {
    long long line;
    long long run;

    void WriteTo(CMemoryStore& store) const {
        store.WriteInt("Settings_V2.3", "LijnNr", line);
        store.WriteInt("Settings_V2.3", "RunNr", run);
    }
};

TEST(EmulatorSettings, NumbersOutsideTheFieldsTakeTheirDefaults) {
    const Stored damaged[] = {{-1, 45}, {1000, 0}, {5000, -7}, {INT_MIN, INT_MAX}, {123, 1000}};
    for (const Stored& d : damaged) {
        CMemoryStore store;
        d.WriteTo(store);
        {
            CVL engine(&store);
            CEmulator model(engine, &store);
            EXPECT_GE(model.m_LijnNr, kNumberMin) << d.line;
            EXPECT_LE(model.m_LijnNr, kNumberMax) << d.line;
            EXPECT_GE(model.m_RunNr, kNumberMin) << d.run;
            EXPECT_LE(model.m_RunNr, kNumberMax) << d.run;
            if (d.line < 0 || d.line > 999) {
                EXPECT_EQ(model.m_LijnNr, 123);
            }
            if (d.run < 0 || d.run > 999) {
                EXPECT_EQ(model.m_RunNr, 45);
            }
            // What the engine sends is made from these: three digits each.
            model.PushNumbers();
            EXPECT_EQ(Announcement(engine.m_LineNumber.load(), engine.m_RunNumber.load()).size(), 23u);
        }
        // Written back as shown.
        auto line = store.ReadInt("Settings_V2.3", "LijnNr");
        auto run = store.ReadInt("Settings_V2.3", "RunNr");
        ASSERT_TRUE(line && run);
        EXPECT_TRUE(*line >= 0 && *line <= 999) << *line;
        EXPECT_TRUE(*run >= 0 && *run <= 999) << *run;
    }
}

TEST(EmulatorSettings, NumbersInsideTheFieldsAreKept) {
    const Stored good[] = {{0, 0}, {999, 999}, {7, 12}, {799, 1}};
    for (const Stored& g : good) {
        CMemoryStore store;
        g.WriteTo(store);
        CVL engine(&store);
        CEmulator model(engine, &store);
        EXPECT_EQ(model.m_LijnNr, g.line);
        EXPECT_EQ(model.m_RunNr, g.run);
    }
}

TEST(EmulatorSettings, WrongTypesTakeTheDefaults) {
    CMemoryStore store;
    store.WriteString("Settings_V2.3", "LijnNr", "abc");
    store.WriteString("Settings_V2.3", "RunNr", "12x");
    CVL engine(&store);
    CEmulator model(engine, &store);
    EXPECT_EQ(model.m_LijnNr, 123);
    EXPECT_EQ(model.m_RunNr, 45);
}

} // namespace
} // namespace vq5::emu
