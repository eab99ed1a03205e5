// Configuration files of `vq5 config`: escaping, parsing, and which keys a file writes.
#include "ConfigFile.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

using namespace vq5;
using namespace vq5::programmer;

TEST(ProgrammerConfigFile, EscapingRoundTrips) {
    for (const std::string& s : {std::string("05 March 2024: "), std::string("a\\b"),
                                 std::string("\x01\x7F\xFF"), std::string("x=y;z#[w]"), std::string()}) {
        const std::string e = EscapeValue(s);
        for (char c : e)
            EXPECT_TRUE(c >= 0x20 && c <= 0x7E);
        EXPECT_EQ(UnescapeValue(e), s);
    }
    EXPECT_EQ(EscapeValue("a\\b\n"), "a\\\\b\\x0A");
    EXPECT_FALSE(UnescapeValue("bad\\"));
    EXPECT_FALSE(UnescapeValue("bad\\q"));
    EXPECT_FALSE(UnescapeValue("bad\\x4"));
    EXPECT_FALSE(UnescapeValue("bad\\xZZ"));
    EXPECT_EQ(UnescapeValue("\\x41\\x62"), "Ab");
}

TEST(ProgrammerConfigFile, FormatThenParse) {
    CProgrammerValues v;
    v.m_ConfigID = "05 March 2024: bus\\7 ";
    v.m_Flag[fStreekvervoer] = tsOn;
    v.m_Slider = {9, 4, 11, 3};
    const std::vector<std::string> keys = {"TransConfigSliderWindow", "ConfigID", "FlagStreekvervoer",
                                           "TransConfigSliderOffset2"};
    const std::string text = FormatConfigFile(v, keys, {"VQ-5 (87) line\nbreak"});
    EXPECT_EQ(text, "; VQ-5 (87) line\\x0Abreak\n"
                    "ConfigID=05 March 2024: bus\\\\7 \n"
                    "FlagStreekvervoer=1\n"
                    "TransConfigSliderOffset2=11\n"
                    "TransConfigSliderWindow=9\n");
    std::string error;
    const auto file = ParseConfigFile(text, error);
    ASSERT_TRUE(file) << error;
    ASSERT_EQ(file->entries.size(), 4u);
    EXPECT_EQ(*file->Find("ConfigID"), "05 March 2024: bus\\7 "); // trailing space kept
    EXPECT_EQ(*file->Find("TransConfigSliderWindow"), "9");
    EXPECT_EQ(file->Find("FlagOpenbaarvervoer"), nullptr);
}

TEST(ProgrammerConfigFile, ParseErrorsNameTheLine) {
    std::string error;
    EXPECT_FALSE(ParseConfigFile("FlagStreekvervoer=1\nFlagStreekVervoer=1\n", error));
    EXPECT_NE(error.find("line 2"), std::string::npos);
    EXPECT_NE(error.find("FlagStreekVervoer"), std::string::npos);
    EXPECT_FALSE(ParseConfigFile("FlagStreekvervoer=1\nFlagStreekvervoer=0\n", error));
    EXPECT_NE(error.find("twice"), std::string::npos);
    EXPECT_FALSE(ParseConfigFile("\n\njust text\n", error));
    EXPECT_NE(error.find("line 3"), std::string::npos);
    EXPECT_FALSE(ParseConfigFile("ConfigID=a\\q\n", error));
    // Comments, sections, blank lines, CRLF and a missing final newline are fine.
    const auto ok =
        ParseConfigFile("; c\r\n# c\r\n[Settings_V2.3]\r\n\r\n  FlagMaxRunnummer = 0 \r\nConfigID=x", error);
    ASSERT_TRUE(ok) << error;
    EXPECT_EQ(*ok->Find("FlagMaxRunnummer"), "0");
    EXPECT_EQ(*ok->Find("ConfigID"), "x");
}

// A file turned into the programmer's write: what is sent, what --verify compares, the notes.
struct FileWriteRow {
    const char* name;
    const char* file;
    std::vector<std::string> texts;
    bool reboot;
    std::optional<std::vector<std::string>> compared; // nullopt: not looked at
    std::size_t notes;
    const char* noteNames; // "" or a key the first note names
};

class ProgrammerConfigFileWrites : public ::testing::TestWithParam<FileWriteRow> {};

TEST_P(ProgrammerConfigFileWrites, SequenceComparedAndNotes) {
    const FileWriteRow& row = GetParam();
    std::string error;
    const auto file = ParseConfigFile(row.file, error);
    ASSERT_TRUE(file) << error;
    const auto w = FileToWrite(*file, error);
    ASSERT_TRUE(w) << error;
    CProgrammerModel m;
    m.m_Values = w->values;
    const auto seq = m.WriteSequence(w->selection, error);
    ASSERT_TRUE(seq) << error;
    EXPECT_EQ(seq->texts, row.texts);
    EXPECT_EQ(seq->reboot, row.reboot);
    if (row.compared) {
        EXPECT_EQ(w->compared, *row.compared);
    }
    ASSERT_EQ(w->notes.size(), row.notes);
    if (*row.noteNames) {
        EXPECT_NE(w->notes[0].find(row.noteNames), std::string::npos) << w->notes[0];
    }
}

