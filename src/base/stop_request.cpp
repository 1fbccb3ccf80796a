// Stop request: one flag that the signal handler sets and the loops poll.
#include "stop_request.h"

#include <csignal>

#include "status.h"

namespace netduel {

namespace {

volatile std::sig_atomic_t stopFlag = 0;

void raiseStop(int) { stopFlag = 1; }

}  // namespace

bool stopRequestInstall()
{
    struct sigaction action {};
    action.sa_handler = raiseStop;
    sigemptyset(&action.sa_mask);
    if (sigaction(SIGINT, &action, nullptr) == 0 && sigaction(SIGTERM, &action, nullptr) == 0)
        return true;
    statusWrite("Cannot catch SIGINT and SIGTERM: they end the program at once.", true);
    return false;
}

bool stopRequested() { return stopFlag != 0; }

void stopRequestReset() { stopFlag = 0; }

}  // namespace netduel
