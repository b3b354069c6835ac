// Escaping of peer text for the daemon's logs.
#include "logText.h"

#include <cstdio>

namespace {

constexpr unsigned char kFirstPrintable = 0x20;
constexpr unsigned char kDelete = 0x7F;

} // namespace

std::string vorn_LogText(const char* text, size_t length)
{
    std::string safe;
    safe.reserve(length);
    for (size_t i = 0; i < length; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '\\') {
            safe += "\\\\";
        } else if (c < kFirstPrintable || c == kDelete) {
            char escaped[5];
            snprintf(escaped, sizeof escaped, "\\x%02X", c);
            safe += escaped;
        } else {
            safe += static_cast<char>(c);
        }
    }
    return safe;
}

std::string vorn_LogText(const std::string& text)
{
    return vorn_LogText(text.data(), text.size());
}
