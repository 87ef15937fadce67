#include "server/TlsStream.h"

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <fcntl.h>
#include <poll.h>

#include <algorithm>
#include <cstdint>

TlsStream::TlsStream(socket_t sock, SSL_CTX* context, std::chrono::milliseconds writeTimeout)
    : DeadlineStream(sock, writeTimeout), m_tls(SSL_new(context)) {
    if (m_tls) {
        ::fcntl(sock, F_SETFL, ::fcntl(sock, F_GETFL) | O_NONBLOCK);
        SSL_set_fd(m_tls, sock);
    }
}

TlsStream::~TlsStream() {
    if (m_handshaken)
        SSL_shutdown(m_tls);
    SSL_free(m_tls);
}

bool TlsStream::Handshake() {
    while (m_tls) {
        const int rc = SSL_accept(m_tls);
        if (rc == 1)
            return m_handshaken = true;
        if (!AwaitTls(rc, Remaining()))
            return false;
    }
    return false;
}

bool TlsStream::Buffered() const {
    return DeadlineStream::Buffered() || SSL_pending(m_tls) > 0;
}

ssize_t TlsStream::write(const char* ptr, size_t size) {
    if (size == 0)
        return 0; // SSL_write would report nothing written as an error
    for (;;) {
        const int rc = SSL_write(m_tls, ptr, static_cast<int>(std::min<size_t>(size, INT32_MAX)));
        if (rc > 0)
            return rc;
        if (!AwaitTls(rc, m_writeTimeout))
            return -1;
    }
}

ssize_t TlsStream::Receive(char* buffer, std::size_t size) {
    for (;;) {
        const int rc = SSL_read(m_tls, buffer, static_cast<int>(size));
        if (rc > 0)
            return rc;
        if (SSL_get_error(m_tls, rc) == SSL_ERROR_ZERO_RETURN)
            return 0;
        if (!AwaitTls(rc, Remaining()))
            return -1;
    }
}

bool TlsStream::AwaitTls(int rc, std::chrono::milliseconds wait) const {
    switch (SSL_get_error(m_tls, rc)) {
    case SSL_ERROR_WANT_READ:
        return Poll(m_sock, POLLIN, wait);
    case SSL_ERROR_WANT_WRITE:
        return Poll(m_sock, POLLOUT, wait);
    default:
        ERR_clear_error();
        return false;
    }
}
