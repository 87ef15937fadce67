// One connection's stream for httplib, whose reads end at the current request's deadline. Reads
// are buffered: the library reads the request head a byte at a time. The derived class owns the
// transport (plain TCP or TLS); this base keeps the deadline, the buffer and the addresses.
//
// Threads: used only by the pool thread that serves the connection.
#pragma once

#include <httplib.h>

#include <chrono>
#include <cstddef>
#include <string>

class DeadlineStream : public httplib::Stream {
public:
    // Waits up to `wait` for `events` on `sock`; a signal does not cut the wait short.
    static bool Poll(socket_t sock, short events, std::chrono::milliseconds wait);

    void StartRequest(std::chrono::milliseconds deadline);
    // Whether bytes of the next request have arrived and wait in a buffer.
    virtual bool Buffered() const { return m_begin < m_end; }

    bool is_readable() const override;
    bool is_writable() const override;
    ssize_t read(char* ptr, size_t size) override;
    void get_remote_ip_and_port(std::string& ip, int& port) const override;
    void get_local_ip_and_port(std::string& ip, int& port) const override;
    socket_t socket() const override { return m_sock; }

protected:
    DeadlineStream(socket_t sock, std::chrono::milliseconds writeTimeout)
        : m_sock(sock), m_writeTimeout(writeTimeout) {}

    std::chrono::milliseconds Remaining() const;
    // Fills `buffer` with what the transport has: -1 once the deadline has passed (the library
    // then answers nothing and closes), 0 when the peer has ended the connection.
    virtual ssize_t Receive(char* buffer, std::size_t size) = 0;

    const socket_t m_sock;
    const std::chrono::milliseconds m_writeTimeout;

private:
    std::chrono::steady_clock::time_point m_deadline;
    char m_buffer[4096];
    std::size_t m_begin = 0, m_end = 0;
};
