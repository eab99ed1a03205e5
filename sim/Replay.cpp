#include "Replay.h"

#include "VLPIO.h"

#include <algorithm>
#include <thread>

namespace vq5::sim {

namespace {
std::string Text(const std::vector<unsigned char>& bytes) {
    return ByteText(bytes.size(), bytes.data());
}

// An answer that is nothing but EOT frames (the PC's answer to a poll with nothing to send).
bool OnlyEot(const std::vector<unsigned char>& bytes) {
    if (bytes.size() % 2 != 0)
        return false;
    for (std::size_t i = 0; i < bytes.size(); i += 2)
        if (bytes[i] != 0x00 || bytes[i + 1] != 0x04)
            return false;
    return true;
}

// Generous, so that a loaded machine (a PC process not scheduled for a while) is not taken for
// a PC that answers otherwise.
constexpr int kMaxPauseMs = 10000;   // a longer silence in the capture is shortened to this
constexpr int kAnswerSlackMs = 1500; // the PC may start its answer this much later than recorded
constexpr int kByteGapMs = 1000;     // the longest pause inside one answer
constexpr int kStallMs = 2000;       // a PC that reads nothing this long has gone
} // namespace

std::vector<ReplayTurn> ReplayTurns(const std::vector<CaptureRecord>& records) {
    std::vector<ReplayTurn> turns;
    for (const auto& r : records) {
        if (r.SpeedChange() || r.bytes.empty())
            continue;
        if (r.direction == LinkDirection::DeviceToPc) {
            if (turns.empty() || !turns.back().answer.empty()) {
                turns.push_back({});
                turns.back().deviceUs = r.timeUs;
            }
            auto& d = turns.back().device;
            d.insert(d.end(), r.bytes.begin(), r.bytes.end());
        } else {
            if (turns.empty())
                continue; // the PC spoke before the device: nothing to answer to
            ReplayTurn& t = turns.back();
            if (t.answer.empty())
                t.answerUs = r.timeUs;
            t.answer.insert(t.answer.end(), r.bytes.begin(), r.bytes.end());
            t.answerEndUs = r.timeUs;
        }
    }
    return turns;
}

std::vector<unsigned char> CReplayDevice::ReadAnswer(std::size_t expected, int firstByteMs, int afterMs) {
    std::vector<unsigned char> got;
    int wait = firstByteMs;
    for (;;) {
        // Past the recorded length, the device's pause before its next run: bytes that come
        // then are more than the capture has.
        if (expected > 0 && got.size() >= expected)
            wait = afterMs;
        const int b = m_Port.ReadByte(wait);
        if (b < 0)
            return got;
        got.push_back(static_cast<unsigned char>(b));
        wait = kByteGapMs;
    }
}

ReplayResult CReplayDevice::Play(int startWaitMs,
                                 const std::function<void(const ReplayDifference&)>& report) {
    ReplayResult result;
    result.total = m_Turns.size();
    if (m_Turns.empty())
        return result;
    const std::int64_t origin = m_Turns.front().deviceUs;
    // Polls answered with EOT before the tool had anything to say only tell how long it took
    // to start: the replay begins with the first exchange in which the PC said more.
    std::size_t first = 0;
    while (first < m_Turns.size() && OnlyEot(m_Turns[first].answer) && !m_Turns[first].answer.empty())
        ++first;
    if (first == m_Turns.size())
        first = 0;
    const auto begin = CLinePort::Clock::now();
    auto waited = [&] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(CLinePort::Clock::now() - begin).count();
    };
    bool synced = false;
    for (std::size_t i = first; i < m_Turns.size(); ++i) {
        const ReplayTurn& t = m_Turns[i];
        if (!m_Port.Write(t.device))
            break;
        if (!m_Port.WaitPeerRead(kStallMs)) {
            if (!synced) {
                // No PC yet: offer the first run again until one reads it.
                if (waited() > startWaitMs)
                    return result;
                --i;
                continue;
            }
            result.pcLeft = true;
            // The PC went: a difference only when it still had something other than EOT to say.
            for (std::size_t k = i; k < m_Turns.size(); ++k)
                if (!OnlyEot(m_Turns[k].answer)) {
                    ReplayDifference d{k + 1, static_cast<double>(m_Turns[k].deviceUs - origin) / 1e6,
                                       Text(m_Turns[k].device), Text(m_Turns[k].answer), "(the PC had gone)"};
                    report(d);
                    result.differences.push_back(d);
                    break;
                }
            break;
        }
        result.started = true;
        ++result.exchanges;
        // The answer: it began within its recorded delay (plus slack); with none recorded, the
        // PC must stay silent until the device's next run.
        std::int64_t firstMs =
            t.answer.empty() ? (i + 1 < m_Turns.size() ? (m_Turns[i + 1].deviceUs - t.deviceUs) / 1000 : 100)
                             : (t.answerUs - t.deviceUs) / 1000 + kAnswerSlackMs;
        firstMs = std::clamp<std::int64_t>(firstMs, 1, kMaxPauseMs);
        // The device's pause after the answer, as recorded (the read above waits it out).
        const std::int64_t pauseMs =
            i + 1 < m_Turns.size()
                ? std::clamp<std::int64_t>((m_Turns[i + 1].deviceUs - t.answerEndUs) / 1000, 0, kMaxPauseMs)
                : 0;
        const std::vector<unsigned char> got =
            ReadAnswer(t.answer.size(), static_cast<int>(firstMs), static_cast<int>(pauseMs));
        if (!synced && got != t.answer && (got.empty() || OnlyEot(got)) && waited() <= startWaitMs) {
            // The tool has opened the port but has nothing to say yet: poll it again.
            --result.exchanges;
            if (!m_Port.Sleep(20))
                break;
            --i;
            continue;
        }
        synced = true;
        if (got != t.answer) {
            ReplayDifference d{i + 1, static_cast<double>(t.deviceUs - origin) / 1e6, Text(t.device),
                               Text(t.answer), Text(got)};
            report(d);
            result.differences.push_back(d);
        }
    }
    return result;
}

} // namespace vq5::sim
