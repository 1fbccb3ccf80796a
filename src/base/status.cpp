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

namespace {

// Bytes a terminal acts on instead of showing: C0 controls, DEL and the C1 controls
// (0x9B alone starts an escape sequence on some terminals).
bool statusControlByte(unsigned char byte)
{
    return byte < 0x20 || (byte >= 0x7F && byte <= 0x9F);
}

}  // namespace

std::string statusEscape(std::string_view text, std::string_view alsoEscaped)
{
    constexpr char HEX[] = "0123456789abcdef";
    std::string safe;
    safe.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (!statusControlByte(byte) && alsoEscaped.find(c) == std::string_view::npos) {
            safe += c;
            continue;
        }
        safe += "\\x";
        safe += HEX[byte >> 4];
        safe += HEX[byte & 0xF];
    }
    return safe;
}

}  // namespace netduel
