// Stream socket output shared by the daemon, its client library and the scanner simulator.
#include "socketIo.h"

#include <sys/socket.h>
#include <sys/types.h>

bool vorn_send_all(int fd, const void* data, size_t size)
{
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t sent = send(fd, bytes, size, MSG_NOSIGNAL);
        if (sent <= 0)
            return false;
        bytes += sent;
        size -= static_cast<size_t>(sent);
    }
    return true;
}
