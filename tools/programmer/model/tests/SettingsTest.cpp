// The programmer's values in the settings: keys, first-start defaults, write-back order,
// damaged values, the date stamp, "&Default".
#include "ProgrammerModel.h"

#include <gtest/gtest.h>

#include <memory>

using namespace vq5;
using namespace vq5::programmer;

namespace {

// Records every write in order, on top of a memory store.
class CRecordingStore : public CMemoryStore {
public:
    void WriteInt(const std::string& section, const std::string& key, std::int64_t value) override {
        order.push_back(key);
        CMemoryStore::WriteInt(section, key, value);
    }
    void WriteString(const std::string& section, const std::string& key, const std::string& value) override {
        order.push_back(key);
        CMemoryStore::WriteString(section, key, value);
    }
    std::vector<std::string> order;
};

const char* const kSection = "Settings_V2.3";

} // namespace

TEST(ProgrammerSettings, FirstStartDefaults) {
    CMemoryStore store;
    CProgrammerModel m;
    {
        CProfileSection s(kSection, &store);
        m.Bind(s, "05 March 2024: ");
        const CProgrammerValues& v = m.m_Values;
        EXPECT_EQ(v.m_CheckConfigID, 0);
        EXPECT_EQ(v.m_CheckTransConfig, 0);
        EXPECT_EQ(v.m_ConfigID, "05 March 2024: ");
        for (int i = 0; i < kDataCalls; ++i)
            EXPECT_EQ(v.m_DataCall[i], tsIndeterminate);
        EXPECT_EQ(v.m_DataCallText[0], "&P.1");
        EXPECT_EQ(v.m_DataCallText[1], "&P.2");
        EXPECT_EQ(v.m_DataCallText[2], "&P.3");
        for (int i = 0; i < kFlagCount; ++i)
            EXPECT_EQ(v.m_Flag[i], tsIndeterminate) << FlagRows()[i].key;
        EXPECT_EQ(v.m_Reboot, 0);
        EXPECT_EQ(v.m_Slider[slWindow], 8);
        EXPECT_EQ(v.m_Slider[slMinimal], 7);
        EXPECT_EQ(v.m_Slider[slOffset], 22);
        EXPECT_EQ(v.m_Slider[slStable], 10);
    }
    // Written back at destruction under the keys settings files of earlier versions use.
    EXPECT_EQ(store.ReadInt(kSection, "TransConfigSliderOffset2"), 22);
    EXPECT_EQ(store.ReadInt(kSection, "FlagCrearEeprom"), 2);
    EXPECT_EQ(store.ReadString(kSection, "ConfigID"), "05 March 2024: ");
    EXPECT_FALSE(store.Has(kSection, "TransConfigSliderOffset"));
}

TEST(ProgrammerSettings, WriteBackInBindingOrder) {
    CRecordingStore store;
    {
        CProgrammerModel m;
        CProfileSection s(kSection, &store);
        m.Bind(s, "x");
    }
    const std::vector<std::string> expected = {"CheckConfigID",
                                               "CheckTransConfig",
                                               "ConfigID",
                                               "ButtonDataCall1",
                                               "ButtonDataCall2",
                                               "ButtonDataCall3",
                                               "EditDataCall1",
                                               "EditDataCall2",
                                               "EditDataCall3",
                                               "FlagCrearEeprom",
                                               "FlagStreekvervoer",
                                               "FlagOpenbaarvervoer",
                                               "FlagVertaalLijnnummers",
                                               "FlagMaxRunnummer",
                                               "FlagVetag19GPKey",
                                               "FlagSelftestAfterReboot",
                                               "FlagParalelleTransponder",
                                               "FlagReadyToGo",
                                               "FlagDoorLussen",
                                               "FlagStadTramOrBus",
                                               "FlagStadCAT1",
                                               "FlagStadCAT2",
                                               "RebootAfterProgramming",
                                               "TransConfigSliderMinimal",
                                               "TransConfigSliderStable",
                                               "TransConfigSliderOffset2",
                                               "TransConfigSliderWindow"};
    EXPECT_EQ(store.order, expected);
    EXPECT_EQ(AllKeys(), expected);
}

