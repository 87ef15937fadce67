#include "framework/Thread.h"

#include <process.h>

CWinThread::~CWinThread() {
    if (m_hThread)
        ::CloseHandle(m_hThread);
}

unsigned __stdcall CWinThread::Entry(void* self) {
    auto* thread = static_cast<CWinThread*>(self);
    // An exception must not reach the run-time's thread start (std::terminate): the thread ends
    // with exit code 0 instead.
    UINT exitCode = 0;
    try {
        exitCode = thread->m_pfnThreadProc(thread->m_pThreadParams);
    } catch (...) {
        exitCode = 0;
    }
    delete thread;
    return exitCode;
}

CWinThread* AfxBeginThread(AFX_THREADPROC proc, LPVOID param, int priority, UINT stackSize,
                           LPSECURITY_ATTRIBUTES security) {
    auto* thread = new CWinThread(proc, param);
    // Always created suspended, so the object is complete before the thread can delete it.
    const uintptr_t handle =
        ::_beginthreadex(security, stackSize, &CWinThread::Entry, thread, CREATE_SUSPENDED, nullptr);
    if (!handle) {
        delete thread;
        return nullptr;
    }
    thread->m_hThread = reinterpret_cast<HANDLE>(handle);
    ::SetThreadPriority(thread->m_hThread, priority);
    ::ResumeThread(thread->m_hThread);
    return thread;
}
