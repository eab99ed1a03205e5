// CStallMeter: how late a 10 ms timer on the GUI thread fires, the GUI's stalls.
#pragma once

#include "BenchSupport.h"

#include <QObject>
#include <QTimer>

#include <cstdio>
#include <functional>
#include <utility>
#include <vector>

namespace vq5::bench {

// Lateness of a 10 ms timer: how much longer than 10 ms each interval took.
class CStallMeter {
public:
    CStallMeter() {
        m_Timer.setTimerType(Qt::PreciseTimer);
        m_Timer.setInterval(10);
        QObject::connect(&m_Timer, &QTimer::timeout, [this] {
            const std::int64_t now = NowNs();
            if (m_Last != 0) {
                const double late = static_cast<double>(now - m_Last - 10'000'000) / 1e6;
                m_Late.push_back(late);
                if (late > 50 && m_Rows)
                    m_Stalls.emplace_back(late, m_Rows());
            }
            m_Last = now;
        });
    }
    void Start() {
        m_Last = 0;
        m_Late.clear();
        m_Timer.start();
    }
    void Stop() { m_Timer.stop(); }
    Summary Lateness() const { return Summarize(m_Late); }
    // Where in the run the stalls above 50 ms came: (lateness ms, rows in the list then).
    void SetRows(std::function<std::size_t()> rows) { m_Rows = std::move(rows); }
    void PrintStalls() const {
        if (m_Stalls.empty())
            return;
        std::printf("  stalls above 50 ms (ms @ rows):");
        for (std::size_t i = 0; i < m_Stalls.size() && i < 16; ++i)
            std::printf(" %.0f@%zu", m_Stalls[i].first, m_Stalls[i].second);
        std::printf("%s\n", m_Stalls.size() > 16 ? " ..." : "");
    }

private:
    std::function<std::size_t()> m_Rows;
    std::vector<std::pair<double, std::size_t>> m_Stalls;
    QTimer m_Timer;
    std::int64_t m_Last = 0;
    std::vector<double> m_Late;
};

} // namespace vq5::bench
