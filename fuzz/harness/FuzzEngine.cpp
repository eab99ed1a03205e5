// Harnesses of the protocol engine: the frame decoder and the message layer.
#include "FuzzHarness.h"
#include "FuzzInput.h"
#include "FuzzSupport.h"
#include "MemoryPort.h"

#include "FrameCodec.h"
#include "SettingsStore.h"
#include "TextCodec.h"
#include "VLPEngine.h"

#include <cstring>
#include <deque>

namespace vq5::fuzz {

namespace {

// An engine whose port is an in-memory port serving `events`; the port stays reachable.
struct CPortedEngine {
    CMemoryStore store;
    CSilentMessages messages;
    CVLPEngine engine{&store};
    CMemoryPort* port = nullptr;

    CPortedEngine(std::vector<ReadEvent> events, ReadEvent::Kind atEnd) {
        auto owned = std::make_unique<CMemoryPort>(std::move(events), atEnd);
        port = owned.get();
        auto shared = std::make_shared<std::unique_ptr<CMemoryPort>>(std::move(owned));
        engine.SetUserMessages(&messages);
        // The factory is asked once, when the engine first needs its port.
        engine.SetPortFactory([shared]() -> std::unique_ptr<ISerialPort> { return std::move(*shared); });
    }
};

// ---- the frame layer ---------------------------------------------------------------------------

struct RefFrame {
    FrameType type = FrameType::noframe;
    std::string payload; // info and crcerror: what m_Data holds up to m_Len
};

// A line as events: bytes, time-outs, failed reads; after the last event, `atEnd` for ever.
class CEventSource {
public:
    CEventSource(const std::vector<ReadEvent>& events, ReadEvent::Kind atEnd)
        : m_Events(events), m_AtEnd(atEnd) {}

    // A byte, -2 for a time-out, -1 for a failed read.
    int Next() {
        ReadEvent::Kind kind = m_Pos < m_Events.size() ? m_Events[m_Pos].kind : m_AtEnd;
        if (kind == ReadEvent::Byte)
            return m_Events[m_Pos++].byte;
        if (m_Pos < m_Events.size())
            ++m_Pos;
        return kind == ReadEvent::Timeout ? -2 : -1;
    }
    std::size_t Pos() const { return m_Pos; }

private:
    const std::vector<ReadEvent>& m_Events;
    ReadEvent::Kind m_AtEnd;
    std::size_t m_Pos = 0;
};

// The frame layer's rules as the PC reads a line, written out on their own (an oracle shares
// no code with what it checks).
class CRefDecoder : public CEventSource {
public:
    using CEventSource::CEventSource;

    RefFrame Decode() {
        RefFrame f;
        int b = Next();
        if (b == -2) {
            f.type = FrameType::timeout;
        } else if (b < 0) {
            f.type = FrameType::error;
        } else if (b == NUL) {
            f.type = Next() == EOT ? FrameType::eot : FrameType::noframe;
        } else if (b == 'P' || b == 'S') {
            // The byte that breaks the sequence is consumed, nothing after it.
            if (Next() != ADR || Next() != ENQ)
                f.type = FrameType::noframe;
            else
                f.type = b == 'P' ? FrameType::poll : FrameType::select;
        } else if (b == ADR) {
            int c = Next();
            while (c == ADR)
                c = Next();
            f.type = c == ACK ? FrameType::ack : c == NAK ? FrameType::nak : FrameType::noframe;
        } else if (b == SOH) {
            if (Next() != ADR || Next() != STX)
                f.type = FrameType::noframe;
            else
                Body(f);
        } else {
            f.type = FrameType::noframe;
        }
        return f;
    }

private:
    // Inside an information frame a time-out ends the frame as "crcerror" and a failed read
    // as "error", keeping what was read.
    void Body(RefFrame& f) {
        auto broken = [&f](int r) { f.type = r == -2 ? FrameType::crcerror : FrameType::error; };
        int block = Next();
        if (block < 0)
            return broken(block);
        int length = Next();
        if (length < 0)
            return broken(length);
        unsigned char a = static_cast<unsigned char>(block), b = static_cast<unsigned char>(length);
        for (int i = 0; i < length; ++i) {
            int d = Next();
            if (d < 0)
                return broken(d);
            f.payload += static_cast<char>(d);
            unsigned char nb = static_cast<unsigned char>(a ^ d);
            a = b;
            b = nb;
        }
        int etx = Next();
        if (etx < 0)
            return broken(etx);
        int c1 = Next();
        if (c1 < 0)
            return broken(c1);
        if (c1 != b) {
            f.type = FrameType::crcerror;
            return;
        }
        int c2 = Next();
        if (c2 < 0)
            return broken(c2);
        f.type = c2 == a ? FrameType::info : FrameType::crcerror;
    }
};

// The frame decoder fed events straight, one at a time: pulls the frames out of what the engine
// wrote, as the device reads them.
class CEventDecoder : public CEventSource {
public:
    CEventDecoder(const std::vector<ReadEvent>& events, ReadEvent::Kind atEnd)
        : CEventSource(events, atEnd), m_Decoder(FrameSide::Device) {}

