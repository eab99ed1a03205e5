#include "PcapCapture.h"

#if VQ5_HAVE_PCAP
#include <pcap/pcap.h>
#endif

#include <cstring>

namespace vq5 {

namespace {
constexpr unsigned char kVersion = 1;
constexpr int kSnapLen = 65535;

std::int64_t Micros(ILinkCapture::Time t) {
    return std::chrono::duration_cast<std::chrono::microseconds>(t.time_since_epoch()).count();
}
} // namespace

std::vector<unsigned char> EncodeCaptureRecord(const CaptureRecord& r) {
    const auto baud = static_cast<std::uint32_t>(r.baud < 0 ? 0 : r.baud);
    std::vector<unsigned char> out;
    out.reserve(kCaptureHeaderBytes + r.bytes.size());
    out.push_back(kVersion);
    out.push_back(static_cast<unsigned char>(r.direction));
    out.push_back(static_cast<unsigned char>(r.flags >> 8));
    out.push_back(static_cast<unsigned char>(r.flags));
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<unsigned char>(baud >> shift));
    for (unsigned char b : r.bytes)
        out.push_back(b);
    return out;
}

bool DecodeCaptureRecord(const unsigned char* data, std::size_t length, CaptureRecord& r) {
    if (length < kCaptureHeaderBytes || data[0] != kVersion || data[1] > 1)
        return false;
    r.direction = static_cast<LinkDirection>(data[1]);
    r.flags = static_cast<std::uint16_t>(data[2] << 8 | data[3]);
    std::uint32_t baud = 0;
    for (int i = 0; i < 4; ++i)
        baud = baud << 8 | data[4 + i];
    r.baud = static_cast<int>(baud);
    r.bytes.assign(data + kCaptureHeaderBytes, data + length);
    return true;
}

#if VQ5_HAVE_PCAP
struct CPcapCaptureFile::Impl {
    pcap_t* dead = nullptr;
    pcap_dumper_t* dumper = nullptr;
    std::uint64_t records = 0;
};

CPcapCaptureFile::CPcapCaptureFile() : m_Impl(std::make_unique<Impl>()) {}

CPcapCaptureFile::~CPcapCaptureFile() {
    Close();
}

bool CPcapCaptureFile::Open(const std::string& path, std::string& error) {
    std::lock_guard<std::mutex> lock(m_Lock);
    if (m_Impl->dumper) {
        error = "a capture is already being written";
        return false;
    }
    m_Impl->dead =
        pcap_open_dead_with_tstamp_precision(kLinkTypeUser0, kSnapLen, PCAP_TSTAMP_PRECISION_MICRO);
    if (!m_Impl->dead) {
        error = "libpcap refused the link type";
        return false;
    }
    m_Impl->dumper = pcap_dump_open(m_Impl->dead, path.c_str());
    if (!m_Impl->dumper) {
        error = pcap_geterr(m_Impl->dead);
        pcap_close(m_Impl->dead);
        m_Impl->dead = nullptr;
        return false;
    }
    m_Impl->records = 0;
    return true;
}

void CPcapCaptureFile::Close() {
    std::lock_guard<std::mutex> lock(m_Lock);
    if (m_Impl->dumper) {
        pcap_dump_close(m_Impl->dumper);
        m_Impl->dumper = nullptr;
    }
    if (m_Impl->dead) {
        pcap_close(m_Impl->dead);
        m_Impl->dead = nullptr;
    }
}

bool CPcapCaptureFile::IsOpen() const {
    std::lock_guard<std::mutex> lock(m_Lock);
    return m_Impl->dumper != nullptr;
}

std::uint64_t CPcapCaptureFile::Records() const {
    std::lock_guard<std::mutex> lock(m_Lock);
    return m_Impl->records;
}

