#include "server/PlainStream.h"

#include <sys/socket.h>

ssize_t PlainStream::write(const char* ptr, size_t size) {
    return is_writable() ? ::send(m_sock, ptr, size, MSG_NOSIGNAL) : -1;
}

ssize_t PlainStream::Receive(char* buffer, std::size_t size) {
    return is_readable() ? ::recv(m_sock, buffer, size, 0) : -1;
}
