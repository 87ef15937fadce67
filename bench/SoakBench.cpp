// A soak of the real Quillon program against quillon-server, under Wine: many transactions in one
// run of the program, among them closes while a poll is connecting and operations whose connect
// is answered only after the program's 10 s limit, with what the program holds (memory, threads,
// handles, connections to the server) printed at the start and along the way. Not a test: it
// asserts nothing and prints what it measured.
//
//   quillon_soak_bench.exe [--transactions N] [--closes-in-connect N] [--late-operations N]
//                          [--every N]
//
// Run by bench/run.sh, which starts quillon-server on the port in QUILLON_TEST_PORT.
// QuillonBench.exe (Quillon built for that port) lies next to this program.
//
// A poll's connect is held by dropping the port's connects for a while (quillon-server's
// blackhole: the SYNs go unanswered and the kernel retries them at 1, 3, 7 and 15 s), so it comes
// up after the cashier has closed the transaction or after the operation has failed.
#include "tests/support/Till.h"

#include <windows.h>

#include <psapi.h>
#include <tlhelp32.h>

#include <winternl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// The program's connect limit is 10 s: a blackhole of 12 s lets the retry at 15 s through.
constexpr int kLateBlackholeMs = 12000;
// Long enough for the close to land while the poll's SYN is unanswered; the retry at 3 s connects.
constexpr int kCloseBlackholeMs = 2500;

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "quillon_soak_bench: %s\n", what);
    std::exit(1);
}

int ThreadsOf(DWORD processId) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return -1;
    int count = 0;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        count += entry.th32OwnerProcessID == processId;
    CloseHandle(snapshot);
    return count;
}

// The handles a process holds, from the system's handle table (Wine keeps no per-process count:
// GetProcessHandleCount answers 0 there). -1 when the table cannot be read.
long HandlesOf(DWORD processId) {
    struct Entry { // SYSTEM_HANDLE_TABLE_ENTRY_INFO
        USHORT process;
        USHORT creatorBackTraceIndex;
        UCHAR objectType;
        UCHAR attributes;
        USHORT handle;
        PVOID object;
        ACCESS_MASK access;
    };
    constexpr auto kSystemHandleInformation = static_cast<SYSTEM_INFORMATION_CLASS>(16);
    std::vector<unsigned char> buffer(1 << 20);
    ULONG needed = 0;
    NTSTATUS status;
    while ((status = NtQuerySystemInformation(kSystemHandleInformation, buffer.data(),
                                              static_cast<ULONG>(buffer.size()), &needed)) ==
               static_cast<NTSTATUS>(0xC0000004L) && // STATUS_INFO_LENGTH_MISMATCH
           buffer.size() < (64u << 20))
        buffer.resize(std::max<std::size_t>(buffer.size() * 2, needed));
    if (status != 0)
        return -1;
    const ULONG count = *reinterpret_cast<const ULONG*>(buffer.data());
    const auto* entries = reinterpret_cast<const Entry*>(buffer.data() + sizeof(ULONG_PTR));
    long mine = 0;
    for (ULONG i = 0; i < count; ++i)
        mine += entries[i].process == static_cast<USHORT>(processId);
    return mine;
}

void PrintHeader() {
    std::printf("  %12s %10s %10s %8s %8s %12s %12s\n", "transactions", "working", "private", "threads",
                "handles", "connections", "connecting");
}

void PrintSample(const Till& till, int done) {
    PROCESS_MEMORY_COUNTERS memory = {};
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(till.app.Handle(), &memory, sizeof memory);
    std::printf("  %12d %7.1f MB %7.1f MB %8d %8ld %12d %12d\n", done,
                static_cast<double>(memory.WorkingSetSize) / (1024.0 * 1024.0),
                static_cast<double>(memory.PagefileUsage) / (1024.0 * 1024.0), ThreadsOf(till.app.Id()),
                HandlesOf(till.app.Id()),
                till.sim.ConnectionsInState("01") + till.sim.ConnectionsInState("08"),
                till.sim.ConnectionsInState("02"));
    std::fflush(stdout);
}

// Whether step i of n is one of `count` spread evenly over them.
bool Spread(int i, int n, int count) {
    return (i + 1) * count / n != i * count / n;
}

