// A program started by a Windows GUI test. Owns the process and thread handles; a process that
// is still running when its owner goes away is terminated, so no test leaves a window behind.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

class TestProcess {
public:
    TestProcess() = default;
    ~TestProcess();
    TestProcess(const TestProcess&) = delete;
    TestProcess& operator=(const TestProcess&) = delete;
    TestProcess(TestProcess&& other) noexcept;
    TestProcess& operator=(TestProcess&& other) noexcept;

    // Starts `exe` (a Windows path; under Wine a Unix path works through the Z: drive) with
    // `arguments` after its quoted name, in the exe's own directory, then waits up to
    // `idleTimeoutMs` until its first message loop waits for input. False when it did not start.
    bool Start(const std::wstring& exe, const std::wstring& arguments = {}, DWORD idleTimeoutMs = 15000);

    bool Started() const { return m_process != nullptr; }
    DWORD Id() const { return m_id; }
    HANDLE Handle() const { return m_process; }
    DWORD MainThreadId() const { return m_threadId; }
    bool Running() const;

    // The exit code once the process has ended within `timeoutMs`; nullopt while it still runs.
    std::optional<DWORD> WaitForExit(DWORD timeoutMs) const;

    // Ends a running process with `exitCode` and waits for it to be gone.
    void Terminate(UINT exitCode = 255);

private:
    void Release();

    HANDLE m_process = nullptr;
    HANDLE m_thread = nullptr;
    DWORD m_id = 0;
    DWORD m_threadId = 0;
};

// The directory of the running executable, with a trailing backslash: test programs find the
// programs they start next to themselves.
std::wstring ExecutableDirectory();
