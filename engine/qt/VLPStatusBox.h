// CVLPStatusBox: the engine status box, a group box "Velto Engine" inside the tool's main
// dialog: link status, device identification, byte traffic per half second, send queue
// progress and the "&Log" button.
#pragma once

#include "Notify.h"

#include <QGroupBox>
#include <QRect>

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

namespace vq5 {
class CVLPEngine;
}

namespace vq5::qt {

class CVLPStatusBox : public QGroupBox {
    Q_OBJECT
public:
    // Builds the box with `rect` (parent coordinates) and its children laid out from the
    // rectangle's width and height; starts the 500 ms traffic timer.
    CVLPStatusBox(QWidget* parent, const QRect& rect, CVLPEngine& engine);

    // A notification, on the GUI thread: 2 queue progress, 3 queue empty, 4 link status,
    // 5 identification / program mode left; 1 and unknown kinds are ignored.
    void OnNotify(const Notification& n);
    // The timer's work: takes the engine's byte counts of the last half second.
    void OnTimer();

    unsigned InMaximum() const { return m_InMax; }
    unsigned OutMaximum() const { return m_OutMax; }
    int QueueMaximum() const { return m_QueueMax; }
    int QueuePosition() const { return m_QueuePos; }

    QLabel* StatusLabel() const { return m_Status; }
    QLabel* IdentLabel() const { return m_Ident; }
    QString IdentText() const { return m_IdentText; } // the whole identification
    QLabel* TrafficLabel() const { return m_Traffic; }
    QProgressBar* InBar() const { return m_InBar; }
    QProgressBar* OutBar() const { return m_OutBar; }
    QProgressBar* QueueBar() const { return m_QueueBar; }
    QPushButton* LogButton() const { return m_Log; }
    QTimer* Timer() const { return m_Timer; }

    // Child rectangles (left, top, right, bottom in box coordinates) for a box W x H.
    struct Layout {
        QRect status, ident, traffic, inBar, outBar, log, queue;
    };
    static Layout Compute(int w, int h);

signals:
    void logRequested();
    // "Link health..." of the box's context menu (the one way in for a tool without a menu).
    void linkHealthRequested();

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void SetQueue(int maximum, int position);

    CVLPEngine& m_Engine;
    // The identification as it fits its field: whole and centred, or its start with the end
    // elided ("..."); the whole text is the tooltip. The traffic label's font shrinks until
    // its text fits (down to three quarters), then the text is elided with a tooltip.
    void ShowIdentText();
    void FitTrafficText();
    void PlaceChildren(int w, int h);

    QString m_IdentText;
    QLabel* m_Status = nullptr;
    QLabel* m_Ident = nullptr;
    QLabel* m_Traffic = nullptr;
    QProgressBar* m_InBar = nullptr;
    QProgressBar* m_OutBar = nullptr;
    QProgressBar* m_QueueBar = nullptr;
    QPushButton* m_Log = nullptr;
    QTimer* m_Timer = nullptr;
    unsigned m_InMax = 60;
    unsigned m_OutMax = 60;
    int m_QueueMax = 0;
    int m_QueuePos = 0;
};

} // namespace vq5::qt
