// A deliberately plain HTTP/1.1 client for the server's tests: it sends the request bytes exactly
// as given and reports exactly what came back (a cut body, nothing at all, how many reads), which
// a full client library would smooth over.
#pragma once

#include <chrono>
#include <string>

struct RawReply {
    bool connected = false;
    bool closed = false; // the server closed the connection (else the wait ran out)
    int status = 0;
    std::string head;  // status line and headers
    std::string body;  // every byte after the blank line
    int bodyReads = 0; // reads that brought body bytes
    std::string Header(const std::string& name) const;
};

class RawHttp {
public:
    explicit RawHttp(int port) : m_port(port) {}

    // Reads until the body is complete by its Content-Length, or with `toClose` until the server
    // closes the connection.
    RawReply Get(const std::string& target, const std::string& extraHeaders = "",
                 std::chrono::milliseconds wait = std::chrono::seconds(5), bool toClose = false) const;
    RawReply Post(const std::string& target, const std::string& body,
                  std::chrono::milliseconds wait = std::chrono::seconds(5)) const;
    // Sends `request` verbatim on a new connection and reads until the body is complete (or with
    // `toClose` until the server closes the connection), or until `wait` passes.
    RawReply Exchange(const std::string& request, std::chrono::milliseconds wait, bool toClose = false) const;

    // The body of a GET, or "" when there was no complete answer.
    std::string Body(const std::string& target) const { return Get(target).body; }

private:
    int m_port;
};
