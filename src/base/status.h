// Status stream: the program's log lines on standard output, never in the window.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace netduel {

// The stream that receives every status line; standard output once statusOpen() ran.
// Tests may point it at another stream (and back) to read what was written.
extern std::FILE* statusOut;

// Points statusOut at standard output; never fails.
void statusOpen();

// Appends `text` (bytes as they are), then a line end when `lineEnd`, and flushes
// after a line end so that a log piped to a file stays current. Writes nothing
// while statusOut is null; write errors are ignored.
void statusWrite(std::string_view text, bool lineEnd);

// `text` made safe for a terminal: each byte below 0x20, 0x7F and 0x80–0x9F, and each
// byte found in `alsoEscaped`, becomes "\xNN" (two lower-case hex digits); every other
// byte stays as it is. Never fails.
std::string statusEscape(std::string_view text, std::string_view alsoEscaped = {});

}  // namespace netduel
