// Status stream on standard output.
#include "status.h"

namespace netduel {

std::FILE* statusOut = stdout;

void statusOpen()
{
    statusOut = stdout;
}

void statusWrite(std::string_view text, bool lineEnd)
{
    if (!statusOut) return;
    std::fwrite(text.data(), 1, text.size(), statusOut);
    if (lineEnd) {
        std::fputc('\n', statusOut);
        std::fflush(statusOut);
    }
}

}  // namespace netduel