    RefFrame Decode() {
        const DecodedFrame& d = m_Decoder.Read([this] { return Next(); });
        RefFrame f;
        f.type = d.type;
        if (d.hasBody)
            f.payload = d.payload;
        return f;
    }

private:
    CFrameDecoder m_Decoder;
};

std::string FrameText(const CVLPFrame& f) {
    int len = f.m_Len < 0 ? 0 : f.m_Len > 255 ? 255 : f.m_Len;
    return std::string(reinterpret_cast<const char*>(f.m_Data), static_cast<std::size_t>(len));
}

// Writes `payload` as an information frame and reads it back through a second engine.
void InfoRoundTrip(const char* h, const std::string& payload) {
    CPortedEngine out({}, ReadEvent::Timeout);
    std::memcpy(out.engine.m_Data, payload.data(), payload.size());
    out.engine.m_Len = static_cast<int>(payload.size());
    out.engine.PutInfoFrame();
    const std::vector<unsigned char> expected = InfoFrameBytes(payload);
    VQ5_FUZZ_CHECK(h, out.port->Written() == expected, "PutInfoFrame bytes of payload " + Hex(payload));

    const auto& w = out.port->Written();
    CPortedEngine in(EventsFromBytes(w.data(), w.size(), false), ReadEvent::Timeout);
    FrameType t = in.engine.GetFrame();
    VQ5_FUZZ_CHECK(h, t == FrameType::info, std::string("written frame reads back as ") + FrameTypeName(t));
    VQ5_FUZZ_CHECK(h, FrameText(in.engine) == payload, "payload read back " + Hex(FrameText(in.engine)));
    VQ5_FUZZ_CHECK(h, in.port->Exhausted(), "bytes left after a whole frame");
}

} // namespace

// Input: one flags byte, then the line. Flags: bit 0 the line fails after its last byte
// (else it goes quiet), bit 1 trace lines are taken, bit 2 the line uses escapes for
// time-outs and failures (MemoryPort.h).
int FuzzFrameDecoder(const std::uint8_t* data, std::size_t size) {
    static const char* h = "frame_decoder";
    if (size == 0)
        return 0;
    const std::uint8_t flags = data[0];
    const ReadEvent::Kind atEnd = flags & 1 ? ReadEvent::Failed : ReadEvent::Timeout;
    std::vector<ReadEvent> events = EventsFromBytes(data + 1, size - 1, (flags & 4) != 0);

    CPortedEngine e(events, atEnd);
    CCheckTraceSink trace(h);
    if (flags & 2)
        e.engine.SetTraceSink(&trace);
    CRefDecoder ref(events, atEnd);

    std::string lastInfo;
    bool haveInfo = false;
    // Every frame takes at least one event, so this ends.
    while (!e.port->Exhausted()) {
        const FrameType got = e.engine.GetFrame();
        const RefFrame want = ref.Decode();
        VQ5_FUZZ_CHECK(h, got == want.type,
                       std::string("frame ") + FrameTypeName(got) + ", expected " + FrameTypeName(want.type) +
                           " ending at event " + std::to_string(ref.Pos()));
        VQ5_FUZZ_CHECK(h, e.port->EventsUsed() == ref.Pos(),
                       "events used " + std::to_string(e.port->EventsUsed()) + ", expected " +
                           std::to_string(ref.Pos()));
        if (got == FrameType::info || got == FrameType::crcerror) {
            VQ5_FUZZ_CHECK(h, e.engine.m_Len >= 0 && e.engine.m_Len <= 255,
                           "m_Len " + std::to_string(e.engine.m_Len));
            if (e.engine.m_Len >= 0 && e.engine.m_Len <= 255)
                VQ5_FUZZ_CHECK(h, e.engine.m_Data[e.engine.m_Len] == 0, "no NUL after the payload");
            VQ5_FUZZ_CHECK(h, got != want.type || FrameText(e.engine) == want.payload,
                           "payload " + Hex(FrameText(e.engine)) + ", expected " + Hex(want.payload));
        }
        if (got == FrameType::info) {
            lastInfo = FrameText(e.engine);
            haveInfo = true;
        }
        if (got != want.type || e.port->EventsUsed() != ref.Pos())
            break; // the two readers are out of step now
    }

    // Writing: every received payload, or the line's own bytes, goes out and reads back alike.
    std::string payload =
        haveInfo ? lastInfo : std::string(reinterpret_cast<const char*>(data + 1), size - 1);
    if (payload.size() > 255)
        payload.resize(255);
    InfoRoundTrip(h, payload);

    // The control frames: the bytes of the table, read back as the same kind.
    static const FrameType kAll[] = {FrameType::eot,   FrameType::ack,     FrameType::nak,
                                     FrameType::poll,  FrameType::select,  FrameType::noframe,
                                     FrameType::error, FrameType::timeout, FrameType::crcerror};
    std::vector<unsigned char> all;
    for (FrameType t : kAll) {
        e.port->ClearWritten();
        e.engine.PutFrame(t);
        const std::vector<unsigned char> bytes = ControlFrameBytes(t);
        VQ5_FUZZ_CHECK(h, e.port->Written() == bytes, std::string("PutFrame bytes of ") + FrameTypeName(t));
        all.insert(all.end(), e.port->Written().begin(), e.port->Written().end());
    }
    CPortedEngine back(EventsFromBytes(all.data(), all.size(), false), ReadEvent::Timeout);
    for (FrameType t : kAll)
        if (!ControlFrameBytes(t).empty())
            VQ5_FUZZ_CHECK(h, back.engine.GetFrame() == t,
                           std::string("control frame reads back: ") + FrameTypeName(t));
    e.engine.SetTraceSink(nullptr);
    return 0;
}

// ---- the message layer ----------------------------------------------------------------------

namespace {

// A gate digit: the character less '0', less 7 more above '9'.
int GateDigit(char c) {
    return c > '9' ? c - '0' - 7 : c - '0';
}
bool Sign(char c) {
    return c == '>' || c == '<';
}

// The message layer as its rules describe it; the engine must do the same, notification for
// notification.
class CRefMessages {
public:
    std::deque<std::string> queue;
    bool idle = true;
    int queued = 0, sent = 0;
    int lastStatus = -1;
    char letter = 'P';
    unsigned major = 0, minor = 0;
    std::string ident;
    std::vector<Notification> posted;

