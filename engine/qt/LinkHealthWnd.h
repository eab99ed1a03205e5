// CLinkHealthWnd: "Link health", a top-level window with the link figures of an engine and
// a plot of the last minutes: polls per second, errors per second and our answer time.
//
// It takes a snapshot of the figures (CVLPIO::Figures) twice a second while it is shown;
// hidden or closed, its timer stands still and the engine does nothing for it.
#pragma once

#include "LinkStats.h"

#include <QWidget>

#include <deque>

class QLabel;
class QTimer;

namespace vq5 {
class CVLPEngine;
}

namespace vq5::qt {

// The plot: three strips over a common time axis, each scaled to its own largest value.
class CLinkPlot : public QWidget {
    Q_OBJECT
public:
    struct Point {
        double t;        // seconds on the steady clock
        double polls;    // per second
        double errors;   // per second
        double answerMs; // our answer time (p99 of the recent answers), -1 when none
    };
    static constexpr double kSpanS = 300;   // at most five minutes kept and shown
    static constexpr double kMinSpanS = 60; // the time axis is never shorter than a minute
    double SpanS() const;                   // what the axis shows now: the history, within those

    explicit CLinkPlot(QWidget* parent = nullptr);
    void Add(const Point& p); // drops points older than the span
    const std::deque<Point>& Points() const { return m_Points; }
    QSize sizeHint() const override { return {520, 300}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::deque<Point> m_Points;
};

class CLinkHealthWnd : public QWidget {
    Q_OBJECT
public:
    static constexpr int kIntervalMs = 500;

    explicit CLinkHealthWnd(CVLPEngine& engine, QWidget* parent = nullptr);

    // Takes one snapshot, updates the figures and the plot (the timer's work; tests call it).
    void Sample();

    QLabel* Figure(const char* key) const; // the value label of a figure ("polls", "naks", ...)
    CLinkPlot* Plot() const { return m_Plot; }
    QTimer* Timer() const { return m_Timer; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    CVLPEngine& m_Engine;
    CLinkPlot* m_Plot = nullptr;
    QTimer* m_Timer = nullptr;
    LinkFigures m_Last;
    bool m_HaveLast = false;
};

} // namespace vq5::qt
