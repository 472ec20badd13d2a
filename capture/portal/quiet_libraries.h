#pragma once
// GLib (and so GIO and libportal), PipeWire with its SPA plugins, and libwayland all write
// diagnostics to standard error by default; this tool writes nothing there. Every failure of
// theirs that matters reaches us as a return value or error and becomes a result line.

namespace kg::capture {

// Drops GLib's and libwayland's log messages and initialises PipeWire with logging off. Once
// per process; any thread; call before the first use of any of them.
void quietDesktopLibraries();

}  // namespace kg::capture
