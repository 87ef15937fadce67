// A connection's DeadlineStream over plain TCP: the socket blocks, and each read or write first
// waits in poll() for the deadline or the write time-out.
#pragma once

#include "server/DeadlineStream.h"

class PlainStream : public DeadlineStream {
public:
    PlainStream(socket_t sock, std::chrono::milliseconds writeTimeout) : DeadlineStream(sock, writeTimeout) {}

    ssize_t write(const char* ptr, size_t size) override;

private:
    ssize_t Receive(char* buffer, std::size_t size) override;
};
