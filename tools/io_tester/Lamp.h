// CLamp: one lamp of the I/O tester, a picture control with a label beside it.
//
// The pictures are our own, drawn with QPainter after the lamp's motif (arrows, hand, stop
// sign "H", GP key, loop, LED, bulb, check mark and dot), so they stay crisp at any size and
// screen scale. Each motif has an active, an inactive and a greyed disabled form.
#pragma once

#include "IoLines.h"

#include <QLabel>
#include <QPalette>
#include <QPixmap>
#include <QPointer>
#include <QWidget>

class QPainter;

namespace vq5::io {

// Paints the picture of a lamp into `r` (aspect kept, centred); the background is left as it is.
void PaintLamp(QPainter& p, const QRectF& r, Motif motif, LampState state,
               const QPalette& palette = QPalette());
// The picture as a pixmap of the given size (device pixel ratio applied), transparent
// around the motif.
QPixmap LampPixmap(Motif motif, LampState state, const QSize& size, qreal dpr = 1.0,
                   const QPalette& palette = QPalette());

class CLamp : public QWidget {
    Q_OBJECT
public:
    // A picture control of the dialog: geometry and id (object name "lamp<id>") given.
    CLamp(const LampInfo& info, QWidget* parent);

    // Creates the label beside the lamp: a child of the lamp's parent, its left edge 2
    // pixels right of the lamp, as wide as the text, centred in height on the lamp, with the
    // dialog's font; shows the active picture.
    void Init();

    void SetState(LampState state);
    LampState State() const { return m_State; }
    QLabel* Label() const { return m_Label; }
    const LampInfo& Info() const { return m_Info; }

protected:
    void paintEvent(QPaintEvent* event) override;
    // A disabled lamp shows its disabled picture; enabled again, its active one.
    void changeEvent(QEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

private:
    void PlaceLabel();

    LampInfo m_Info;
    LampState m_State = LampState::Active;
    QPointer<QLabel> m_Label;
};

} // namespace vq5::io
