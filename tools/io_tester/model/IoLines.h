// The VQ-5's input and output lines as the I/O tester shows them.
//
// The device answers "&PII" with one character per input line and "&PIJ" with one character
// per output line; the value begins at the fifth character of the reply. The lines T1 to T19
// also carry the line and run number the device presents to the vehicle, as binary digits.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace vq5::io {

enum class Polarity { Direct, Inverted };
enum class LampState { Active, Inactive, Disabled };

// What a lamp's pictures show.
enum class Motif { LeftArrow, RightArrow, Hand, StopSign, GpKey, Loop, Led, Bulb, CheckMark };

struct LampInfo {
    int controlId;     // picture control of the dialog
    const char* label; // text shown beside the lamp
    int bitmapActive;  // bitmaps: active, active + 1 inactive, active + 2 disabled
    Polarity polarity;
    Motif motif;
};

inline constexpr std::size_t kInputCount = 6;                         // characters of the "&PII" value
inline constexpr std::size_t kOutputCount = 21;                       // characters of the "&PIJ" value
inline constexpr std::size_t kLampCount = kInputCount + kOutputCount; // 27 lamps in all

// Input lamps in the order of the characters of the "&PII" value.
const std::array<LampInfo, kInputCount>& InputLamps();
// Output lamps in the order of the characters of the "&PIJ" value: "Status led", "Halte
// lamp", then T1 to T19 (character n + 2 drives Tn, control id 1042 + n).
const std::array<LampInfo, kOutputCount>& OutputLamps();

// The order in which the dialog creates its lamps: inputs, then "Halte lamp", "Status led",
// T1 to T19. Each entry: true = input lamp, index into InputLamps/OutputLamps.
struct LampRef {
    bool input;
    std::size_t index;
};
const std::array<LampRef, kLampCount>& CreationOrder();

// Direct: active for '1', inactive for anything else. Inverted: the reverse.
bool LampActive(char c, Polarity polarity);

// Output value index of line Tn (1..19).
constexpr std::size_t TIndex(int n) {
    return static_cast<std::size_t>(n) + 1;
}

// The digits of line and run number, each '0' + its value ('0'..'9', then ':' .. '?' for 10 to
// 15). A digit whose lines lie beyond the end of a short value is shown as '-'.
struct NumberDigits {
    char line[3]; // hundreds, tens, units
    char run[2];  // tens, units
};
NumberDigits DecodeNumbers(std::string_view outputs);

std::string LineNumberText(const NumberDigits& d); // "LijnNr = %c%c%c"
std::string RunNumberText(const NumberDigits& d);  // "RunNr = %c%c"

// The texts the number controls hold before the first "&PIJ" reply.
inline constexpr const char* kLineNumberInitial = "LijnNr = xxx";
inline constexpr const char* kRunNumberInitial = "RunNr = xx";

// The reverse, for the simulated device and the tests: an outputs value (21 characters)
// carrying line number (0..399) and run number (0..79) on T1..T19, status led and halte lamp
// as given ('1' = line high), T1 and T2 as given.
std::string EncodeOutputs(int line, int run, bool statusLedLine, bool halteLamp, bool t1 = false,
                          bool t2 = false);

} // namespace vq5::io
