// vq5 replay: a link capture (--capture, "Record to file...") as a readable exchange: time,
// direction, frame kind, message text, errors and gaps, without Wireshark.
#include "CaptureDecode.h"
#include "CliSupport.h"
#include "Verbs.h"
#include "VLPIO.h"

#include <cstdio>
#include <string>

namespace vq5::cli {
namespace {

int Main(int argc, char** argv) {
    CVerbCommandLine line("replay",
                          "Prints a link capture as the exchange it was, one frame a line: seconds from the\n"
                          "start, milliseconds since the frame before, direction (D>PC the device, PC>D the\n"
                          "PC), the frame kind (poll select ACK NAK EOT info damaged garbage speed), the\n"
                          "command code and text of a message, the bytes, and what was wrong. A silence\n"
                          "longer than the gap is shown as a line of its own.");
    StyleVerbApp(line.App(), "Exits 0 when the capture was read, 2 when it is no link capture.\n");
    std::string path;
    long gapMs = 500;
    AddNumberOption(line.App(), "--gap", "MS", "silence shown as a gap, milliseconds (default 500)", 1,
                    3600000, [&gapMs](long n) { gapMs = n; });
    line.App()
        .add_option("FILE", path, "a link capture (--capture, \"Record to file...\")")
        ->required()
        ->type_name("");
    if (const int rc = line.Parse(argc, argv); rc >= 0)
        return rc;
    std::vector<CaptureRecord> records;
    std::string error;
    if (!ReadCaptureFile(path, records, error)) {
        std::fprintf(stderr, "vq5 replay: %s: %s\n", path.c_str(), error.c_str());
        return 2;
    }
    const std::vector<CapturedFrame> frames = DecodeCapture(records);
    std::size_t errors = 0;
    std::int64_t start = frames.empty() ? 0 : frames.front().timeUs;
    std::int64_t lastEnd = start;
    for (const auto& f : frames) {
        const std::int64_t silence = f.timeUs - lastEnd;
        if (silence > gapMs * 1000)
            std::printf("%12.6f            -- gap of %.3f s --\n", static_cast<double>(lastEnd - start) / 1e6,
                        static_cast<double>(silence) / 1e6);
        std::string what;
        if (f.speedChange) {
            what = "line speed " + std::to_string(f.baud) + " baud";
        } else {
            if (f.type == FrameType::info || f.type == FrameType::crcerror) {
                const std::string code = CommandCode(f.text);
                if (!code.empty())
                    what = "cmd " + code + " ";
                what += ByteText(f.text.size(), reinterpret_cast<const unsigned char*>(f.text.data()));
                what += f.type == FrameType::info ? " check ok" : " CHECK WRONG or cut short";
            } else if (f.type == FrameType::noframe) {
                what = std::to_string(f.raw.size()) + " byte(s) that begin no frame";
            }
            what += "  [" + ByteText(f.raw.size(), f.raw.data()) + "]";
        }
        if (!f.speedChange &&
            (f.type == FrameType::crcerror || f.type == FrameType::noframe || f.type == FrameType::nak))
            ++errors;
        std::printf("%12.6f %+9.1f %-5s %-8s %s\n", static_cast<double>(f.timeUs - start) / 1e6,
                    static_cast<double>(silence) / 1e3,
                    f.speedChange                              ? ""
                    : f.direction == LinkDirection::DeviceToPc ? "D>PC"
                                                               : "PC>D",
                    CapturedKind(f), what.c_str());
        lastEnd = f.endUs;
    }
    std::printf("-- %zu records, %zu frames, %zu with errors (NAK, damaged, garbage)\n", records.size(),
                frames.size(), errors);
    return 0;
}

VerbRegistrar reg("replay", "prints a link capture as a readable exchange", &Main);

} // namespace
} // namespace vq5::cli
