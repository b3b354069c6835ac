// Stream socket output shared by the daemon, its client library and the scanner simulator.
#pragma once

#include <cstddef>

// Sends every byte, going on after partial sends; false when the peer is gone or send fails.
// SIGPIPE is never raised, so a vanished peer cannot end the process.
bool vorn_send_all(int fd, const void* data, size_t size);