TEST(ProgrammerSettings, RoundTripThroughTheStore) {
    CMemoryStore store;
    {
        CProgrammerModel m;
        CProfileSection s(kSection, &store);
        m.Bind(s, "x");
        m.m_Values.m_CheckConfigID = 1;
        m.m_Values.m_ConfigID = "12 May 2023: bus 41";
        m.m_Values.m_DataCall[1] = tsOn;
        m.m_Values.m_DataCallText[1] = "&P.9 boot";
        m.m_Values.m_Flag[fReadyToGo] = tsOff;
        m.m_Values.m_Flag[fStadCAT2] = tsOn;
        m.m_Values.m_Slider[slOffset] = 11;
        m.m_Values.m_Slider[slWindow] = 15;
        m.m_Values.m_Reboot = 1;
    }
    CProgrammerModel again;
    CProfileSection s(kSection, &store);
    again.Bind(s, "never used");
    EXPECT_EQ(again.m_Values.m_CheckConfigID, 1);
    EXPECT_EQ(again.m_Values.m_ConfigID, "12 May 2023: bus 41");
    EXPECT_EQ(again.m_Values.m_DataCall[1], tsOn);
    EXPECT_EQ(again.m_Values.m_DataCallText[1], "&P.9 boot");
    EXPECT_EQ(again.m_Values.m_Flag[fReadyToGo], tsOff);
    EXPECT_EQ(again.m_Values.m_Flag[fStadCAT2], tsOn);
    EXPECT_EQ(again.m_Values.m_Flag[fStadCAT1], tsIndeterminate);
    EXPECT_EQ(again.m_Values.m_Slider[slOffset], 11);
    EXPECT_EQ(again.m_Values.m_Slider[slWindow], 15);
    EXPECT_EQ(again.m_Values.m_Reboot, 1);
}

TEST(ProgrammerSettings, DamagedValuesAreMadeSafe) {
    CMemoryStore store;
    store.WriteInt(kSection, "FlagStreekvervoer", 7);        // not a tri-state
    store.WriteInt(kSection, "ButtonDataCall2", -1);         // not a tri-state
    store.WriteInt(kSection, "CheckConfigID", 5);            // not a check box value
    store.WriteInt(kSection, "TransConfigSliderOffset2", 3); // below 10
    store.WriteInt(kSection, "TransConfigSliderWindow", 99);
    store.WriteString(kSection, "FlagOpenbaarvervoer", "one"); // wrong type reads as absent
    store.WriteInt(kSection, "FlagMaxRunnummer", 1);
    CProgrammerModel m;
    CProfileSection s(kSection, &store);
    m.Bind(s, "x");
    EXPECT_EQ(m.m_Values.m_Flag[fStreekvervoer], tsIndeterminate); // never written by "&To"
    EXPECT_EQ(m.m_Values.m_DataCall[1], tsIndeterminate);
    EXPECT_EQ(m.m_Values.m_CheckConfigID, 0);
    EXPECT_EQ(m.m_Values.m_Slider[slOffset], 22);
    EXPECT_EQ(m.m_Values.m_Slider[slWindow], 8);
    EXPECT_EQ(m.m_Values.m_Flag[fOpenbaarVervoer], tsIndeterminate);
    EXPECT_EQ(m.m_Values.m_Flag[fMaxRunnummer], tsOn); // sound values stay
    EXPECT_TRUE(m.RangeCheck().empty());
}

TEST(ProgrammerSettings, MinimalAboveWindowInTheStoreIsCoupled) {
    CMemoryStore store;
    store.WriteInt(kSection, "TransConfigSliderWindow", 4);
    store.WriteInt(kSection, "TransConfigSliderMinimal", 9);
    CProgrammerModel m;
    CProfileSection s(kSection, &store);
    m.Bind(s, "x");
    EXPECT_EQ(m.m_Values.m_Slider[slWindow], 4);
    EXPECT_EQ(m.m_Values.m_Slider[slMinimal], 4);
}

