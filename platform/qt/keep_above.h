#pragma once
// Without a window manager nothing keeps a window above the others: a window mapped or
// raised later covers it. While installed, this watches the top-level windows and puts ours
// back on top whenever another one is mapped or restacked. With a window manager it is never
// installed (the manager stacks "stays on top" windows itself). Main thread only.

namespace kg {

// Installs the watch once, if no window manager runs; later calls do nothing.
void keepTopmostWindowsAboveWithoutWindowManager();

}  // namespace kg