bool Blackhole(const SimClient& sim, int ms) {
    return sim.Post("/sim/blackhole?ms=" + std::to_string(ms)).body == "1";
}

// A give the customer confirms; the cashier closes its result screen.
void Confirmed(Till& till, int i) {
    HWND transaction = till.Start(kGive, std::to_wstring(10000 + i));
    if (!transaction || !till.WaitForSent(kGetResultTemplate, 1))
        Fail("a give never polled");
    if (!till.sim.Confirm(till.Device()) || !till.WaitForSent(kDeleteDataTemplate, 1))
        Fail("a confirmed give never completed");
    if (!till.Close(transaction, kEsc, kPastTimeoutMs))
        Fail("the transaction dialog did not close");
}

// A give whose next poll is connecting when the cashier closes the dialog.
void ClosedInConnect(Till& till, int i) {
    HWND transaction = till.Start(kGive, std::to_wstring(10000 + i));
    if (!transaction || !till.WaitForSent(kGetResultTemplate, 1))
        Fail("a give never polled");
    if (!Blackhole(till.sim, kCloseBlackholeMs) || !till.WaitForUnansweredConnect())
        Fail("no poll was caught in its connect");
    if (!till.Close(transaction, kEsc, kPastTimeoutMs))
        Fail("the transaction dialog did not close during a poll's connect");
}

// A give whose connect is answered only after the program gave up on it.
void AnsweredLate(Till& till, int i) {
    if (!Blackhole(till.sim, kLateBlackholeMs))
        Fail("the port could not be black-holed");
    if (till.Start(kGive, std::to_wstring(10000 + i)) != nullptr)
        Fail("a give went through a black-holed port");
    if (till.TakeMessageBox(kPastTimeoutMs).empty())
        Fail("a failed give showed no message");
    // The waiting screen stays, with no poller behind it, until the cashier closes it.
    HWND transaction = till.TransactionDialog(true);
    if (!transaction || !till.Close(transaction, kEsc, kPastTimeoutMs))
        Fail("the dialog of a failed give did not close");
}

} // namespace

int main(int argc, char** argv) {
    int transactions = 500, closes = 50, late = 10, every = 100;
    for (int i = 1; i + 1 < argc; i += 2) {
        const int value = std::max(0, std::atoi(argv[i + 1]));
        if (std::strcmp(argv[i], "--transactions") == 0)
            transactions = std::max(1, value);
        else if (std::strcmp(argv[i], "--closes-in-connect") == 0)
            closes = value;
        else if (std::strcmp(argv[i], "--late-operations") == 0)
            late = value;
        else if (std::strcmp(argv[i], "--every") == 0)
            every = std::max(1, value);
    }
    closes = std::min(closes, transactions);
    late = std::min(late, transactions - closes);
    const SimClient sim(SimClient::PortFromEnvironment());
    if (sim.Port() == 0 || !sim.Reset())
        Fail("no quillon-server on QUILLON_TEST_PORT");
    sim.SetShop("demo", "version=2&coins=1500&rate=5");

    Till till(sim.Port(), L"QuillonBench.exe");
    if (!till.StartProgram() || !till.OpenAmountEntry())
        Fail("QuillonBench.exe did not start, log in and open the amount entry");
    std::printf("Quillon soak: %d transactions in one run of QuillonBench.exe under Wine against quillon-server "
                "on 127.0.0.1:%d,\nof them %d closed while a poll was connecting and %d operations whose "
                "connect was answered after the 10 s limit.\nHeld by the program after each step (connections: "
                "its established connections to the server's port; connecting: its unanswered connects):\n",
                transactions, sim.Port(), closes, late);
    PrintHeader();
    PrintSample(till, 0);
    const int special = closes + late;
    for (int i = 0; i < transactions; ++i) {
        sim.Reset(); // its connect waits for the port to accept again after a blackhole
        if (!Spread(i, transactions, special))
            Confirmed(till, i);
        else if (Spread(i * special / transactions, special, late))
            AnsweredLate(till, i);
        else
            ClosedInConnect(till, i);
        if ((i + 1) % every == 0 || i + 1 == transactions) {
            // A connect answered late comes up at most 15 s after its SYN.
            gui::WaitUntil(20000, [&] { return till.sim.ConnectionsInState("02") == 0; });
            PrintSample(till, i + 1);
        }
    }
    return 0;
}
