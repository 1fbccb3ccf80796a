// Stop request: SIGINT and SIGTERM ask the program to leave its loop and shut down cleanly.
#pragma once

namespace netduel {

// Lets SIGINT and SIGTERM raise the stop request instead of killing the process.
// False, with a status line, when the handlers cannot be installed.
bool stopRequestInstall();

// True once SIGINT or SIGTERM has arrived since start (or since the last reset).
bool stopRequested();

// Tests only: forget a stop request.
void stopRequestReset();

}  // namespace netduel
