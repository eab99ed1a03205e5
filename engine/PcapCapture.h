// Link captures as pcap files (libpcap) that Wireshark and tshark open.
//
// Link type LINKTYPE_USER0 (147). Every record starts with an 8-byte pseudo-header, all
// numbers big-endian:
//   offset 0  1 byte   version, 1
//   offset 1  1 byte   direction: 0 device to PC, 1 PC to device
//   offset 2  2 bytes  flags: bit 0 line-speed change (the record carries no line bytes)
//   offset 4  4 bytes  line speed in baud at the time of the record (0: port closed)
// followed by the line bytes of the record (none for a speed change). The record's time
// stamp (microseconds) is when the engine read or wrote its first byte: a read is one byte
// per record, a write one record per write call. packaging/vq5-link.lua dissects them.
#pragma once

#include "LinkCapture.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace vq5 {

inline constexpr int kLinkTypeUser0 = 147;
inline constexpr std::size_t kCaptureHeaderBytes = 8;
inline constexpr std::uint16_t kCaptureSpeedChange = 0x0001;

struct CaptureRecord {
    std::int64_t timeUs = 0; // microseconds since the epoch (UTC)
    LinkDirection direction = LinkDirection::DeviceToPc;
    std::uint16_t flags = 0;
    int baud = 0;
    std::vector<unsigned char> bytes;
    bool SpeedChange() const { return (flags & kCaptureSpeedChange) != 0; }
};

// The pseudo-header and line bytes of one record, and back. Decode is false for a record
// shorter than the pseudo-header or of another version.
std::vector<unsigned char> EncodeCaptureRecord(const CaptureRecord& r);
bool DecodeCaptureRecord(const unsigned char* data, std::size_t length, CaptureRecord& r);

// Writes a capture file. Open truncates; records go out as they come (buffered), Close (or
// the destructor) ends the file. Thread-safe.
class CPcapCaptureFile : public ILinkCapture {
public:
    CPcapCaptureFile();
    ~CPcapCaptureFile() override;
    bool Open(const std::string& path, std::string& error);
    void Close();
    bool IsOpen() const;
    void Bytes(LinkDirection direction, const unsigned char* bytes, std::size_t count, int baud,
               Time when) override;
    void Speed(int baud, Time when) override;
    std::uint64_t Records() const;

private:
    void Write(const CaptureRecord& r);
    struct Impl;
    std::unique_ptr<Impl> m_Impl;
    mutable std::mutex m_Lock; // guards m_Impl's file
};

// Reads every record of a capture file; false with `error` when it is no pcap file of link
// type 147, or a record is malformed.
bool ReadCaptureFile(const std::string& path, std::vector<CaptureRecord>& records, std::string& error);

// Writes records to a capture file (tests, edited captures).
bool WriteCaptureFile(const std::string& path, const std::vector<CaptureRecord>& records, std::string& error);

} // namespace vq5
