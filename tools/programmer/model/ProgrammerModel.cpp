// The programmer's model; see ProgrammerModel.h.
#include "ProgrammerModel.h"

#include "CommandSet.h"
#include "Identification.h"
#include "LocalTime.h"
#include "VLPMsg.h"

#include <algorithm>
#include <cstdio>

namespace vq5::programmer {

namespace dev = vq5::device;

// ---------------------------------------------------------------------------------------
// Tables

const std::array<FlagRow, kFlagCount>& FlagRows() {
    // The settings keys keep the spelling of settings files written by earlier versions
    // ("FlagCrearEeprom").
    static const std::array<FlagRow, kFlagCount> rows = {{
        {'E', "Factory default eeprom", "FlagCrearEeprom", "",
         "Clear de eeprom zo dat er de factory defaults geplaatst worden."},
        {'S', "Streekvervoer (else Stad)", "FlagStreekvervoer", "",
         "Set streekvervoer, anders stadsvervoer (vetag 02T bit)"},
        {'O', "Openbaar vervoer", "FlagOpenbaarvervoer", "",
         "Set openbaar vervoer vetag bit (vetag 01T bit)"},
        {'T', "Vertaal lijnnummers", "FlagVertaalLijnnummers", "91<",
         "Vertaal de velto lijn nummers via een interne tabel naar vetag nummers."},
        {'D', "Max run nummer", "FlagMaxRunnummer", "", "Run nummers >= als 80 worden 0 (anders module 80)"},
        {'R', "Vetag 19 is GP key", "FlagVetag19GPKey", "91<",
         "Bit 19T van de vetag transponder wordt via de GP key bestuurd."},
        {'Q', "Selftest after reboot", "FlagSelftestAfterReboot", "",
         "Run de selftest procedure direct na de volgende reboot."},
        {'G', "Ready To Go", "FlagReadyToGo", "83>",
         "Gebruik van ready-to-go, \xC3\xA9\xC3\xA9nmalig indrukken van de halterings toest laat de halte "
         "lamp "
         "branden en verstuurt de halterings code, bij het door een halte rijden gaat de haltelamp weer uit "
         "(versie >= V8.3)"},
        {'L', "DoorLussen", "FlagDoorLussen", "85>",
         "Gebruik van DoorLussen (Trams), bij het indrukken van de halterings toest wordt altijd direct de "
         "halterings code door de vetag unit verstuurt, bij het loslaten niet meer. (versie >= V8.5)"},
        {'V', "Paralelle transponder", "FlagParalelleTransponder", "87>",
         "Gebruik de paralelle vetag transponder en test op een seriele QT7 transponder."},
        {'F', "Stad Bus (else Tram)", "FlagStadTramOrBus", "91>",
         "Bij stads vervoer geeft dit aan of het een Tram of Bus betreft (vetag 03T bit)"},
        {'1', "Stad CAT1", "FlagStadCAT1", "91>",
         "Bij stads vervoer is dit de categorie bit 1 (CAT1, vetag 18T bit)"},
        {'2', "Stad CAT2", "FlagStadCAT2", "91>",
         "Bij stads vervoer is dit de categorie bit 2 (CAT2, vetag 17T bit)"},
    }};
    return rows;
}

int FlagIndexOfItem(char item) {
    const auto& rows = FlagRows();
    for (int i = 0; i < kFlagCount; ++i)
        if (rows[i].item == item)
            return i;
    return -1;
}

const std::array<DataCallRow, kDataCalls>& DataCallRows() {
    static const std::array<DataCallRow, kDataCalls> rows = {{
        {'C', 'B', "On change lijnnr", "ButtonDataCall1", "EditDataCall1", "&P.1"},
        {'B', 'C', "On Startup", "ButtonDataCall2", "EditDataCall2", "&P.2"},
        {'K', 'D', "On GP Key", "ButtonDataCall3", "EditDataCall3", "&P.3"},
    }};
    return rows;
}

const std::array<SliderRow, kSliderCount>& SliderRows() {
    // The offset key carries a 2: its encoding changed once, and old stored values must not
    // be read as offsets.
    static const std::array<SliderRow, kSliderCount> rows = {{
        {'W', "Window", "TransConfigSliderWindow", 1, 15, 8, 8},
        {'M', "Minimal", "TransConfigSliderMinimal", 1, 15, 7, 7},
        {'O', "Offset", "TransConfigSliderOffset2", 10, 25, 22, 15},
        {'S', "Stable", "TransConfigSliderStable", 1, 15, 10, 10},
    }};
    return rows;
}

namespace {
// The flags bind in the order of settings files written by earlier versions: the order "&To"
// writes them, except that "Paralelle transponder" comes before "Ready To Go".
const std::array<FlagIndex, kFlagCount>& FlagBindOrder() {
    static const std::array<FlagIndex, kFlagCount> order = [] {
        std::array<FlagIndex, kFlagCount> o{};
        for (int i = 0; i < kFlagCount; ++i)
            o[i] = static_cast<FlagIndex>(i);
        std::rotate(o.begin() + fReadyToGo, o.begin() + fParalelleTransponder,
                    o.begin() + fParalelleTransponder + 1);
        return o;
    }();
    return order;
}
} // namespace

int SliderHeldMax(Slider s) {
    return s == slOffset ? kOffsetHeldMax : SliderRows()[s].max;
}

std::string DateStamp(const std::tm& date) {
    // Month names in English whatever the user's language: the stamp goes into the device
    // and must stay printable ASCII.
    static const char* const months[12] = {"January",   "February", "March",    "April",
                                           "May",       "June",     "July",     "August",
                                           "September", "October",  "November", "December"};
    const int m = date.tm_mon >= 0 && date.tm_mon < 12 ? date.tm_mon : 0;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%02d %s %04d: ", date.tm_mday, months[m], date.tm_year + 1900);
    return buf;
}

std::string DateStampNow() {
    return DateStamp(LocalTimeNow());
}

CProgrammerValues::CProgrammerValues() {
    m_Flag.fill(tsIndeterminate);
}

void QueueSequence(CVLPMsg& engine, const CSequence& sequence) {
    engine.EnterProgramMode();
    for (const std::string& text : sequence.texts)
        engine.QueueText(text);
    engine.LeaveProgramMode(sequence.reboot);
}

// ---------------------------------------------------------------------------------------
// Device view and visibility

bool CDeviceView::Observe(const std::string& text) {
    // The program-mode exit: '&', letter, 'X'.
    if (text.size() >= 3 && text[0] == '&' && text[1] == letter && text[2] == 'X') {
        major = minor = 0;
        ++exits;
        return true;
    }
    // The identification reply: '&', letter, "PVQ-5", ...; a version that cannot be read
    // leaves the version as it was.
    if (auto id = ReadIdentification(text)) {
        letter = id->letter;
        ++identifications;
        identification = std::move(id->text);
        if (id->version) {
            major = id->version->major;
            minor = id->version->minor;
        }
        identifiedMajor = major;
        identifiedMinor = minor;
        return true;
    }
    return false;
}

std::string CDeviceView::Adapt(const std::string& code) const {
    std::string out = code;
    const auto pos = out.find("&P");
    if (pos != std::string::npos)
        out[pos + 1] = letter;
    return out;
}

CVisibility CVisibility::ForVersion(unsigned major, unsigned minor, bool expert) {
    CVisibility v;
    v.filter = dev::GatePasses("71>", major, minor);
    // The parallel transponder is an expert setting: outside expert mode it is neither read
    // nor shown, whatever the device.
    v.paralelle = expert && dev::GatePasses("87>91<", major, minor);
    v.readyToGo = dev::GatePasses("83>", major, minor);
    v.doorLussen = dev::GatePasses("85>", major, minor);
    v.before91 = dev::GatePasses("91<", major, minor);
    v.stad = dev::GatePasses("91>", major, minor);
    return v;
}

CVisibility CVisibility::All(bool expert) {
    CVisibility v;
    v.paralelle = expert;
    return v;
}

// ---------------------------------------------------------------------------------------
// The model

CProgrammerModel::CProgrammerModel() {
    m_Visibility = CVisibility::All(false);
}

void CProgrammerModel::Bind(CProfileSection& s, const std::string& dateStamp) {
    CProgrammerValues& v = m_Values;
    const auto& flags = FlagRows();
    const auto& calls = DataCallRows();
    const auto& sliders = SliderRows();
    s.BindInt(v.m_CheckConfigID, "CheckConfigID", 0);
    s.BindInt(v.m_CheckTransConfig, "CheckTransConfig", 0);
    s.BindString(v.m_ConfigID, "ConfigID", dateStamp);
    for (int i = 0; i < kDataCalls; ++i)
        s.BindInt(v.m_DataCall[i], calls[i].enableKey, tsIndeterminate);
    for (int i = 0; i < kDataCalls; ++i)
        s.BindString(v.m_DataCallText[i], calls[i].textKey, calls[i].defaultText);
    for (FlagIndex f : FlagBindOrder())
        s.BindInt(v.m_Flag[f], flags[f].key, tsIndeterminate);
    s.BindInt(v.m_Reboot, "RebootAfterProgramming", 0);
    s.BindInt(v.m_Slider[slMinimal], sliders[slMinimal].key, sliders[slMinimal].firstStart);
    s.BindInt(v.m_Slider[slStable], sliders[slStable].key, sliders[slStable].firstStart);
    s.BindInt(v.m_Slider[slOffset], sliders[slOffset].key, sliders[slOffset].firstStart);
    s.BindInt(v.m_Slider[slWindow], sliders[slWindow].key, sliders[slWindow].firstStart);
    Sanitize();
}

void CProgrammerModel::LoadDefaults(const std::string& dateStamp) {
    CProgrammerValues& v = m_Values;
    v.m_CheckConfigID = 0;
    v.m_CheckTransConfig = 0;
    v.m_ConfigID = dateStamp;
    for (int i = 0; i < kDataCalls; ++i) {
        v.m_DataCall[i] = tsIndeterminate;
        v.m_DataCallText[i] = DataCallRows()[i].defaultText;
    }
    v.m_Flag.fill(tsIndeterminate);
    v.m_Reboot = 0;
    for (int i = 0; i < kSliderCount; ++i)
        v.m_Slider[i] = SliderRows()[i].byDefault;
}

std::vector<std::string> CProgrammerModel::Sanitize() {
    std::vector<std::string> changed;
    CProgrammerValues& v = m_Values;
    auto tri = [&](int& value, const char* key) {
        if (value < tsOff || value > tsIndeterminate) {
            value = tsIndeterminate;
            changed.emplace_back(key);
        }
    };
    auto box = [&](int& value, const char* key) {
        if (value != 0 && value != 1) {
            value = 0;
            changed.emplace_back(key);
        }
    };
    box(v.m_CheckConfigID, "CheckConfigID");
    box(v.m_CheckTransConfig, "CheckTransConfig");
    box(v.m_Reboot, "RebootAfterProgramming");
    for (int i = 0; i < kDataCalls; ++i)
        tri(v.m_DataCall[i], DataCallRows()[i].enableKey);
    for (int i = 0; i < kFlagCount; ++i)
        tri(v.m_Flag[i], FlagRows()[i].key);
    for (int i = 0; i < kSliderCount; ++i) {
        const SliderRow& r = SliderRows()[i];
        if (v.m_Slider[i] < r.min || v.m_Slider[i] > SliderHeldMax(static_cast<Slider>(i))) {
            v.m_Slider[i] = r.firstStart;
            changed.emplace_back(r.key);
        }
    }
    if (v.m_Slider[slMinimal] > v.m_Slider[slWindow]) {
        v.m_Slider[slMinimal] = v.m_Slider[slWindow];
        changed.emplace_back(SliderRows()[slMinimal].key);
    }
    return changed;
}

std::string CProgrammerModel::RangeCheck() const {
    for (int i = 0; i < kSliderCount; ++i) {
        const SliderRow& r = SliderRows()[i];
        const int value = m_Values.m_Slider[i];
        const int max = SliderHeldMax(static_cast<Slider>(i));
        if (value < r.min || value > max) {
            char buf[128];
            std::snprintf(buf, sizeof buf, "%s: please enter an integer between %d and %d.", r.name, r.min,
                          max);
            return buf;
        }
    }
    return {};
}

void CProgrammerModel::SliderChanged(Slider s) {
    auto& sl = m_Values.m_Slider;
    dev::CoupleWindowMinimal(dev::kFilterConstants[s], sl[slWindow], sl[slMinimal]);
}

std::string CProgrammerModel::SliderLabel(Slider s) const {
    static const char* const formats[kSliderCount] = {"Window %d ms", "Minimaal %d", "Offset %d ms",
                                                      "Stable %d ms"};
    char buf[64];
    std::snprintf(buf, sizeof buf, formats[s],
                  dev::ConstantInUnits(dev::kFilterConstants[s], m_Values.m_Slider[s]));
    return buf;
}

CSequence CProgrammerModel::ReadSequence(bool expert) {
    CSequence seq;
    seq.texts.push_back(dev::QueryCode('I', 'A'));
    // Datacall enables and texts, interleaved, the order in which the device is asked.
    for (const DataCallRow& r : DataCallRows()) {
        seq.texts.push_back(std::string(dev::FindFlag(r.flagItem)->programmerGate) +
                            dev::QueryCode('F', r.flagItem));
        seq.texts.push_back("91<" + dev::QueryCode('I', r.textItem));
    }
    // Flags; "&PFA" is asked too (devices from 8.0 answer it) and its answer ignored.
    for (char item : std::string("ESOTDRQAGLF12")) {
        const dev::FlagInfo* f = dev::FindFlag(item);
        seq.texts.push_back(std::string(f && f->programmerGate ? f->programmerGate : "") +
                            dev::QueryCode('F', item));
    }
    if (expert)
        seq.texts.push_back(std::string(dev::FindFlag('V')->programmerGate) + dev::QueryCode('F', 'V'));
    for (const SliderRow& r : SliderRows())
        seq.texts.push_back("71>" + dev::QueryCode('K', r.item));
    seq.reboot = false;
    return seq;
}

namespace {

// A text must travel whole in one printable message; the name is that of the control.
bool CheckText(const std::string& name, const std::string& text, const std::string& gate,
               std::string& error) {
    const std::size_t room = dev::MaxTextLength(gate);
    if (text.empty()) {
        error = name + " is empty: an empty text cannot be written (the device would take it as a question).";
        return false;
    }
    if (text.size() > room) {
        error = name + " is " + std::to_string(text.size()) + " characters long; at most " +
                std::to_string(room) + " fit in one message. Nothing was sent.";
        return false;
    }
    for (unsigned char c : text)
        if (c < 0x20 || c > 0x7E) {
            error = name + " holds a character that cannot be sent (only printable ASCII). Nothing was sent.";
            return false;
        }
    return true;
}

} // namespace

std::optional<CSequence> CProgrammerModel::WriteSequence(std::string& error) const {
    CWriteSelection sel;
    sel.identifier = m_Values.m_CheckConfigID == 1;
    sel.filter.fill(m_Values.m_CheckTransConfig == 1);
    return WriteSequence(sel, error);
}

std::optional<CSequence> CProgrammerModel::WriteSequence(const CWriteSelection& sel,
                                                         std::string& error) const {
    const CProgrammerValues& v = m_Values;
    error.clear();
    if (std::string e = RangeCheck(); !e.empty()) {
        error = e;
        return std::nullopt;
    }
    CSequence seq;
    if (sel.identifier) {
        if (!CheckText("\"Configuratie identifier\"", v.m_ConfigID, "", error))
            return std::nullopt;
        seq.texts.push_back(dev::SetText('A', v.m_ConfigID));
    }
    for (int i = 0; i < kDataCalls; ++i) {
        const DataCallRow& r = DataCallRows()[i];
        const int value = v.m_DataCall[i];
        if (value == tsIndeterminate)
            continue;
        seq.texts.push_back(dev::SetFlag(r.flagItem, value == tsOn, "91<"));
        if (value == tsOn && sel.dataCallText[i]) {
            if (!CheckText(std::string("The datacall of \"") + r.label + "\"", v.m_DataCallText[i], "91<",
                           error))
                return std::nullopt;
            seq.texts.push_back(dev::SetText(r.textItem, v.m_DataCallText[i], "91<"));
        }
    }
    for (int i = 0; i < kFlagCount; ++i) {
        const int value = v.m_Flag[i];
        if (value == tsIndeterminate)
            continue;
        seq.texts.push_back(dev::SetFlag(FlagRows()[i].item, value == tsOn, FlagRows()[i].setGate));
    }
    const auto& sl = v.m_Slider;
    if (sel.filter[slWindow])
        seq.texts.push_back(dev::SetConstant('W', static_cast<unsigned>(sl[slWindow]), "71>"));
    if (sel.filter[slMinimal])
        seq.texts.push_back(dev::SetConstant('M', static_cast<unsigned>(sl[slMinimal]), "71>"));
    if (sel.filter[slOffset]) {
        seq.texts.push_back(dev::OffsetSetOld(sl[slOffset]));
        seq.texts.push_back(dev::OffsetSetNew(sl[slOffset]));
    }
    if (sel.filter[slStable])
        seq.texts.push_back(dev::SetConstant('S', static_cast<unsigned>(sl[slStable]), "71>"));
    seq.reboot = v.m_Reboot == 1;
    return seq;
}

std::string DeviceText(const std::string& bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (unsigned char c : bytes) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

CParseResult CProgrammerModel::Parse(const std::string& text) {
    CParseResult r;
    CProgrammerValues& v = m_Values;
    const std::string pk = m_Device.Adapt("&PK");
    const std::string pia = m_Device.Adapt("&PIA");
    const std::string pi = m_Device.Adapt("&PI");
    const std::string pf = m_Device.Adapt("&PF");

    if (dev::ReplyMatches(text, pk) && text.size() > 3) {
        r.matched = true;
        // A reply without a hexadecimal digit in the fifth place carries no value.
        const auto reading = dev::ReadFilterConstant(text, m_Device.major, m_Device.minor);
        if (!reading)
            return r;
        const int slider = dev::FilterConstantIndex(reading->constant);
        const std::array<int, kSliderCount> before = v.m_Slider;
        v.m_Slider[slider] = reading->value;
        if (m_CoupleReplies)
            SliderChanged(static_cast<Slider>(slider));
        r.slider = slider;
        r.changed.emplace_back(SliderRows()[slider].key);
        for (int i = 0; i < kSliderCount; ++i)
            if (i != slider && v.m_Slider[i] != before[i])
                r.changed.emplace_back(SliderRows()[i].key);
        return r;
    }
    if (text.compare(0, 4, pia) == 0 && text.size() > 4) {
        r.matched = true;
        v.m_ConfigID = DeviceText(text.substr(4));
        r.changed.emplace_back("ConfigID");
        return r;
    }
    if (dev::ReplyMatches(text, pi) && text.size() > 3) {
        r.matched = true;
        const auto value = dev::ReadText(text);
        for (int i = 0; i < kDataCalls && value; ++i)
            if (DataCallRows()[i].textItem == text[3]) {
                v.m_DataCallText[i] = DeviceText(*value);
                r.changed.emplace_back(DataCallRows()[i].textKey);
            }
        return r;
    }
    if (dev::ReplyMatches(text, pf) && text.size() > 3) {
        r.matched = true;
        // A flag reply needs its value character; a bare code carries nothing.
        const auto on = dev::ReadFlag(text);
        if (!on)
            return r;
        const int value = *on ? tsOn : tsOff;
        for (int i = 0; i < kDataCalls; ++i)
            if (DataCallRows()[i].flagItem == text[3]) {
                v.m_DataCall[i] = value;
                r.dataCall = i;
                r.changed.emplace_back(DataCallRows()[i].enableKey);
                return r;
            }
        const int f = FlagIndexOfItem(text[3]);
        if (f >= 0) {
            v.m_Flag[f] = value;
            r.changed.emplace_back(FlagRows()[f].key);
        }
        return r;
    }
    return r;
}

std::string CProgrammerModel::OffsetWarning(const CWriteSelection& selection) const {
    if (!selection.filter[slOffset])
        return {};
    return dev::OffsetWarning(m_Values.m_Slider[slOffset], m_Device.identifications > 0,
                              m_Device.identifiedMajor, m_Device.identifiedMinor);
}

std::string CProgrammerModel::OffsetWarning() const {
    CWriteSelection sel;
    sel.filter.fill(m_Values.m_CheckTransConfig == 1);
    return OffsetWarning(sel);
}

CNotifyOutcome CProgrammerModel::OnNotification(const Notification& n) {
    CNotifyOutcome out;
    switch (n.kind) {
    case nkReceived:
        // Follow the device first: a reply is read with the letter and version of its time.
        if (!m_Device.Observe(n.text)) {
            out.parse = Parse(n.text);
            out.putValues = out.parse.matched;
        }
        break;
    case nkQueueEmpty:
        out.becameIdle = true;
        m_Busy = false;
        break;
    case nkIdent:
        if (n.value != 0 && !n.text.empty()) {
            // The identification reply itself (kind 1) came first and set the view.
            m_Visibility = CVisibility::ForVersion(m_Device.major, m_Device.minor, m_Expert);
            out.applyVisibility = true;
        }
        break;
    default:
        break;
    }
    return out;
}

// ---------------------------------------------------------------------------------------
// Settings by key

const std::vector<std::string>& AllKeys() {
    static const std::vector<std::string> keys = [] {
        std::vector<std::string> k = {"CheckConfigID", "CheckTransConfig", "ConfigID"};
        for (const auto& r : DataCallRows())
            k.emplace_back(r.enableKey);
        for (const auto& r : DataCallRows())
            k.emplace_back(r.textKey);
        for (FlagIndex f : FlagBindOrder())
            k.emplace_back(FlagRows()[f].key);
        k.emplace_back("RebootAfterProgramming");
        for (Slider s : {slMinimal, slStable, slOffset, slWindow})
            k.emplace_back(SliderRows()[s].key);
        return k;
    }();
    return keys;
}

bool IsTextKey(const std::string& key) {
    if (key == "ConfigID")
        return true;
    for (const auto& r : DataCallRows())
        if (key == r.textKey)
            return true;
    return false;
}

std::optional<std::string> ValueText(const CProgrammerValues& v, const std::string& key) {
    if (key == "CheckConfigID")
        return std::to_string(v.m_CheckConfigID);
    if (key == "CheckTransConfig")
        return std::to_string(v.m_CheckTransConfig);
    if (key == "ConfigID")
        return v.m_ConfigID;
    if (key == "RebootAfterProgramming")
        return std::to_string(v.m_Reboot);
    for (int i = 0; i < kDataCalls; ++i) {
        if (key == DataCallRows()[i].enableKey)
            return std::to_string(v.m_DataCall[i]);
        if (key == DataCallRows()[i].textKey)
            return v.m_DataCallText[i];
    }
    for (int i = 0; i < kFlagCount; ++i)
        if (key == FlagRows()[i].key)
            return std::to_string(v.m_Flag[i]);
    for (int i = 0; i < kSliderCount; ++i)
        if (key == SliderRows()[i].key)
            return std::to_string(v.m_Slider[i]);
    return std::nullopt;
}

bool KeyOnVersion(const std::string& key, unsigned major, unsigned minor) {
    std::string code;
    if (key == "ConfigID")
        code = dev::QueryCode('I', 'A');
    for (const DataCallRow& r : DataCallRows()) {
        if (key == r.enableKey)
            code = dev::QueryCode('F', r.flagItem);
        if (key == r.textKey)
            code = dev::QueryCode('I', r.textItem);
    }
    for (const FlagRow& r : FlagRows())
        if (key == r.key)
            code = dev::QueryCode('F', r.item);
    for (const SliderRow& r : SliderRows())
        if (key == r.key)
            code = dev::QueryCode('K', r.item);
    const char* gate = code.empty() ? nullptr : dev::DeviceGate(code);
    return gate && dev::GatePasses(gate, major, minor);
}

} // namespace vq5::programmer
