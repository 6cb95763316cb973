// The pet panel's place among the desktop's windows on X11: every virtual desktop, out of the task bar and
// pager, and an input shape so clicks beside the pet reach the window below. Every call does nothing when
// the application does not run on X11 (offscreen, or a platform without these notions).
#pragma once

#include <QRegion>

#include <optional>

class QWindow;

namespace nubbo::x11 {

bool available();
// Before the window is mapped: the properties a window manager reads when it manages the window.
void prepareUnmapped(QWindow& window);
// After mapping: the same wishes as client messages, which an already-managing window manager honours.
void announceMapped(QWindow& window);
// Keep above other windows, or in the normal layer. Works on a mapped window.
void setKeepAbove(QWindow& window, bool above);
// Clicks outside the region (logical pixels) fall through.
void setInputShape(QWindow& window, const QRegion& region);
// Without a compositor translucent pixels show black, so the window is clipped to what it draws: `region` in
// device pixels. An empty optional gives the whole window back (a compositor blends it).
void setBoundingShape(QWindow& window, const std::optional<QRegion>& deviceRegion);
// A compositor owns _NET_WM_CM_S<screen>: translucent pixels are then blended, not black.
bool compositorActive();

} // namespace nubbo::x11
