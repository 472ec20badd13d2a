#pragma once
// Under a Wayland compositor Xwayland hears key presses only while the compositor gives the
// keyboard to one of its windows. It does so when an unmanaged window not typed as a utility
// is mapped (or clicked), and takes it away, unseen by X clients, when the pointer moves to
// another output than the one it last focused; a keyboard grab then hears nothing. The anchor
// is a 1 x 1 see-through window that takes no input: mapping it anew hands the keyboard back
// to Xwayland, where the grab delivers every key to the grabbing window. Main thread only.

#include <QPoint>

namespace kg {

// Maps the anchor anew at `desktopPoint` (the toolkit's desktop pixels, y down).
void anchorKeyboardAt(QPoint desktopPoint);

}  // namespace kg
