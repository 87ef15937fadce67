// Worker threads. AfxBeginThread starts a thread procedure; its CWinThread deletes itself when the
// thread ends, so nobody ever waits for or joins a worker.
#pragma once

#include <windows.h>

using AFX_THREADPROC = UINT(__cdecl*)(LPVOID);

class CWinThread {
public:
    CWinThread(AFX_THREADPROC proc, LPVOID param) : m_pfnThreadProc(proc), m_pThreadParams(param) {}
    ~CWinThread();
    CWinThread(const CWinThread&) = delete;
    CWinThread& operator=(const CWinThread&) = delete;

    HANDLE m_hThread = nullptr;

private:
    static unsigned __stdcall Entry(void* self);
    AFX_THREADPROC m_pfnThreadProc;
    LPVOID m_pThreadParams;

    friend CWinThread* AfxBeginThread(AFX_THREADPROC, LPVOID, int, UINT, LPSECURITY_ATTRIBUTES);
};

// The thread runs at once; the returned object belongs to the thread (valid until it ends).
CWinThread* AfxBeginThread(AFX_THREADPROC proc, LPVOID param, int priority = THREAD_PRIORITY_NORMAL,
                           UINT stackSize = 0, LPSECURITY_ATTRIBUTES security = nullptr);
