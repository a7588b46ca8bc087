// The process entry's work, as NSApplicationMain is to a macOS application.
#pragma once

namespace tavlune::app {

// Takes the single-instance lock, serves the channel socket, builds the
// delegate and the main window, runs until a quit is answered, then closes
// the socket and releases the lock. Returns the process's exit status.
int ApplicationMain(int argc, char** argv);

}  // namespace tavlune::app
