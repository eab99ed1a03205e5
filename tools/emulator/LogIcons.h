// The images of the message log: a strip of six 15 x 15 images, drawn by us: message sent
// (right-pointing arrow on red), message received (left-pointing arrow on yellow), engine
// event (red square), then blue, yellow and grey squares. Around each image the strip is
// transparent.
#pragma once

#include <QIcon>
#include <QPixmap>

namespace vq5::emu {

inline constexpr int kLogIconSize = 15;
inline constexpr int kLogIconCount = 6;

// The strip at the given scale (1 = 90 x 15 pixels).
QPixmap LogIconStrip(qreal scale = 1.0);
// One image of the strip, crisp at 1x, 2x and 3x.
QIcon LogIcon(int index);

} // namespace vq5::emu
