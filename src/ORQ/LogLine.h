#pragma once
// Diagnostic lines on standard output: one line per event, each prefixed by
// its unit ("[UartSerial] ", ...), ended and flushed. The whole line is
// written holding the stdout lock, so lines of different threads never
// interleave; nothing is allocated. Any thread may call it.
#include <cstdio>
#include <iostream>

namespace ORQ {

template <typename... Parts>
void logLine(const Parts&... parts) {
    flockfile(stdout);
    (std::cout << ... << parts) << std::endl;
    funlockfile(stdout);
}

}  // namespace ORQ
