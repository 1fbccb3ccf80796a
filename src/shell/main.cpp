// Program entry: the window, the start-up question, the frame loop until Escape, exit 0.
#include <memory>

#include "base/status.h"
#include "lobby/lobby_protocol.h"
#include "shell/display.h"
#include "shell/shell.h"

#ifndef NETDUEL_SERVER_HOST
#define NETDUEL_SERVER_HOST ""
#endif

int main(int, char** argv)
{
    using namespace netduel;
    auto shell = std::make_unique<Shell>();
    displayOpen(shell->display, argv[0]);
    statusOpen();
    shellStart(*shell, NETDUEL_SERVER_HOST, LOBBY_PORT);
    while (shellFrame(*shell)) {
    }
    shellStop(*shell);
    displayClose(shell->display);
    return 0;
}
