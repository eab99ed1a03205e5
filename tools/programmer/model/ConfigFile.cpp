// The programmer's configuration files; see ConfigFile.h.
#include "ConfigFile.h"

#include "TextCodec.h"

#include <algorithm>
#include <set>

namespace vq5::programmer {

std::string EscapeValue(const std::string& value) {
    return EscapeText(value);
}

std::optional<std::string> UnescapeValue(const std::string& value) {
    std::string out;
    for (std::size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        if (c != '\\') {
            out += c;
            continue;
        }
        if (i + 1 < value.size() && value[i + 1] == '\\') {
            out += '\\';
            ++i;
            continue;
        }
        if (i + 3 < value.size() && value[i + 1] == 'x') {
            // Exactly two hexadecimal digits, either case.
            const int hi = HexDigitValue(value[i + 2]), lo = HexDigitValue(value[i + 3]);
            if (hi >= 0 && lo >= 0) {
                out += static_cast<char>(hi * 16 + lo);
                i += 3;
                continue;
            }
        }
        return std::nullopt;
    }
    return out;
}

const std::string* CConfigFile::Find(const std::string& key) const {
    for (const auto& [k, v] : entries)
        if (k == key)
            return &v;
    return nullptr;
}

std::optional<CConfigFile> ParseConfigFile(const std::string& text, std::string& error) {
    CConfigFile file;
    std::set<std::string> seen;
    std::size_t pos = 0;
    int lineNo = 0;
    const auto& keys = AllKeys();
    while (pos <= text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(pos, end - pos);
        pos = end + 1;
        ++lineNo;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const auto first = line.find_first_not_of(" \t");
        if (first == std::string::npos || line[first] == ';' || line[first] == '#' || line[first] == '[') {
            if (end == text.size())
                break;
            continue;
        }
        const auto eq = line.find('=');
        if (eq == std::string::npos) {
            error = "line " + std::to_string(lineNo) + ": expected Key=Value";
            return std::nullopt;
        }
        std::string key = line.substr(first, eq - first);
        while (!key.empty() && (key.back() == ' ' || key.back() == '\t'))
            key.pop_back();
        if (std::find(keys.begin(), keys.end(), key) == keys.end()) {
            error = "line " + std::to_string(lineNo) + ": unknown key '" + key + "'";
            return std::nullopt;
        }
        if (!seen.insert(key).second) {
            error = "line " + std::to_string(lineNo) + ": '" + key + "' given twice";
            return std::nullopt;
        }
        // Texts keep every character after '=' (the identifier's date stamp ends in a space).
        std::string raw = line.substr(eq + 1);
        if (!IsTextKey(key)) {
            const auto a = raw.find_first_not_of(" \t");
            const auto b = raw.find_last_not_of(" \t");
            raw = a == std::string::npos ? std::string() : raw.substr(a, b - a + 1);
        }
        auto value = UnescapeValue(raw);
        if (!value) {
            error = "line " + std::to_string(lineNo) + ": bad escape in the value of '" + key + "'";
            return std::nullopt;
        }
        file.entries.emplace_back(key, *value);
        if (end == text.size())
            break;
    }
    return file;
}

std::string FormatConfigFile(const CProgrammerValues& v, const std::vector<std::string>& keys,
                             const std::vector<std::string>& headerComments) {
    std::string out;
    for (const std::string& c : headerComments)
        out += "; " + EscapeValue(c) + "\n";
    for (const std::string& key : AllKeys()) {
        if (std::find(keys.begin(), keys.end(), key) == keys.end())
            continue;
        out += key + "=" + EscapeValue(*ValueText(v, key)) + "\n";
    }
    return out;
}

namespace {

// A decimal integer, '-' allowed, nothing else around it; at most 9 characters.
std::optional<int> ParseInt(const std::string& text) {
    if (text.size() > 9)
        return std::nullopt;
    return ParseNumber<int>(text);
}

} // namespace

std::optional<CFileWrite> FileToWrite(const CConfigFile& file, std::string& error) {
    CFileWrite w;
    CProgrammerValues& v = w.values;
    // Nothing is written that the file does not name.
    v.m_DataCall.fill(tsIndeterminate);
    v.m_Flag.fill(tsIndeterminate);
    v.m_CheckConfigID = 0;
    v.m_CheckTransConfig = 0;

    auto number = [&](const std::string& key, int lo, int hi) -> std::optional<int> {
        const auto value = ParseInt(*file.Find(key));
        if (!value || *value < lo || *value > hi) {
            error = key + "=" + *file.Find(key) + ": expected an integer between " + std::to_string(lo) +
                    " and " + std::to_string(hi);
            return std::nullopt;
        }
        return value;
    };
    // A tri-state box (0, 1, 2 indeterminate) into `into`; a determinate one is compared after the
    // write. False, with `error`, when the text is no such value.
    auto triState = [&](const char* key, int& into) {
        const auto n = number(key, 0, 2);
        if (!n)
            return false;
        into = *n;
        if (*n != tsIndeterminate)
            w.compared.emplace_back(key);
        return true;
    };

    int checkConfig = -1, checkTrans = -1;
    for (const auto& [key, text] : file.entries) {
        if (key == "CheckConfigID") {
            const auto n = number(key, 0, 1);
            if (!n)
                return std::nullopt;
            checkConfig = *n;
        } else if (key == "CheckTransConfig") {
            const auto n = number(key, 0, 1);
            if (!n)
                return std::nullopt;
            checkTrans = *n;
        } else if (key == "RebootAfterProgramming") {
            const auto n = number(key, 0, 1);
            if (!n)
                return std::nullopt;
            v.m_Reboot = *n;
        } else if (key == "ConfigID") {
            v.m_ConfigID = text;
        }
    }
    if (file.Find("ConfigID") && checkConfig != 0) {
        w.selection.identifier = true;
        v.m_CheckConfigID = 1;
        w.compared.emplace_back("ConfigID");
    } else if (file.Find("ConfigID")) {
        w.notes.emplace_back("ConfigID not written: CheckConfigID=0");
    }
    for (int i = 0; i < kDataCalls; ++i) {
        const DataCallRow& r = DataCallRows()[i];
        if (file.Find(r.enableKey) && !triState(r.enableKey, v.m_DataCall[i]))
            return std::nullopt;
        w.selection.dataCallText[i] = file.Find(r.textKey) != nullptr;
        if (const std::string* t = file.Find(r.textKey)) {
            v.m_DataCallText[i] = *t;
            if (v.m_DataCall[i] != tsOn) {
                w.notes.emplace_back(std::string(r.textKey) + " not written: " + r.enableKey + " is not 1");
            } else {
                // A device can hold an empty text, but a set without text would be the query:
                // the enable is written, the text is left as it is (and compared).
                if (t->empty()) {
                    w.selection.dataCallText[i] = false;
                    w.notes.emplace_back(std::string(r.textKey) +
                                         " not written: an empty text cannot be sent");
                }
                w.compared.emplace_back(r.textKey);
            }
        }
    }
    for (int i = 0; i < kFlagCount; ++i) {
        const FlagRow& r = FlagRows()[i];
        if (file.Find(r.key) && !triState(r.key, v.m_Flag[i]))
            return std::nullopt;
    }
    for (int i = 0; i < kSliderCount; ++i) {
        const SliderRow& r = SliderRows()[i];
        if (!file.Find(r.key))
            continue;
        const auto n = number(r.key, r.min, SliderHeldMax(static_cast<Slider>(i)));
        if (!n)
            return std::nullopt;
        v.m_Slider[i] = *n;
        if (checkTrans != 0) {
            w.selection.filter[i] = true;
            w.compared.emplace_back(r.key);
        } else {
            w.notes.emplace_back(std::string(r.key) + " not written: CheckTransConfig=0");
        }
    }
    // A device can hold a Minimal above its Window (the window's sliders never make one): a
    // file read from such a device writes back what it holds.
    if (w.selection.filter[slWindow] && w.selection.filter[slMinimal] &&
        v.m_Slider[slMinimal] > v.m_Slider[slWindow])
        w.notes.emplace_back("TransConfigSliderMinimal " + std::to_string(v.m_Slider[slMinimal]) +
                             " is above TransConfigSliderWindow " + std::to_string(v.m_Slider[slWindow]) +
                             ": written as the file gives them");
    v.m_CheckTransConfig =
        std::any_of(w.selection.filter.begin(), w.selection.filter.end(), [](bool b) { return b; });
    return w;
}

} // namespace vq5::programmer
