// Text that came from a peer (a client, a scanner, a device descriptor), made safe to put into a
// log line: a peer must never be able to start a line of its own or drive a terminal.
#pragma once

#include <cstddef>
#include <string>

// Copies text with every control character and DEL written as "\xHH"; a backslash becomes "\\",
// so an escaped byte cannot be confused with one the peer wrote out as text.
std::string vorn_LogText(const char* text, size_t length);
std::string vorn_LogText(const std::string& text);