    static long Progress(int q, int s) {
        return static_cast<long>((static_cast<unsigned long>(q) & 0xFFFFu) |
                                 ((static_cast<unsigned long>(s) & 0xFFFFu) << 16));
    }
    void Post(int kind, long value, std::string text = {}) {
        posted.push_back({kind, value, std::move(text)});
    }

    int Queue(std::string text) {
        if (text.size() > 99)
            text.resize(99);
        int position = static_cast<int>(queue.size());
        queued += static_cast<int>(text.size());
        queue.push_back(std::move(text));
        Post(nkQueueProgress, Progress(queued, sent));
        idle = false;
        return position;
    }

    std::string Address(const std::string& text) const {
        std::string r = text;
        std::size_t at = r.find("&P");
        if (at != std::string::npos)
            r[at + 1] = letter;
        return r;
    }

    bool Gates(const std::string& t) const {
        bool allowed = true;
        for (std::size_t pos = 0; pos + 2 < t.size() && Sign(t[pos + 2]); pos += 3) {
            const int gM = GateDigit(t[pos]), gm = GateDigit(t[pos + 1]);
            const int M = static_cast<int>(major), m = static_cast<int>(minor);
            const bool atLeast = M > gM || (M == gM && m >= gm);
            allowed = allowed && (t[pos + 2] == '>' ? atLeast : !atLeast);
        }
        return allowed;
    }