void CPcapCaptureFile::Write(const CaptureRecord& r) {
    std::lock_guard<std::mutex> lock(m_Lock);
    if (!m_Impl->dumper)
        return;
    const std::vector<unsigned char> data = EncodeCaptureRecord(r);
    pcap_pkthdr h{};
    h.ts.tv_sec = static_cast<time_t>(r.timeUs / 1000000);
    h.ts.tv_usec = static_cast<suseconds_t>(r.timeUs % 1000000);
    h.caplen = h.len = static_cast<bpf_u_int32>(data.size());
    pcap_dump(reinterpret_cast<u_char*>(m_Impl->dumper), &h, data.data());
    ++m_Impl->records;
}

#else
// Built without libpcap (the Windows build): captures cannot be written or read.
namespace {
const char* const kNoPcap = "link captures are not built into this program (no libpcap)";
}

struct CPcapCaptureFile::Impl {};

CPcapCaptureFile::CPcapCaptureFile() : m_Impl(std::make_unique<Impl>()) {}

CPcapCaptureFile::~CPcapCaptureFile() = default;

bool CPcapCaptureFile::Open(const std::string&, std::string& error) {
    error = kNoPcap;
    return false;
}

void CPcapCaptureFile::Close() {}

bool CPcapCaptureFile::IsOpen() const {
    return false;
}

std::uint64_t CPcapCaptureFile::Records() const {
    return 0;
}

void CPcapCaptureFile::Write(const CaptureRecord&) {}
#endif

void CPcapCaptureFile::Bytes(LinkDirection direction, const unsigned char* bytes, std::size_t count, int baud,
                             Time when) {
    CaptureRecord r;
    r.timeUs = Micros(when);
    r.direction = direction;
    r.baud = baud;
    r.bytes.assign(bytes, bytes + count);
    Write(r);
}

void CPcapCaptureFile::Speed(int baud, Time when) {
    CaptureRecord r;
    r.timeUs = Micros(when);
    r.flags = kCaptureSpeedChange;
    r.baud = baud;
    Write(r);
}

#if VQ5_HAVE_PCAP
bool ReadCaptureFile(const std::string& path, std::vector<CaptureRecord>& records, std::string& error) {
    char errbuf[PCAP_ERRBUF_SIZE] = {};
    pcap_t* p = pcap_open_offline_with_tstamp_precision(path.c_str(), PCAP_TSTAMP_PRECISION_MICRO, errbuf);
    if (!p) {
        error = errbuf;
        return false;
    }
    if (pcap_datalink(p) != kLinkTypeUser0) {
        error = "link type " + std::to_string(pcap_datalink(p)) + ", not a VQ-5 link capture (147)";
        pcap_close(p);
        return false;
    }
    records.clear();
    pcap_pkthdr* h = nullptr;
    const u_char* data = nullptr;
    int rc = 0;
    while ((rc = pcap_next_ex(p, &h, &data)) == 1) {
        CaptureRecord r;
        if (h->caplen != h->len || !DecodeCaptureRecord(data, h->caplen, r)) {
            error = "record " + std::to_string(records.size() + 1) + " is not a link record";
            pcap_close(p);
            return false;
        }
        r.timeUs = static_cast<std::int64_t>(h->ts.tv_sec) * 1000000 + h->ts.tv_usec;
        records.push_back(std::move(r));
    }
    if (rc == PCAP_ERROR) {
        error = pcap_geterr(p);
        pcap_close(p);
        return false;
    }
    pcap_close(p);
    return true;
}

#else
bool ReadCaptureFile(const std::string&, std::vector<CaptureRecord>&, std::string& error) {
    error = kNoPcap;
    return false;
}
#endif

bool WriteCaptureFile(const std::string& path, const std::vector<CaptureRecord>& records,
                      std::string& error) {
    CPcapCaptureFile file;
    if (!file.Open(path, error))
        return false;
    for (const auto& r : records) {
        if (r.SpeedChange())
            file.Speed(r.baud, ILinkCapture::Time(std::chrono::microseconds(r.timeUs)));
        else
            file.Bytes(r.direction, r.bytes.data(), r.bytes.size(), r.baud,
                       ILinkCapture::Time(std::chrono::microseconds(r.timeUs)));
    }
    file.Close();
    return true;
}

} // namespace vq5
