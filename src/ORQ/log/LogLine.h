#pragma once
// Diagnostic lines: one line per event, each prefixed by its unit
// ("[UartSerial] ", ...). The parts are formatted into one line on the
// caller's stack (no allocation; a line is cut at LogSink::lineMax bytes) and
// handed to the LogSink, which writes it to standard output without ever
// making the caller wait. Any thread may call these.
//
// logLine: every line is written (unless output cannot keep up).
// logFrequentLine: a line that the link's traffic can repeat at any rate
// (one per damaged frame, say): at most a few copies a second are written,
// the rest are counted in a " (N more)" line (see LogSink).
#include <cstddef>
#include <ostream>
#include <streambuf>

#include "log/LogSink.h"

namespace ORQ {

namespace detail {

// Stream buffer over a fixed array; what does not fit is cut off.
class LineBuffer : public std::streambuf {
public:
    LineBuffer(char* begin, std::size_t size) { setp(begin, begin + size); }
    std::size_t length() const { return static_cast<std::size_t>(pptr() - pbase()); }
};

template <typename... Parts>
void putLine(bool frequent, const Parts&... parts) {
    char text[LogSink::lineMax];
    LineBuffer buffer(text, sizeof(text));
    std::ostream out(&buffer);
    if constexpr (sizeof...(parts) > 0) (out << ... << parts);
    LogSink::instance().put(text, buffer.length(), frequent);
}

}  // namespace detail

template <typename... Parts>
void logLine(const Parts&... parts) {
    detail::putLine(false, parts...);
}

template <typename... Parts>
void logFrequentLine(const Parts&... parts) {
    detail::putLine(true, parts...);
}

}  // namespace ORQ
