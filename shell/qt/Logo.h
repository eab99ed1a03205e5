// The pictures of the About box, drawn by the program itself: the large logo (a VQ-5 box with
// its connectors and status lamps) and the small box pictures 130 and 132.
#pragma once

#include <QPixmap>
#include <QIcon>
#include <QSize>
#include <QString>

namespace vq5::qt {

QPixmap DrawLargeLogo(const QSize& size);
// `bitmap` 130 (the configuration tools) or 132 (the information tool and the emulator);
// any other value draws 130.
QPixmap DrawSmallLogo(int bitmap, const QSize& size);
// The tool's window icon: the packaged icon of the program when it is built in, else a
// drawn VQ-5 box.

QIcon ToolIcon(const QString& program);

} // namespace vq5::qt