    // The text the engine is to send, or nullopt-like `sendIt` false.
    int Tx(std::string& out) {
        out.clear();
        if (queue.empty()) {
            if (!idle)
                Post(nkQueueEmpty, 0);
            idle = true;
            queued = sent = 0;
            return 0;
        }
        std::string text = std::move(queue.front());
        queue.pop_front();
        if (text.empty())
            return 0;
        bool send = true;
        std::size_t start = 0;
        if (text.size() >= 5 && Sign(text[2])) {
            send = Gates(text);
            start = text.size() >= 6 && Sign(text[5]) ? 6 : 3;
        }
        if (send) {
            out = text.substr(start);
            if (out.size() >= 2 && out[0] == '&' && out[1] == 'P')
                out[1] = letter;
            idle = false;
        }
        sent += static_cast<int>(text.size());
        Post(nkQueueProgress, Progress(queued, sent));
        return static_cast<int>(out.size());
    }

    void Rx(const std::string& text) {
        Post(nkReceived, 0, text);
        if (text.size() >= 3 && text[0] == '&' && text[1] == letter && text[2] == 'X') {
            major = minor = 0;
            Post(nkIdent, 0);
            return;
        }
        if (text.size() >= 7 && text[0] == '&' && text.compare(2, 5, "PVQ-5") == 0) {
            letter = text[1];
            ident = text.substr(3, 63);
            ident = ident.substr(0, ident.find('\0'));
            std::size_t paren = ident.find('(');
            if (paren != std::string::npos && paren + 2 < ident.size() &&
                IsDeviceHexDigit(ident[paren + 1]) && IsDeviceHexDigit(ident[paren + 2])) {
                major = static_cast<unsigned>(GateDigit(ident[paren + 1]));
                minor = static_cast<unsigned>(GateDigit(ident[paren + 2]));
            }
            Post(nkIdent, 1, ident);
        }
    }

    void Status(int status) {
        if (status == lastStatus)
            return;
        lastStatus = status;
        Post(nkLinkStatus, status);
    }
};

bool SameNotifications(const std::vector<Notification>& a, const std::vector<Notification>& b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i].kind != b[i].kind || a[i].value != b[i].value || a[i].text != b[i].text)
            return false;
    return true;
}

} // namespace

