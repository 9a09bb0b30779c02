#pragma once

namespace qv {

// SDL wakes its own waiting thread by sending an event to the window over a second X
// connection. When the window closes right after a click, the server can see that send after
// the window is gone; Xlib's default handler then ends the program with status 1 at the very
// end of a clean exit. This handler lets exactly that error pass and leaves every other error
// to the handler that was there before. Call before the window system is opened.
void TolerateLateWakeupsToClosedWindow();

}  // namespace qv
