// CProfileSection: binding reads at once (default when absent or unusable), write-back at
// destruction in binding order, custom records saved once.
#include "ProfileSection.h"
#include "SettingsStore.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include <limits>

namespace vq5 {
namespace {

// A memory store that also logs every write, in order.
class CLoggingStore : public CMemoryStore {
public:
    void WriteInt(const std::string& section, const std::string& key, std::int64_t value) override {
        m_Log.push_back(section + "/" + key + "=" + std::to_string(value));
        CMemoryStore::WriteInt(section, key, value);
    }
    void WriteString(const std::string& section, const std::string& key, const std::string& value) override {
        m_Log.push_back(section + "/" + key + "='" + value + "'");
        CMemoryStore::WriteString(section, key, value);
    }
    std::vector<std::string> m_Log;
};

TEST(ProfileSection, FirstRunTakesDefaultsAndWritesAll) {
    CLoggingStore store;
    int i = -5;
    unsigned u = 7;
    std::string s = "x";
    std::string none = "y";
    {
        CProfileSection section("Settings_V2.3", &store);
        section.BindInt(i, "Count", 42);
        section.BindUInt(u, "Timeout", 2000);
        section.BindString(s, "ComPort", "COM1");
        section.BindString(none, "Empty");
        EXPECT_EQ(i, 42);
        EXPECT_EQ(u, 2000u);
        EXPECT_EQ(s, "COM1");
        EXPECT_EQ(none, "");
        EXPECT_TRUE(store.m_Log.empty()); // nothing is written before destruction
    }
    std::vector<std::string> want = {"Settings_V2.3/Count=42", "Settings_V2.3/Timeout=2000",
                                     "Settings_V2.3/ComPort='COM1'", "Settings_V2.3/Empty=''"};
    EXPECT_EQ(store.m_Log, want);
}

TEST(ProfileSection, StoredValuesAreReadAndOnlyTheLastValueIsWritten) {
    CLoggingStore store;
    store.CMemoryStore::WriteInt("S", "A", -3);
    store.CMemoryStore::WriteInt("S", "B", 4000000000LL);
    store.CMemoryStore::WriteString("S", "C", "hello");
    int a = 0;
    unsigned b = 0;
    std::string c;
    {
        CProfileSection section("S", &store);
        section.BindInt(a, "A", 1);
        section.BindUInt(b, "B", 1);
        section.BindString(c, "C", "d");
        EXPECT_EQ(a, -3);
        EXPECT_EQ(b, 4000000000u);
        EXPECT_EQ(c, "hello");
        a = 10;
        a = 11;
        c = "bye";
    }
    std::vector<std::string> want = {"S/A=11", "S/B=4000000000", "S/C='bye'"};
    EXPECT_EQ(store.m_Log, want);
}

TEST(ProfileSection, WriteBackFollowsBindingOrder) {
    CLoggingStore store;
    int z = 0, a = 0;
    std::string m;
    int tag = 0;
    {
        CProfileSection section("S", &store);
        section.BindInt(z, "Z", 1);
        section.BindCustom(&tag, "Custom_",
                           [](CProfileSection& s, const std::string& key) { s.WriteInt(key + "x", 9); });
        section.BindString(m, "M", "m");
        section.BindInt(a, "A", 2);
    }
    std::vector<std::string> want = {"S/Z=1", "S/Custom_x=9", "S/M='m'", "S/A=2"};
    EXPECT_EQ(store.m_Log, want);
}

TEST(ProfileSection, WrongTypedValuesTakeTheDefault) {
    CMemoryStore store;
    store.WriteString("S", "IntText", "abc");
    store.WriteString("S", "IntTail", "12x");
    store.WriteString("S", "IntEmpty", "");
    store.WriteInt("S", "IntHuge", 1LL << 40);
    store.WriteInt("S", "UIntNegative", -1);
    store.WriteInt("S", "UIntHuge", 1LL << 33);
    store.WriteInt("S", "UIntMax", std::numeric_limits<unsigned>::max());
    store.WriteInt("S", "IntMin", std::numeric_limits<int>::min());
    int i1 = 0, i2 = 0, i3 = 0, i4 = 0, i5 = 0;
    unsigned u1 = 0, u2 = 0, u3 = 0;
    std::string text;
    CProfileSection section("S", &store);
    section.BindInt(i1, "IntText", 5);
    section.BindInt(i2, "IntTail", 6);
    section.BindInt(i3, "IntEmpty", 7);
    section.BindInt(i4, "IntHuge", 8);
    section.BindInt(i5, "IntMin", 9);
    section.BindUInt(u1, "UIntNegative", 10);
    section.BindUInt(u2, "UIntHuge", 11);
    section.BindUInt(u3, "UIntMax", 12);
    section.BindString(text, "IntHuge", "d"); // a number read as text is its digits
    EXPECT_EQ(i1, 5);
    EXPECT_EQ(i2, 6);
    EXPECT_EQ(i3, 7);
    EXPECT_EQ(i4, 8);
    EXPECT_EQ(i5, std::numeric_limits<int>::min());
    EXPECT_EQ(u1, 10u);
    EXPECT_EQ(u2, 11u);
    EXPECT_EQ(u3, std::numeric_limits<unsigned>::max());
    EXPECT_EQ(text, std::to_string(1LL << 40));
}

TEST(ProfileSection, CustomRecordIsSavedOnce) {
    CLoggingStore store;
    int tag = 0, other = 0;
    int calls = 0;
    {
        CProfileSection section("VLPLogWnd", &store);
        section.BindCustom(&tag, "logWnd_", [&](CProfileSection& s, const std::string& key) {
            ++calls;
            s.WriteInt(key + "flags", 0);
        });
        section.BindCustom(&other, "other_",
                           [&](CProfileSection& s, const std::string& key) { s.WriteInt(key + "v", 1); });
        EXPECT_TRUE(section.HasRecord(&tag));
        EXPECT_TRUE(section.WriteBackAndRemove(&tag)); // the window goes: saved now
        EXPECT_EQ(calls, 1);
        EXPECT_FALSE(section.HasRecord(&tag));
        EXPECT_FALSE(section.WriteBackAndRemove(&tag));
        EXPECT_FALSE(section.HasRecord(&calls)); // never bound
    }
    EXPECT_EQ(calls, 1); // not again at destruction
    std::vector<std::string> want = {"VLPLogWnd/logWnd_flags=0", "VLPLogWnd/other_v=1"};
    EXPECT_EQ(store.m_Log, want);
}

TEST(ProfileSection, DirectReadsAndWrites) {
    CMemoryStore store;
    CProfileSection section("P", &store);
    EXPECT_FALSE(section.ReadInt("x").has_value());
    section.WriteInt("x", -12);
    section.WriteString("y", "text");
    EXPECT_EQ(section.ReadInt("x"), -12);
    EXPECT_EQ(section.ReadString("y"), "text");
    EXPECT_FALSE(section.ReadInt("y").has_value());
    EXPECT_EQ(section.Name(), "P");
    EXPECT_EQ(&section.Store(), &store);
}

TEST(ProfileSection, LiveSectionsInCreationOrder) {
    CMemoryStore store;
    auto before = CProfileSection::LiveSections().size();
    auto first = std::make_unique<CProfileSection>("A", &store);
    auto second = std::make_unique<CProfileSection>("B", &store);
    const auto& live = CProfileSection::LiveSections();
    ASSERT_EQ(live.size(), before + 2);
    EXPECT_EQ(live[before], first.get());
    EXPECT_EQ(live[before + 1], second.get());
    first.reset();
    ASSERT_EQ(CProfileSection::LiveSections().size(), before + 1);
    EXPECT_EQ(CProfileSection::LiveSections()[before], second.get());
    second.reset();
    EXPECT_EQ(CProfileSection::LiveSections().size(), before);
}

// The command line builds one engine per port, each on its own thread.
TEST(ProfileSection, SectionsMadeOnSeveralThreadsAtOnce) {
    CMemoryStore store;
    const auto before = CProfileSection::LiveSections().size();
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&store] {
            for (int i = 0; i < 200; ++i) {
                CProfileSection a("A", &store), b("B", &store);
                EXPECT_GE(CProfileSection::LiveSections().size(), 2u);
            }
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(CProfileSection::LiveSections().size(), before);
}

TEST(ProfileSection, DefaultStoreServesWithoutOne) {
    CMemoryStore mine;
    SetDefaultSettingsStore(&mine);
    {
        int v = 0;
        CProfileSection section("D");
        section.BindInt(v, "V", 3);
        v = 4;
    }
    SetDefaultSettingsStore(nullptr);
    EXPECT_EQ(mine.ReadInt("D", "V"), 4);
    EXPECT_NE(&DefaultSettingsStore(), &mine);
}

TEST(MemoryStore, SnapshotReplaceHas) {
    CMemoryStore store;
    store.WriteInt("S", "a", 1);
    store.WriteString("T", "b", "x");
    EXPECT_TRUE(store.Has("S", "a"));
    EXPECT_FALSE(store.Has("S", "b"));
    EXPECT_FALSE(store.Has("U", "a"));
    auto snap = store.Snapshot();
    EXPECT_EQ(snap["S"]["a"], "1");
    EXPECT_EQ(snap["T"]["b"], "x");
    CMemoryStore other;
    other.Replace(snap);
    EXPECT_EQ(other.ReadInt("S", "a"), 1);
    EXPECT_EQ(other.ReadString("T", "b"), "x");
    EXPECT_FALSE(other.ReadInt("T", "b").has_value());
    EXPECT_FALSE(other.ReadString("T", "c").has_value());
}

} // namespace
} // namespace vq5