// Input: one flags byte (bit 0 trace lines are taken, bits 1-3 the fast speed index 0..7),
// then operations: a byte whose value mod 8 picks receive, queue, queue formatted, transmit,
// program-mode entry, exit, address a command, set the link status; texts are length-prefixed.
int FuzzMessageLayer(const std::uint8_t* data, std::size_t size) {
    static const char* h = "message_layer";
    CFuzzInput in(data, size);
    const std::uint8_t flags = in.Byte();

    CMemoryStore store;
    CVLPEngine e(&store);
    CSilentMessages boxes;
    e.SetUserMessages(&boxes);
    CCollectSink sink;
    e.SetNotifySink(&sink);
    CCheckTraceSink trace(h);
    if (flags & 1)
        e.SetTraceSink(&trace);
    e.m_FastBaudRate = (flags >> 1) & 7;

    CRefMessages ref;
    while (in.NextStep()) {
        const int op = in.Byte() % 8;
        std::string what;
        switch (op) {
        case 0: {
            std::string text = in.Text();
            what = "RxMessage(" + Hex(text) + ")";
            Receive(e, text);
            ref.Rx(text);
            break;
        }
        case 1: {
            std::string text = in.Text();
            what = "QueueText(" + Hex(text) + ")";
            int got = e.QueueText(text);
            int want = ref.Queue(text);
            VQ5_FUZZ_CHECK(h, got == want, what + " position " + std::to_string(got));
            break;
        }
        case 2: {
            std::string text = in.Text();
            what = "QueueMessage(" + Hex(text) + ")";
            e.QueueMessage("%s", text.c_str());
            ref.Queue(text.substr(0, text.find('\0')));
            break;
        }
        case 3: {
            what = "TxMessage()";
            std::memset(e.m_Data, 0xA5, sizeof e.m_Data);
            int got = e.TxMessage(e.m_Data);
            std::string want;
            int wantLen = ref.Tx(want);
            VQ5_FUZZ_CHECK(h, got == wantLen, what + " = " + std::to_string(got) + ", expected " + Hex(want));
            if (got == wantLen && got > 0) {
                std::string sentText(reinterpret_cast<const char*>(e.m_Data), static_cast<std::size_t>(got));
                VQ5_FUZZ_CHECK(h, sentText == want,
                               what + " sent " + Hex(sentText) + ", expected " + Hex(want));
                VQ5_FUZZ_CHECK(h, e.m_Data[got] == 0, what + " no terminator");
                VQ5_FUZZ_CHECK(h, e.m_Len == got, what + " m_Len " + std::to_string(e.m_Len));
            }
            break;
        }
        case 4:
            what = "EnterProgramMode()";
            e.EnterProgramMode();
            ref.Queue("$PRG");
            if (int fast = e.m_FastBaudRate.load(); fast >= 1 && fast <= 5)
                ref.Queue(ref.Address("84>&PS" + std::to_string(fast)));
            break;
        case 5: {
            const bool reboot = in.Bool();
            what = reboot ? "LeaveProgramMode(true)" : "LeaveProgramMode(false)";
            e.LeaveProgramMode(reboot);
            ref.Queue(ref.Address(reboot ? "&PXR" : e.m_FastBaudRate.load() != 0 ? "&PX0" : "&PX"));
            break;
        }
        case 6: {
            std::string text = in.Text();
            what = "AddressCommand(" + Hex(text) + ")";
            VQ5_FUZZ_CHECK(h, e.AddressCommand(text) == ref.Address(text), what);
            break;
        }
        case 7: {
            const int status = in.Byte() % 8;
            what = "SetStatus(" + std::to_string(status) + ")";
            e.SetStatus(status);
            ref.Status(status);
            break;
        }
        }
        std::vector<Notification> got = sink.Take();
        VQ5_FUZZ_CHECK(h, SameNotifications(got, ref.posted),
                       what + " notified " + Describe(got) + ", expected " + Describe(ref.posted));
        ref.posted.clear();
        VQ5_FUZZ_CHECK(h, e.DeviceLetter() == ref.letter, what + " device letter");
        VQ5_FUZZ_CHECK(h, e.VersionMajor() == ref.major && e.VersionMinor() == ref.minor,
                       what + " device version");
        VQ5_FUZZ_CHECK(h, e.VersionMajor() <= 15 && e.VersionMinor() <= 15, what + " version digit above 15");
        VQ5_FUZZ_CHECK(h, e.Identification() == ref.ident,
                       what + " identification " + Hex(e.Identification()));
        VQ5_FUZZ_CHECK(h, e.Identification().size() <= 63, what + " identification longer than 63");
        VQ5_FUZZ_CHECK(h, e.QueueLength() == ref.queue.size(), what + " queue length");
    }
    e.SetTraceSink(nullptr);
    e.SetNotifySink(nullptr);
    return 0;
}

// ---- the slave state engine over a scripted line ---------------------------------------------

namespace {
// The text the engine sends for a queued text, with the device letter left open ('?').
std::string SendForm(const std::string& t) {
    std::size_t start = 0;
    if (t.size() >= 5 && Sign(t[2]))
        start = t.size() >= 6 && Sign(t[5]) ? 6 : 3;
    std::string out = t.substr(start);
    if (out.size() >= 2 && out[0] == '&' && out[1] == 'P')
        out[1] = '?';
    return out;
}
} // namespace

