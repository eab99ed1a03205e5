// Binding a window's placement to a settings section, and dialog units.
//
// A bound window has its placement restored at binding and saved, without any call from its
// owner, once: when the window is destroyed, with the position it had at that moment. A
// section that goes before the window saves the placement at its write-back instead; either
// way the six values are written exactly once.
//
// Placement values under the prefix N_ (N = the name given, else the window title, else
// "Window"): flags, showCmd, x1, y1, x2, y2. flags: 2 = restore to maximised; showCmd: 1
// normal, 2 minimised, 3 maximised; x1..y2: left, top, right, bottom of the normal position
// (left and top of the window with its frame, right and bottom = left and top plus the
// client size).
#pragma once

#include "ProfileSection.h"

#include <QRect>
#include <QSize>
#include <QString>

#include <optional>

class QWidget;

namespace vq5::qt {

inline constexpr int kPlacementIconSize = 32; // the standard icon size of the left/top clamp

struct Placement {
    int flags = 0;
    int showCmd = 1; // 1 normal, 2 minimised, 3 maximised
    int x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    bool operator==(const Placement&) const = default;
};

// The key prefix for a window: the name, or the title, or "Window"; then '_'.
QString PlacementPrefix(const QWidget* window, const QString& name);

// Reads the six values in the order flags, showCmd, x1, y1, x2, y2; nullopt at the first that
// is absent or -1.
std::optional<Placement> ReadPlacement(const CProfileSection& section, const std::string& prefix);
void WritePlacement(CProfileSection& section, const std::string& prefix, const Placement& p);

// A left edge not less than screen width - icon size becomes that; likewise the top edge
// against the screen height. Right and bottom edges stay as stored.
Placement ClampPlacement(Placement p, const QSize& screen, int iconSize = kPlacementIconSize);
// After the clamp, for values no screen could have (damaged settings): a size beyond four
// times the desktop becomes the stored size (when sound) or the window's current size; a
// window entirely left of or above the desktop `desk` moves to its left or top edge.
// `stored` is the placement as read, before the clamp.
Placement KeepReachable(Placement p, const Placement& stored, const QRect& desk, const QSize& current,
                        int iconSize = kPlacementIconSize);

// The window's placement now (its normal position also while minimised or maximised).
Placement CurrentPlacement(const QWidget* window);
// Applies a placement. An empty or inverted rectangle keeps the window's size (position only).
void ApplyPlacement(QWidget* window, const Placement& p);

// Restores the placement stored under the window's prefix (clamped to the primary screen) and
// adds a record to the section that saves it once (see above). Returns true when a placement
// was restored. The window must exist; it may be shown or not yet.
bool BindWindow(CProfileSection& section, QWidget* window, const QString& name = {});

// Dialog units to pixels from the dialog's font: horizontal base = average width of the
// characters "A".."Z" "a".."z" (rounded the way the dialog system does), vertical base = the
// font height; x px = du * hbase / 4, y px = du * vbase / 8, rounded to nearest.
struct DialogBaseUnits {
    int x = 0;
    int y = 0;
};
DialogBaseUnits DialogUnits(const QWidget* dialog);
int DluToPixelsX(const QWidget* dialog, int du);
int DluToPixelsY(const QWidget* dialog, int du);
// A rectangle in dialog units (x, y, w, h) mapped by its corners, as the dialog system maps
// a control's rectangle.
QRect DluRect(const QWidget* dialog, int x, int y, int w, int h);
QSize DluSize(const QWidget* dialog, int w, int h);

} // namespace vq5::qt
