// The quillon-server binary run by a test, with its output read back.
#pragma once

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

extern char** environ;

// A running quillon-server with stdout and stderr on one pipe. Killed if the test leaves it.
class ServerProcess {
public:
    explicit ServerProcess(std::vector<std::string> args) {
        int out[2];
        if (pipe(out) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_adddup2(&actions, out[1], 2);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        args.insert(args.begin(), QUILLON_SERVER_BINARY);
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawn(&m_pid, QUILLON_SERVER_BINARY, &actions, nullptr, argv.data(), environ) != 0)
            m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        m_out = out[0];
    }
    ~ServerProcess() {
        if (m_pid > 0 && !m_reaped) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
        close(m_out);
    }
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    // Reads until the output holds `text` or the process closes it; everything read so far.
    const std::string& ReadUntil(const std::string& text) {
        while (m_text.find(text) == std::string::npos && ReadSome()) {
        }
        return m_text;
    }
    // Waits for the exit (killing a process that keeps running silently); the exit code, or -1
    // after a signal.
    int Exit() {
        while (ReadSome()) {
        }
        int status = 0;
        if (waitpid(m_pid, &status, WNOHANG) == 0) { // still running after its output went quiet
            kill(m_pid, SIGKILL);
            waitpid(m_pid, &status, 0);
        }
        m_reaped = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    void Signal(int sig) const { kill(m_pid, sig); }
    const std::string& Out() const { return m_text; }

private:
    // A generous limit, so that a server that never writes fails the test instead of hanging it.
    bool ReadSome() {
        pollfd p{m_out, POLLIN, 0};
        char buffer[4096];
        const ssize_t n = poll(&p, 1, 15000) <= 0 ? 0 : read(m_out, buffer, sizeof buffer);
        if (n > 0)
            m_text.append(buffer, static_cast<std::size_t>(n));
        return n > 0;
    }

    pid_t m_pid = -1;
    int m_out = -1;
    bool m_reaped = false;
    std::string m_text;
};

inline int PortFromReadyLine(const std::string& out) {
    const auto at = out.find("quillon-server listening on ");
    const auto colon = out.find(':', at);
    return at == std::string::npos || colon == std::string::npos ? -1 : std::stoi(out.substr(colon + 1));
}