// Input: flags (bit 0 the line fails after its last byte, bit 1 trace lines are taken, bit 2
// escapes), the number of texts to queue (0..7) and the length-prefixed texts, then the
// device's side of the line. The state engine runs step by step (no thread, no pauses) until
// the line is used up and it is idle again.
int FuzzSlaveLink(const std::uint8_t* data, std::size_t size) {
    static const char* h = "slave_link";
    CFuzzInput in(data, size);
    const std::uint8_t flags = in.Byte();
    const int texts = in.Byte() % 8;
    std::vector<std::string> queued;
    for (int i = 0; i < texts; ++i)
        queued.push_back(in.Text().substr(0, kMaxMessage));
    const std::string line = in.Rest();
    const ReadEvent::Kind atEnd = flags & 1 ? ReadEvent::Failed : ReadEvent::Timeout;
    std::vector<ReadEvent> events =
        EventsFromBytes(reinterpret_cast<const unsigned char*>(line.data()), line.size(), (flags & 4) != 0);

    CPortedEngine e(events, atEnd);
    CCollectSink sink;
    e.engine.SetNotifySink(&sink);
    CCheckTraceSink trace(h);
    if (flags & 2)
        e.engine.SetTraceSink(&trace);
    e.engine.m_Run = false; // no worker: every pause returns at once
    for (const std::string& t : queued)
        e.engine.QueueText(t);

    const std::size_t limit = 8 * events.size() + 64;
    for (std::size_t step = 0; step < limit; ++step) {
        if (e.port->Exhausted() && e.engine.m_State.load() == sIdle)
            break;
        e.engine.StateEngine();
        VQ5_FUZZ_CHECK(h, e.engine.m_Len >= 0 && e.engine.m_Len <= 255,
                       "m_Len " + std::to_string(e.engine.m_Len));
        VQ5_FUZZ_CHECK(h, e.engine.m_State.load() >= sInit && e.engine.m_State.load() <= sRxNOk, "state");
    }

    // The frames the device sent, in the order the engine read them.
    CRefDecoder ref(events, atEnd);
    std::vector<std::string> infos;
    while (ref.Pos() < events.size()) {
        RefFrame f = ref.Decode();
        if (f.type == FrameType::info)
            infos.push_back(f.payload);
    }
    // Received texts are the good information frames, in order, none made up.
    std::size_t next = 0;
    for (const Notification& n : sink.items) {
        if (n.kind != nkReceived)
            continue;
        while (next < infos.size() && infos[next] != n.text)
            ++next;
        VQ5_FUZZ_CHECK(h, next < infos.size(), "received a text the device did not send: " + Hex(n.text));
        if (next < infos.size())
            ++next;
    }

    // What the engine wrote is whole frames: ACK, NAK, EOT and information frames carrying
    // queued texts only.
    const auto& w = e.port->Written();
    std::vector<ReadEvent> outEvents = EventsFromBytes(w.data(), w.size(), false);
    CEventDecoder out(outEvents, ReadEvent::Timeout);
    while (out.Pos() < outEvents.size()) {
        RefFrame f = out.Decode();
        VQ5_FUZZ_CHECK(h,
                       f.type == FrameType::ack || f.type == FrameType::nak || f.type == FrameType::eot ||
                           f.type == FrameType::info,
                       std::string("the engine wrote a ") + FrameTypeName(f.type) + " frame");
        if (f.type != FrameType::info)
            continue;
        std::string form = f.payload;
        if (form.size() >= 2 && form[0] == '&')
            form[1] = '?';
        bool known = false;
        for (const std::string& t : queued) {
            std::string want = SendForm(t);
            if (want.size() >= 2 && want[0] == '&')
                want[1] = '?';
            known = known || want == form;
        }
        VQ5_FUZZ_CHECK(h, known, "sent a text nobody queued: " + Hex(f.payload));
    }
    e.engine.SetTraceSink(nullptr);
    e.engine.SetNotifySink(nullptr);
    return 0;
}

} // namespace vq5::fuzz
