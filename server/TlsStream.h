// A connection's DeadlineStream over TLS. The socket is made non-blocking and every read, write
// and the handshake wait in poll(), so that a record that arrives in pieces cannot hold the
// thread past the deadline. Owns the connection's TLS session, not the socket.
#pragma once

#include "server/DeadlineStream.h"

struct ssl_st;
struct ssl_ctx_st;

class TlsStream : public DeadlineStream {
public:
    TlsStream(socket_t sock, ssl_ctx_st* context, std::chrono::milliseconds writeTimeout);
    // Sends the close_notify once, if the socket takes it, after a handshake that succeeded.
    ~TlsStream() override;
    TlsStream(const TlsStream&) = delete;
    TlsStream& operator=(const TlsStream&) = delete;

    // The TLS handshake, within the current deadline.
    bool Handshake();

    bool Buffered() const override;
    ssize_t write(const char* ptr, size_t size) override;

private:
    ssize_t Receive(char* buffer, std::size_t size) override;
    // After a TLS call returned `rc`: waits up to `wait` for what it needs; false for any other
    // error or when the time is up.
    bool AwaitTls(int rc, std::chrono::milliseconds wait) const;

    ssl_st* const m_tls;
    bool m_handshaken = false;
};