INSTANTIATE_TEST_SUITE_P(
    Files, ProgrammerConfigFileWrites,
    ::testing::Values(
        FileWriteRow{"AbsentKeysAreNotWritten",
                     "FlagOpenbaarvervoer=0\nFlagStadCAT1=1\n",
                     {"&PFO0", "91>&PF11"},
                     false,
                     std::vector<std::string>{"FlagOpenbaarvervoer", "FlagStadCAT1"},
                     0,
                     ""},
        FileWriteRow{"IdentifierFilterAndDatacalls",
                     "ConfigID=01 June 2024: depot\n"
                     "ButtonDataCall1=1\nEditDataCall1=&P.1x\n"
                     "ButtonDataCall2=1\n"
                     "ButtonDataCall3=0\nEditDataCall3=ignored\n"
                     "TransConfigSliderOffset2=22\nTransConfigSliderStable=5\n"
                     "RebootAfterProgramming=1\n",
                     {"&PIA01 June 2024: depot", "91<&PFC1", "91<&PIB&P.1x", "91<&PFB1", "91<&PFK0",
                      "82<&PKOE", "82>&PKOC", "71>&PKS5"},
                     true,
                     std::nullopt,
                     1,
                     "EditDataCall3"},
        // A set without text would be the query: the enable is written, the text compared.
        FileWriteRow{"EmptyDatacallTextWritesOnlyTheEnable",
                     "ButtonDataCall2=1\nEditDataCall2=\n",
                     {"91<&PFB1"},
                     false,
                     std::vector<std::string>{"ButtonDataCall2", "EditDataCall2"},
                     1,
                     "EditDataCall2"},
        FileWriteRow{"WriteBoxesInTheFileSwitchParts",
                     "CheckConfigID=0\nConfigID=not sent\nCheckTransConfig=0\nTransConfigSliderWindow=9\n",
                     {},
                     false,
                     std::vector<std::string>{},
                     2,
                     "ConfigID"}),
    [](const ::testing::TestParamInfo<FileWriteRow>& info) { return std::string(info.param.name); });

TEST(ProgrammerConfigFile, BadValuesAreRefused) {
    std::string error;
    for (const char* text :
         {"FlagStadCAT1=3\n", "FlagStadCAT1=\n", "FlagStadCAT1=1x\n", "TransConfigSliderOffset2=32\n",
          "TransConfigSliderOffset2=9\n", "TransConfigSliderWindow=0\n", "CheckConfigID=2\n",
          "ButtonDataCall1=-1\n", "TransConfigSliderWindow=99999999999999\n"}) {
        const auto file = ParseConfigFile(text, error);
        ASSERT_TRUE(file) << text << error;
        EXPECT_FALSE(FileToWrite(*file, error)) << text;
        EXPECT_FALSE(error.empty());
    }
}

TEST(ProgrammerConfigFile, ValueTextOfEveryKey) {
    CProgrammerValues v;
    for (const auto& key : AllKeys())
        EXPECT_TRUE(ValueText(v, key).has_value()) << key;
    EXPECT_FALSE(ValueText(v, "Nonsense"));
    EXPECT_EQ(*ValueText(v, "TransConfigSliderOffset2"), "22");
    EXPECT_EQ(*ValueText(v, "EditDataCall2"), "&P.2");
    EXPECT_TRUE(IsTextKey("EditDataCall3"));
    EXPECT_FALSE(IsTextKey("ButtonDataCall3"));
}

TEST(ProgrammerConfigFile, WhatADeviceHoldsIsWrittenAsItStands) {
    // Minimal above Window and an offset of 26 to 31 ms (before 8.2) come from devices that
    // hold them: written back unchanged, with a note for the first.
    std::string error;
    const auto file = ParseConfigFile(
        "TransConfigSliderWindow=5\nTransConfigSliderMinimal=7\nTransConfigSliderOffset2=31\n", error);
    ASSERT_TRUE(file) << error;
    const auto w = FileToWrite(*file, error);
    ASSERT_TRUE(w) << error;
    ASSERT_EQ(w->notes.size(), 1u);
    EXPECT_NE(w->notes[0].find("TransConfigSliderMinimal 7 is above TransConfigSliderWindow 5"),
              std::string::npos);
    CProgrammerModel m;
    m.m_Values = w->values;
    const auto seq = m.WriteSequence(w->selection, error);
    ASSERT_TRUE(seq) << error;
    EXPECT_EQ(seq->texts, (std::vector<std::string>{"71>&PKW5", "71>&PKM7", "82<&PKO7", "82>&PKO5"}));
}

TEST(ProgrammerConfigFile, KeysOnAVersion) {
    struct Row {
        const char* key;
        unsigned major, minor;
        bool on;
    };
    for (const Row& r :
         {Row{"FlagStadCAT1", 8, 7, false}, Row{"FlagStadCAT1", 9, 1, true},
          Row{"EditDataCall1", 9, 1, false}, Row{"ButtonDataCall1", 8, 7, true},
          Row{"TransConfigSliderOffset2", 7, 0, false}, Row{"TransConfigSliderOffset2", 7, 1, true},
          Row{"FlagReadyToGo", 8, 2, false}, Row{"ConfigID", 1, 0, true}, Row{"Nonsense", 9, 1, false}})
        EXPECT_EQ(KeyOnVersion(r.key, r.major, r.minor), r.on) << r.key << " " << r.major << "." << r.minor;
}