TEST(ProgrammerSettings, DateStampFormat) {
    std::tm t{};
    t.tm_year = 2024 - 1900;
    t.tm_mon = 2;
    t.tm_mday = 5;
    EXPECT_EQ(DateStamp(t), "05 March 2024: ");
    t.tm_mon = 11;
    t.tm_mday = 31;
    t.tm_year = 1999 - 1900;
    EXPECT_EQ(DateStamp(t), "31 December 1999: ");
    const std::string now = DateStampNow();
    ASSERT_GE(now.size(), 14u);
    EXPECT_EQ(now.substr(now.size() - 2), ": ");
    EXPECT_TRUE(now[0] >= '0' && now[0] <= '3');
    EXPECT_EQ(now[2], ' ');
}

TEST(ProgrammerSettings, DefaultButtonDiffersFromFirstStartInTheOffset) {
    CMemoryStore store;
    CProgrammerModel m;
    CProfileSection s(kSection, &store);
    m.Bind(s, "first: ");
    EXPECT_EQ(m.m_Values.m_Slider[slOffset], 22);
    m.m_Values.m_CheckConfigID = 1;
    m.m_Values.m_CheckTransConfig = 1;
    m.m_Values.m_Flag[fDoorLussen] = tsOn;
    m.m_Values.m_DataCall[0] = tsOff;
    m.m_Values.m_DataCallText[2] = "changed";
    m.m_Values.m_Reboot = 1;
    m.m_Values.m_Slider = {3, 3, 20, 1};
    m.LoadDefaults("02 January 2025: ");
    CProgrammerValues expected;
    expected.m_ConfigID = "02 January 2025: ";
    expected.m_Slider = {8, 7, 15, 10};
    EXPECT_EQ(m.m_Values, expected);
}

TEST(ProgrammerSettings, SliderLabelsAndCoupling) {
    CProgrammerModel m;
    m.m_Values.m_Slider = {8, 7, 22, 10};
    EXPECT_EQ(m.SliderLabel(slWindow), "Window 192 ms");
    EXPECT_EQ(m.SliderLabel(slMinimal), "Minimaal 7");
    EXPECT_EQ(m.SliderLabel(slOffset), "Offset 22 ms");
    EXPECT_EQ(m.SliderLabel(slStable), "Stable 1000 ms");

    // Window to 3 while Minimal is 7: Minimal follows to 3.
    m.m_Values.m_Slider[slWindow] = 3;
    m.SliderChanged(slWindow);
    EXPECT_EQ(m.m_Values.m_Slider[slMinimal], 3);
    EXPECT_EQ(m.m_Values.m_Slider[slWindow], 3);
    EXPECT_EQ(m.SliderLabel(slWindow), "Window 72 ms");

    // Minimal to 12 while Window is 8: Window follows to 12.
    m.m_Values.m_Slider[slWindow] = 8;
    m.m_Values.m_Slider[slMinimal] = 12;
    m.SliderChanged(slMinimal);
    EXPECT_EQ(m.m_Values.m_Slider[slWindow], 12);
    EXPECT_EQ(m.m_Values.m_Slider[slMinimal], 12);

    // Moves that keep Minimal below Window touch nothing else.
    m.m_Values.m_Slider = {10, 4, 22, 10};
    m.SliderChanged(slWindow);
    m.SliderChanged(slMinimal);
    m.SliderChanged(slOffset);
    EXPECT_EQ(m.m_Values.m_Slider, (std::array<int, 4>{10, 4, 22, 10}));
    m.m_Values.m_Slider[slStable] = 15;
    EXPECT_EQ(m.SliderLabel(slStable), "Stable 1500 ms");
    m.m_Values.m_Slider[slWindow] = 15;
    EXPECT_EQ(m.SliderLabel(slWindow), "Window 360 ms");
}

TEST(ProgrammerSettings, RangeCheckNamesTheSlider) {
    CProgrammerModel m;
    m.m_Values.m_Slider[slOffset] = 32;
    const std::string e = m.RangeCheck();
    EXPECT_NE(e.find("Offset"), std::string::npos);
    EXPECT_NE(e.find("10 and 31"), std::string::npos);
    m.m_Values.m_Slider[slOffset] = 31; // held by a device before 8.2
    EXPECT_EQ(m.RangeCheck(), "");
    m.m_Values.m_Slider[slStable] = 0;
    EXPECT_NE(m.RangeCheck().find("Stable"), std::string::npos);
}
