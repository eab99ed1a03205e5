#include "Link.h"

#include "HexBytes.h"
#include "PcView.h"
#include "VLPIO.h"

#include <algorithm>
#include <cstdio>

namespace vq5::sim {

namespace {

constexpr int kAbortAnswerMs = 50;
constexpr int kFillerAnswerMs = 30;
constexpr int kUnstickStallMs = 30;
constexpr int kSecondAckMs = 20;
constexpr unsigned char kFiller = 0xFF; // starts no frame: neither NUL, SOH, 'P', 'S' nor ADR
constexpr int kPeerStallMs = 600;
constexpr std::size_t kHistoryLimit = 100000;
constexpr int kSelectTries = 8;

bool ContainsEot(const std::vector<unsigned char>& bytes) {
    for (std::size_t i = 0; i + 1 < bytes.size(); ++i)
        if (bytes[i] == NUL && bytes[i + 1] == EOT)
            return true;
    return false;
}

bool ContainsAck(const std::vector<unsigned char>& bytes) {
    for (std::size_t i = 0; i + 1 < bytes.size(); ++i)
        if (bytes[i] == ADR && bytes[i + 1] == ACK)
            return true;
    return false;
}

} // namespace

CLink::CLink(const SimOptions& options, CLinePort& port, SimShared& shared, FaultPlan plan)
    : m_Options(options), m_Port(port), m_Shared(shared), m_Faults(plan, options.seed),
      m_Start(CLinePort::Clock::now()) {}

std::uint64_t CLink::DeliveredCount() {
    std::lock_guard<std::mutex> lock(m_Shared.lock);
    return m_Shared.counters.messagesDelivered;
}

void CLink::Count(const std::function<void(LinkCounters&)>& f) {
    std::lock_guard<std::mutex> lock(m_Shared.lock);
    f(m_Shared.counters);
}

void CLink::Log(const char* dir, const std::string& what, const std::vector<unsigned char>& bytes) {
    if (!m_Options.log)
        return;
    const double t = std::chrono::duration<double>(CLinePort::Clock::now() - m_Start).count();
    char head[64];
    std::snprintf(head, sizeof head, "%11.6f %s ", t, dir);
    std::string line = head + what;
    if (!bytes.empty())
        line += "  [" + HexBytes(bytes) + "]";
    if (m_Options.logSink)
        m_Options.logSink(line);
    else
        std::fprintf(stderr, "%s\n", line.c_str());
}

// ---------------------------------------------------------------------------------------
// Writing

bool CLink::Send(const std::vector<unsigned char>& bytes, const char* what, bool faults,
                 const std::string* payload) {
    std::vector<unsigned char> out;
    std::string notes;
    if (faults) {
        out.reserve(bytes.size() + 1);
        for (unsigned char b : bytes) {
            switch (m_Faults.ByteFault()) {
            case Fault::Flip:
                out.push_back(static_cast<unsigned char>(b ^ m_Faults.FlipMask()));
                notes += " (byte damaged)";
                break;
            case Fault::Drop:
                notes += " (byte dropped)";
                break;
            case Fault::Noise:
                out.push_back(m_Faults.NoiseByte());
                out.push_back(b);
                notes += " (noise)";
                break;
            default:
                out.push_back(b);
            }
        }
        // Damage no receiver could catch is left out: the frame goes as it was.
        if (payload && !notes.empty() && ViewOfFrame(out, *payload) == PcView::Misread) {
            out = bytes;
            notes = " (damage undetectable by the check bytes: left out)";
        }
    } else {
        out = bytes;
    }
    Log("dev>pc", what + notes, out);
    return m_Port.Write(out);
}

bool CLink::SendControl(FrameType type) {
    return Send(ControlFrameBytes(type), FrameTypeName(type));
}

bool CLink::SendAck() {
    std::vector<unsigned char> bytes = ControlFrameBytes(FrameType::ack);
    const char* what = "ack";
    if (m_Faults.Fire(Fault::Adr)) {
        bytes = {ADR, ADR, ADR, ACK};
        what = "ack (ADR repeated)";
    }
    return Send(bytes, what);
}

bool CLink::SendInfo(const std::string& text) {
    unsigned char block = 0;
    std::string what = "info \"" + text + "\"";
    if (m_Faults.Fire(Fault::Block)) {
        block = m_Faults.OtherBlockByte();
        what += " (block byte not 0)";
    }
    std::vector<unsigned char> bytes = InfoFrameBytes(text, block);
    if (m_Faults.Fire(Fault::Check)) {
        const std::size_t at = bytes.size() - 2 + m_Faults.Random(2);
        bytes[at] = static_cast<unsigned char>(bytes[at] ^ m_Faults.FlipMask());
        what += " (check byte corrupted)";
    }
    Count([](LinkCounters& c) { ++c.framesSent; });
    const std::vector<unsigned char> good = InfoFrameBytes(text, block);
    if (bytes != good && ViewOfFrame(bytes, text) == PcView::Misread) {
        bytes = good; // a corrupted check byte can never make a good frame, but keep the rule whole
    }
    return Send(bytes, what.c_str(), true, &text);
}

// ---------------------------------------------------------------------------------------
// Reading

RxFrame CLink::ReadFrame(int timeoutMs) {
    RxFrame r;
    const int gapMs = static_cast<int>(std::max(m_Options.answerTimeoutMs, 50u));
    auto next = [&](int ms) {
        int b = m_Port.ReadByte(ms);
        if (b >= 0)
            r.raw.push_back(static_cast<unsigned char>(b));
        return b;
    };
    auto finish = [&](FrameType t) {
        r.type = t;
        if (t == FrameType::info)
            Log("pc>dev", "info \"" + r.text + "\"", r.raw);
        else if (t != FrameType::timeout)
            Log("pc>dev", FrameTypeName(t), r.raw);
        return r;
    };
    CFrameDecoder decoder(FrameSide::Device);
    for (;;) {
        const DecodedFrame& f = decoder.Read([&] { return next(r.raw.empty() ? timeoutMs : gapMs); });
        if (f.junk)
            continue; // a byte that starts no frame of the PC: skip it and look for one
        if (f.type == FrameType::timeout && !r.raw.empty())
            return finish(FrameType::noframe);
        if (f.type == FrameType::info || f.type == FrameType::crcerror)
            r.text = f.payload;
        return finish(f.type);
    }
}

RxFrame CLink::ReadAnswer() {
    if (!m_Port.WaitPeerRead(kPeerStallMs)) {
        // The PC reads nothing (its port is closed, or it is gone): no answer will come.
        RxFrame r;
        r.type = m_Port.Interrupted() ? FrameType::error : FrameType::timeout;
        return r;
    }
    RxFrame r = ReadFrame(static_cast<int>(m_Options.answerTimeoutMs));
    if (r.type != FrameType::timeout && r.type != FrameType::error && m_Pc == PcState::SelectEndUnverified)
        SetPc(PcState::Idle); // the PC answers: the EOT that ended the select arrived
    return r;
}

void CLink::SetPc(PcState next) {
    m_Pc = next;
}

void CLink::PcSilent() {
    Count([](LinkCounters& c) { ++c.silences; });
    if (m_Pc == PcState::WaitsForAnswer)
        SetPc(PcState::Idle); // the poll ended its wait for an answer, quietly
    else if (m_Pc == PcState::SelectEndUnverified)
        SetPc(PcState::MayBeInSelect); // the EOT that ended a select may not have arrived
}

// ---------------------------------------------------------------------------------------
// The device's side of the exchanges

void CLink::ApplySpeed(int index) {
    if (index < 0 || index > 5)
        return;
    const int baud = kSpeedTable[index];
    if (baud != m_Port.Baud()) {
        Log("----", "line speed " + std::to_string(baud) + " baud", {});
        m_Port.SetBaud(baud);
    }
    m_Settle = true;
}

void CLink::ConfirmTaken() {
    m_ExpectRepeat = false;
    if (m_PendingSpeed >= 0) {
        ApplySpeed(m_PendingSpeed);
        m_PendingSpeed = -1;
    }
}

void CLink::Deliver(const std::string& text) {
    DeviceAction action;
    DeviceState copy;
    {
        std::lock_guard<std::mutex> lock(m_Shared.lock);
        ++m_Shared.counters.messagesTaken;
        if (m_Shared.taken.size() < kHistoryLimit)
            m_Shared.taken.push_back(text);
        action = m_Shared.device->Handle(text, CLinePort::Clock::now());
        for (auto& reply : action.replies)
            m_Shared.toPc.push_back(reply);
        if (action.stateChanged)
            copy = m_Shared.device->State();
    }
    m_LastTaken = text;
    if (action.speedIndex >= 0)
        m_PendingSpeed = action.speedIndex;
    if (action.stateChanged && onStateChanged)
        onStateChanged(copy);
}

void CLink::TakeFrame(std::string text) {
    // The PC answered a poll with a frame and now waits for ACK or NAK.
    SetPc(PcState::WaitsForAnswer);
    for (unsigned attempt = 0; attempt <= m_Options.maxRetries; ++attempt) {
        const bool repeat = m_ExpectRepeat && text == m_LastTaken;
        if (!repeat && m_ExpectRepeat) {
            // Another frame: the PC did see the ACK of the one before after all.
            ConfirmTaken();
        }
        if (!repeat) {
            if (m_Faults.Fire(Fault::Silent)) {
                Log("----", "no answer (fault)", {});
                return; // the PC keeps its frame and waits for its own time-out or the next poll
            }
            if (m_Faults.Fire(Fault::Nak)) {
                SendControl(FrameType::nak);
                Count([](LinkCounters& c) { ++c.naksSent; });
                RxFrame r = ReadAnswer();
                if (r.type == FrameType::info) {
                    text = r.text; // sent again at once
                    continue;
                }
                SetPc(PcState::Idle);
                if (r.type == FrameType::eot) {
                    // The NAK reached the PC as an ACK: the PC let the frame go, so take it.
                    Deliver(text);
                    ConfirmTaken();
                } else if (r.type == FrameType::noframe) {
                    // Something that may be a damaged EOT (a real line): take the frame, and
                    // should it come again, know it for a repeat.
                    Deliver(text);
                    m_ExpectRepeat = true;
                } else if (r.type == FrameType::timeout) {
                    Count([](LinkCounters& c) { ++c.silences; });
                }
                return;
            }
        }
        if (m_Faults.Fire(Fault::Late)) {
            Log("----", "answer late (fault)", {});
            if (!m_Port.Sleep(static_cast<int>(m_Options.lateMs)))
                return;
        }
        if (repeat) {
            Count([](LinkCounters& c) { ++c.repeatsIgnored; });
            Log("----", "repeat of a frame already taken", {});
        } else {
            Deliver(text);
        }
        SendAck();
        RxFrame r = ReadAnswer();
        if (r.type == FrameType::info) {
            // The ACK reached the PC as a NAK: it sent the frame again at once.
            m_ExpectRepeat = true;
            text = r.text;
            continue;
        }
        SetPc(PcState::Idle);
        if (r.type == FrameType::timeout || r.type == FrameType::error) {
            // No EOT: the PC did not see the ACK, keeps its frame and sends it again.
            if (r.type == FrameType::timeout)
                Count([](LinkCounters& c) { ++c.silences; });
            m_ExpectRepeat = true;
            return;
        }
        // EOT (or what is left of one): the PC has let the frame go.
        ConfirmTaken();
        return;
    }
    // Too many rounds: leave the PC to its time-out; its frame comes again.
    m_ExpectRepeat = true;
}

void CLink::HandlePollAnswer(const RxFrame& r) {
    switch (r.type) {
    case FrameType::eot:
        SetPc(PcState::Idle);
        if (m_ExpectRepeat)
            ConfirmTaken(); // the PC has nothing left: it had seen the ACK
        break;
    case FrameType::info:
        TakeFrame(r.text);
        break;
    case FrameType::ack:
        // The PC acknowledged as if selected: it now waits for a frame.
        SetPc(PcState::MayBeInSelect);
        SendMessage();
        break;
    case FrameType::nak:
        // Only a PC waiting in a select NAKs: it ended a frame the device did not mean.
        SetPc(PcState::MayBeInSelect);
        Count([](LinkCounters& c) { ++c.naksReceived; });
        break;
    case FrameType::timeout:
        PcSilent();
        break;
    case FrameType::crcerror:
    case FrameType::noframe: {
        // A damaged frame (a real line): ask for it again.
        SendControl(FrameType::nak);
        Count([](LinkCounters& c) { ++c.naksSent; });
        RxFrame again = ReadAnswer();
        if (again.type == FrameType::info)
            TakeFrame(again.text);
        break;
    }
    default:
        break;
    }
}

void CLink::SendMessage() {
    std::string message;
    {
        std::lock_guard<std::mutex> lock(m_Shared.lock);
        if (m_Shared.toPc.empty())
            return; // nothing after all: the next step ends the select with EOT
        message = m_Shared.toPc.front();
    }
    auto delivered = [&] {
        {
            std::lock_guard<std::mutex> lock(m_Shared.lock);
            if (!m_Shared.toPc.empty())
                m_Shared.toPc.pop_front();
            ++m_Shared.counters.messagesDelivered;
            if (m_Shared.delivered.size() < kHistoryLimit)
                m_Shared.delivered.push_back(message);
        }
        SetPc(PcState::Idle);
    };
    for (unsigned attempt = 0; attempt <= m_Options.maxRetries; ++attempt) {
        if (!SendInfo(message))
            return;
        RxFrame r = ReadAnswer();
        if (r.type == FrameType::ack) {
            delivered();
            return;
        }
        if (r.type == FrameType::nak) {
            Count([](LinkCounters& c) { ++c.naksReceived; });
        } else if (r.type == FrameType::timeout) {
            Count([](LinkCounters& c) { ++c.silences; });
            // Nothing came: either the PC did not see a frame start and still waits for one,
            // or a byte was lost and it waits inside the frame for one more. One filler byte
            // (it starts no frame) ends such a frame at once, and the PC NAKs it.
            Send({kFiller}, "filler", false);
            Count([](LinkCounters& c) { ++c.fillerBytes; });
            if (m_Port.WaitPeerRead(kPeerStallMs)) {
                RxFrame f = ReadFrame(kFillerAnswerMs);
                if (f.type == FrameType::ack) {
                    delivered(); // the filler stood in for a lost last check byte that it equals
                    return;
                }
                if (f.type == FrameType::nak) {
                    Count([](LinkCounters& c) { ++c.naksReceived; });
                    continue;
                }
            }
            // Still nothing: a damaged length byte may hold the PC inside a long frame.
            Unstick();
        } else if (r.type == FrameType::error) {
            return;
        }
        // NAK or nothing: the PC is still in the select, waiting for a good frame.
    }
    // Given up for now: the select is ended with EOT before the next exchange.
    SetPc(PcState::SelectGivenUp);
}

void CLink::Unstick() {
    // Enough filler bytes to end the longest frame the PC may be reading (length byte, 255
    // payload bytes, ETX, two check bytes). A PC waiting for a frame start reads them as
    // nothing and waits on. A PC that reads them slowly is not inside a frame but pausing
    // after a bad frame: what it has not read when it stalls is taken back.
    Send(std::vector<unsigned char>(258, kFiller), "filler x258", false);
    Count([](LinkCounters& c) { c.fillerBytes += 258; });
    if (m_Port.WaitPeerRead(kUnstickStallMs)) {
        RxFrame f = ReadFrame(kFillerAnswerMs);
        if (f.type == FrameType::nak)
            Count([](LinkCounters& c) { ++c.naksReceived; });
    }
}

void CLink::AbortSelect() {
    Unstick();
    SendControl(FrameType::eot);
    // Unverified until the PC answers something again.
    if (!m_Port.WaitPeerRead(kPeerStallMs)) {
        SetPc(PcState::SelectEndUnverified);
        return;
    }
    RxFrame r = ReadFrame(kAbortAnswerMs);
    // A NAK means the PC was still inside a frame (it took the EOT as part of it) and waits on.
    SetPc(r.type == FrameType::nak ? PcState::MayBeInSelect : PcState::SelectEndUnverified);
}

void CLink::PollExchange() {
    Count([](LinkCounters& c) {
        ++c.exchanges;
        ++c.polls;
    });
    if (!SendControl(FrameType::poll))
        return;
    HandlePollAnswer(ReadAnswer());
}

void CLink::SelectExchange() {
    Count([](LinkCounters& c) {
        ++c.exchanges;
        ++c.selects;
    });
    if (!SendControl(FrameType::select))
        return;
    RxFrame r = ReadAnswer();
    const bool lateAckPossible = m_SelectWentSilent;
    m_SelectWentSilent = false;
    switch (r.type) {
    case FrameType::ack:
        SetPc(PcState::MayBeInSelect);
        if (lateAckPossible && m_Port.WaitPeerRead(kPeerStallMs)) {
            // The select before this one went unanswered in time: this ACK may be its late
            // answer, and the PC, already waiting, acknowledges this select as well. Take
            // that second ACK here, or it would pass for the ACK of the frame.
            RxFrame second = ReadFrame(kSecondAckMs);
            if (second.type != FrameType::ack && second.type != FrameType::timeout)
                Log("----", "unexpected answer after the select's ACK", second.raw);
        }
        SendMessage();
        break;
    case FrameType::eot:
    case FrameType::info:
        // The select reached the PC as a poll.
        HandlePollAnswer(r);
        break;
    case FrameType::timeout:
        m_SelectWentSilent = true;
        PcSilent();
        break;
    case FrameType::nak:
        SetPc(PcState::MayBeInSelect);
        Count([](LinkCounters& c) { ++c.naksReceived; });
        break;
    default:
        break;
    }
}

bool CLink::Step() {
    if (!m_Port.IsOpen() || m_Port.Interrupted())
        return false;
    int gap = static_cast<int>(m_Options.pollGapMs);
    if (m_Settle) {
        gap = std::max(gap, static_cast<int>(m_Options.settleMs));
        m_Settle = false;
    }
    if (!m_Port.Sleep(gap))
        return false;

    const std::vector<unsigned char> stale = m_Port.Discard();
    const bool gaveUp = m_Pc == PcState::SelectGivenUp;
    if (gaveUp)
        SetPc(PcState::MayBeInSelect);
    if (!stale.empty()) {
        Log("pc>dev", "late bytes, dropped", stale);
        if (m_ExpectRepeat && ContainsEot(stale))
            ConfirmTaken(); // the EOT after the ACK came late, but it came
        if (ContainsAck(stale)) {
            if (gaveUp) {
                // The frame given up on was acknowledged after all, only late.
                std::lock_guard<std::mutex> lock(m_Shared.lock);
                if (!m_Shared.toPc.empty()) {
                    if (m_Shared.delivered.size() < kHistoryLimit)
                        m_Shared.delivered.push_back(m_Shared.toPc.front());
                    m_Shared.toPc.pop_front();
                    ++m_Shared.counters.messagesDelivered;
                }
                SetPc(PcState::Idle);
            } else {
                SetPc(PcState::MayBeInSelect); // a select was acknowledged late: the PC waits for a frame
            }
        }
    }

    bool haveOut;
    {
        std::lock_guard<std::mutex> lock(m_Shared.lock);
        if (m_Options.onboardTraffic)
            for (auto& m : m_Shared.device->Tick(CLinePort::Clock::now(), m_Options.onboardPeriodMs))
                m_Shared.toPc.push_back(m);
        haveOut = !m_Shared.toPc.empty();
    }

    if (m_Pc == PcState::MayBeInSelect)
        AbortSelect();

    // The device hands over what it has before it polls again (so the PC has the
    // identification before it sends the next command), unless selects keep failing.
    const bool doSelect = haveOut && m_FailedSelects < kSelectTries;
    if (doSelect) {
        const std::uint64_t before = DeliveredCount();
        SelectExchange();
        if (DeliveredCount() == before)
            ++m_FailedSelects;
        else
            m_FailedSelects = 0;
    } else {
        m_FailedSelects = 0;
        PollExchange();
    }

    {
        std::lock_guard<std::mutex> lock(m_Shared.lock);
        m_Shared.counters.bytesIn = m_Port.BytesIn();
        m_Shared.counters.bytesOut = m_Port.BytesOut();
        m_Shared.counters.wireSeconds = m_Port.WireSeconds();
        m_Shared.counters.faultsInjected = m_Faults.InjectedTotal();
    }
    if (onChange)
        onChange();
    return m_Port.IsOpen() && !m_Port.Interrupted();
}

} // namespace vq5::sim
