#include "tests/support/TestProcess.h"

#include <utility>
#include <vector>

TestProcess::~TestProcess() {
    Terminate();
    Release();
}

TestProcess::TestProcess(TestProcess&& other) noexcept
    : m_process(std::exchange(other.m_process, nullptr)), m_thread(std::exchange(other.m_thread, nullptr)),
      m_id(std::exchange(other.m_id, 0)), m_threadId(std::exchange(other.m_threadId, 0)) {}

TestProcess& TestProcess::operator=(TestProcess&& other) noexcept {
    if (this != &other) {
        Terminate();
        Release();
        m_process = std::exchange(other.m_process, nullptr);
        m_thread = std::exchange(other.m_thread, nullptr);
        m_id = std::exchange(other.m_id, 0);
        m_threadId = std::exchange(other.m_threadId, 0);
    }
    return *this;
}

bool TestProcess::Start(const std::wstring& exe, const std::wstring& arguments, DWORD idleTimeoutMs) {
    Terminate();
    Release();
    std::wstring commandLine = L"\"" + exe + L"\"";
    if (!arguments.empty())
        commandLine += L" " + arguments;
    std::vector<wchar_t> mutableLine(commandLine.begin(), commandLine.end());
    mutableLine.push_back(0);
    std::wstring directory = exe;
    const std::size_t slash = directory.find_last_of(L"\\/");
    directory = slash == std::wstring::npos ? std::wstring() : directory.substr(0, slash + 1);

    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(exe.c_str(), mutableLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        directory.empty() ? nullptr : directory.c_str(), &startup, &info))
        return false;
    m_process = info.hProcess;
    m_thread = info.hThread;
    m_id = info.dwProcessId;
    m_threadId = info.dwThreadId;
    // A GUI program that ends at once, or never reaches a message loop, is for the test to judge.
    WaitForInputIdle(m_process, idleTimeoutMs);
    return true;
}

bool TestProcess::Running() const {
    return m_process && WaitForSingleObject(m_process, 0) == WAIT_TIMEOUT;
}

std::optional<DWORD> TestProcess::WaitForExit(DWORD timeoutMs) const {
    if (!m_process || WaitForSingleObject(m_process, timeoutMs) != WAIT_OBJECT_0)
        return std::nullopt;
    DWORD code = 0;
    if (!GetExitCodeProcess(m_process, &code))
        return std::nullopt;
    return code;
}

void TestProcess::Terminate(UINT exitCode) {
    if (Running()) {
        TerminateProcess(m_process, exitCode);
        WaitForSingleObject(m_process, 10000);
    }
}

void TestProcess::Release() {
    if (m_thread)
        CloseHandle(m_thread);
    if (m_process)
        CloseHandle(m_process);
    m_thread = m_process = nullptr;
    m_id = m_threadId = 0;
}

std::wstring ExecutableDirectory() {
    std::vector<wchar_t> path(MAX_PATH);
    while (true) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0)
            return {};
        if (n < path.size()) {
            std::wstring full(path.data(), n);
            return full.substr(0, full.find_last_of(L"\\/") + 1);
        }
        path.resize(path.size() * 2);
    }
}
