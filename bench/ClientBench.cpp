// Figures of the real Quillon program against quillon-server, under Wine: how soon a transaction
// ends once the customer has confirmed it, what the client costs while it waits, its peak memory
// and the size of the executable. Not a test: it asserts nothing and prints what it measured.
//
//   quillon_client_bench.exe [--transactions N] [--wait-seconds S]
//
// Run by bench/run.sh, which starts quillon-server on the port in QUILLON_TEST_PORT.
// QuillonBench.exe (Quillon built for that port) and Quillon.exe lie next to this program.
//
// Completion latency is measured on the server's clock (the request log's milliseconds, read
// through /sim/clock): from the moment the /sim/confirm call returned to the arrival of the
// delete-data request, and to the first capture of the window that shows the give result
// picture. Each confirmation comes at a random moment of the poller's cycle.
#include "dialogs/PollCompletion.h"
#include "res/resource.h"
#include "tests/support/Till.h"

#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace {

// Rows of the transaction dialog where the waiting and the give result pictures differ most and
// the program draws nothing over them.
constexpr RECT kStrip{0, 80, 600, 120};

double NowMs() {
    static const double perMs = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart) / 1000.0;
    }();
    LARGE_INTEGER c;
    QueryPerformanceCounter(&c);
    return static_cast<double>(c.QuadPart) / perMs;
}

double FileTimeMs(const FILETIME& t) {
    return static_cast<double>((static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime) /
           10000.0;
}

struct Summary {
    double min = 0, median = 0, p99 = 0, max = 0;
};

Summary Summarise(std::vector<double> values) {
    Summary s;
    if (values.empty())
        return s;
    std::sort(values.begin(), values.end());
    const auto rank = [&](double q) {
        const auto index = static_cast<std::size_t>(std::ceil(q * static_cast<double>(values.size()))) - 1;
        return values[std::min(index, values.size() - 1)];
    };
    s.min = values.front();
    s.median = rank(0.5);
    s.p99 = rank(0.99);
    s.max = values.back();
    return s;
}

// The log's lines as (ms, target).
std::vector<std::pair<long long, std::string>> LogLines(const SimClient& sim) {
    std::vector<std::pair<long long, std::string>> lines;
    const std::string text = sim.Get("/sim/requests").body;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = text.substr(start, end - start);
        const std::size_t space = line.find(' ');
        if (space != std::string::npos)
            lines.emplace_back(std::atoll(line.c_str()), line.substr(space + 1));
        start = end + 1;
    }
    return lines;
}

std::optional<long long> FirstArrival(const SimClient& sim, const std::string& path) {
    for (const auto& [ms, target] : LogLines(sim))
        if (target.rfind(path + "?", 0) == 0)
            return ms;
    return std::nullopt;
}

// The server's clock minus this program's, in ms, from the /sim/clock exchange that took the
// least time among a few (the server read its clock somewhere inside that exchange).
double ServerClockOffset(const SimClient& sim) {
    double best = 1e9, offset = 0;
    for (int i = 0; i < 5; ++i) {
        const double before = NowMs();
        const std::string body = sim.Get("/sim/clock").body;
        const double after = NowMs();
        const std::size_t sep = body.find("</>");
        if (sep == std::string::npos)
            continue;
        const double server = std::atof(body.c_str() + sep + 3) + 0.5; // whole ms, truncated
        if (after - before < best) {
            best = after - before;
            offset = server - (before + after) / 2;
        }
    }
    return offset;
}

// A capture of kStrip of a window, kept between captures (GetDC of the window, BitBlt into a DIB).
class StripCapture {
public:
    explicit StripCapture(HWND window) : m_window(window), m_dc(GetDC(window)) {
        m_memory = CreateCompatibleDC(m_dc);
        void* bits = nullptr;
        m_bitmap = CreateTopDownDib(m_memory, Width(), Height(), &bits);
        m_bits = static_cast<decltype(m_bits)>(bits);
        m_previous = SelectObject(m_memory, m_bitmap);
    }
    ~StripCapture() {
        SelectObject(m_memory, m_previous);
        DeleteObject(m_bitmap);
        DeleteDC(m_memory);
        ReleaseDC(m_window, m_dc);
    }
    StripCapture(const StripCapture&) = delete;
    StripCapture& operator=(const StripCapture&) = delete;

    // The share of the strip's pixels, outside `skip` (client coordinates), equal to `picture`.
    double Agreement(const Screen& picture, const RECT& skip) {
        if (!BitBlt(m_memory, 0, 0, Width(), Height(), m_dc, kStrip.left, kStrip.top, SRCCOPY))
            return 0.0;
        GdiFlush();
        long same = 0, counted = 0;
        for (int y = 0; y < Height(); ++y)
            for (int x = 0; x < Width(); ++x) {
                const POINT p{kStrip.left + x, kStrip.top + y};
                if (PtInRect(&skip, p))
                    continue;
                const std::uint32_t bgra = m_bits[y * Width() + x];
                const COLORREF c = RGB((bgra >> 16) & 0xFF, (bgra >> 8) & 0xFF, bgra & 0xFF);
                same += c == picture.At(p.x, p.y);
                ++counted;
            }
        return counted ? static_cast<double>(same) / counted : 0.0;
    }

private:
    static int Width() { return kStrip.right - kStrip.left; }
    static int Height() { return kStrip.bottom - kStrip.top; }
    HWND m_window;
    HDC m_dc;
    HDC m_memory = nullptr;
    HBITMAP m_bitmap = nullptr;
    HGDIOBJ m_previous = nullptr;
    std::uint32_t* m_bits = nullptr;
};

double CpuMs(HANDLE process) {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user))
        return -1;
    return FileTimeMs(kernel) + FileTimeMs(user);
}

// Wine reports no CPU times for another process, so they are read where Linux keeps them: in
// /proc/<pid>/stat of the Unix process whose command line is `exe`, reached through drive Z:.
// Kernel + user time in ms (USER_HZ is 100 on Linux); nullopt when the process is not found.
std::optional<double> LinuxCpuMs(const std::wstring& exe) {
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW(L"Z:\\proc\\*", &entry);
    if (find == INVALID_HANDLE_VALUE)
        return std::nullopt;
    std::optional<double> found;
    do {
        const std::wstring pid = entry.cFileName;
        if (pid.empty() || pid.find_first_not_of(L"0123456789") != std::wstring::npos)
            continue;
        const std::wstring base = L"Z:\\proc\\" + pid + L"\\";
        std::FILE* cmdline = _wfopen((base + L"cmdline").c_str(), L"rb");
        if (!cmdline)
            continue;
        char first[1024] = {};
        const std::size_t n = std::fread(first, 1, sizeof first - 1, cmdline);
        std::fclose(cmdline);
        first[std::min(n, sizeof first - 1)] = 0;
        wchar_t name[1024] = {};
        MultiByteToWideChar(CP_UTF8, 0, first, -1, name, static_cast<int>(std::size(name)) - 1);
        if (CompareStringOrdinal(name, -1, exe.c_str(), -1, TRUE) != CSTR_EQUAL)
            continue;
        std::FILE* stat = _wfopen((base + L"stat").c_str(), L"rb");
        if (!stat)
            continue;
        char text[2048] = {};
        std::fread(text, 1, sizeof text - 1, stat);
        std::fclose(stat);
        const char* rest = std::strrchr(text, ')'); // the name may hold spaces
        unsigned long long utime = 0, stime = 0;
        if (rest && std::sscanf(rest + 1, " %*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %llu %llu", &utime,
                                &stime) == 2)
            found = static_cast<double>(utime + stime) * 10.0;
    } while (!found && FindNextFileW(find, &entry));
    FindClose(find);
    return found;
}

long long FileSize(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return -1;
    return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "quillon_client_bench: %s\n", what);
    std::exit(1);
}

void PrintSummary(const char* what, const std::vector<double>& values, double bound) {
    const Summary s = Summarise(values);
    const auto within = std::count_if(values.begin(), values.end(), [&](double v) { return v <= bound; });
    std::printf("  %-34s min %6.1f  median %6.1f  p99 %6.1f  max %6.1f ms   within bound: %lld of %zu\n",
                what, s.min, s.median, s.p99, s.max, static_cast<long long>(within), values.size());
}

} // namespace

int main(int argc, char** argv) {
    int transactions = 60;
    int waitSeconds = 30;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--transactions") == 0)
            transactions = std::max(1, std::atoi(argv[i + 1]));
        else if (std::strcmp(argv[i], "--wait-seconds") == 0)
            waitSeconds = std::max(1, std::atoi(argv[i + 1]));
    }
    const SimClient sim(SimClient::PortFromEnvironment());
    if (sim.Port() == 0 || !sim.Reset())
        Fail("no quillon-server on QUILLON_TEST_PORT");
    sim.SetShop("demo", "version=2&coins=1500&rate=5");

    const std::wstring dir = ExecutableDirectory();
    const std::wstring exe = dir + L"QuillonBench.exe";
    const Screen waiting(exe, IDB_WAITING), done(exe, IDB_GIVE_DONE);
    if (!waiting.Valid() || !done.Valid())
        Fail("the pictures are not in QuillonBench.exe");

    // One exchange as the client makes it: a new connection, a GET of get-result, the body.
    std::vector<double> exchanges;
    for (int i = 0; i < 30; ++i) {
        const double start = NowMs();
        sim.Get("/android/pcposgetmilegeret.php?deviceid=bench");
        exchanges.push_back(NowMs() - start);
    }
    const double benchExchangeMs = Summarise(exchanges).median;

    Till till(sim.Port(), L"QuillonBench.exe");
    if (!till.StartProgram() || !till.OpenAmountEntry())
        Fail("QuillonBench.exe did not start, log in and open the amount entry");

    std::mt19937 random(20240601);
    std::uniform_int_distribution<int> phase(0, kPollPauseMs + 100);
    std::vector<double> toDelete, toPaint, captures;
    for (int i = 0; i < transactions; ++i) {
        sim.Reset();
        HWND transaction = till.Start(kGive, std::to_wstring(10000 + i));
        if (!transaction || !till.WaitForSent(kGetResultTemplate, 1))
            Fail("the give never polled");
        const RECT phone = Till::ControlRect(transaction, IDC_PHONE_EDIT);
        Sleep(static_cast<DWORD>(phase(random)));
        const double offset = ServerClockOffset(sim);
        StripCapture strip(transaction);
        if (!sim.Confirm(till.Device()))
            Fail("the confirmation was refused");
        const double confirmed = NowMs() + offset;

        std::optional<double> painted;
        const double giveUp = NowMs() + kWaitMs;
        while (!painted && NowMs() < giveUp) {
            const double before = NowMs();
            const double onDone = strip.Agreement(done, phone);
            const double now = NowMs();
            captures.push_back(now - before);
            if (onDone > 0.98 && onDone > strip.Agreement(waiting, phone))
                painted = now + offset;
        }
        if (!painted)
            Fail("the give result never showed");
        const auto deleted = [&]() -> std::optional<long long> {
            std::optional<long long> ms;
            gui::WaitUntil(
                kWaitMs, [&] { return (ms = FirstArrival(sim, "/android/deleteposdata.php")).has_value(); });
            return ms;
        }();
        if (!deleted)
            Fail("no delete-data request");
        toDelete.push_back(static_cast<double>(*deleted) - confirmed);
        toPaint.push_back(*painted - confirmed);
        if (!till.Close(transaction, kEsc, 60000))
            Fail("the transaction dialog did not close");
    }

    // The client's cost while nothing happens: first with the amount entry open, then with a give
    // waiting for a customer who does not confirm.
    // Arrival to arrival of two polls: the pause plus one exchange as the client makes it.
    std::vector<double> pollCycles;
    struct Cost {
        double linuxMsPerMin = -1;   // from /proc, -1 when not found
        double windowsMsPerMin = -1; // from GetProcessTimes
        int polls = 0;
    };
    auto cost = [&] {
        Cost c;
        sim.Reset();
        const auto linuxBefore = LinuxCpuMs(exe);
        const double windowsBefore = CpuMs(till.app.Handle());
        const double wallBefore = NowMs();
        Sleep(static_cast<DWORD>(waitSeconds) * 1000);
        const auto linuxAfter = LinuxCpuMs(exe);
        const double windowsAfter = CpuMs(till.app.Handle());
        const double minutes = (NowMs() - wallBefore) / 60000.0;
        if (linuxBefore && linuxAfter)
            c.linuxMsPerMin = (*linuxAfter - *linuxBefore) / minutes;
        c.windowsMsPerMin = (windowsAfter - windowsBefore) / minutes;
        long long previous = -1;
        for (const auto& [ms, target] : LogLines(sim)) {
            if (target.rfind("/android/pcposgetmilegeret.php?", 0) != 0)
                continue;
            ++c.polls;
            if (previous >= 0)
                pollCycles.push_back(static_cast<double>(ms - previous));
            previous = ms;
        }
        return c;
    };
    const Cost idle = cost();
    HWND transaction = till.Start(kGive, L"20000");
    if (!transaction)
        Fail("no transaction dialog");
    const Cost waitingCost = cost();
    till.Close(transaction, kEsc, 60000);

    PROCESS_MEMORY_COUNTERS memory = {};
    memory.cb = sizeof memory;
    const bool haveMemory = GetProcessMemoryInfo(till.app.Handle(), &memory, sizeof memory);

    std::printf(
        "Quillon client benchmark: %d give transactions, QuillonBench.exe under Wine, quillon-server on "
        "127.0.0.1:%d\n\n",
        transactions, sim.Port());
    std::printf("Completion latency from the customer's confirmation (server clock):\n");
    // The client's own exchange: what its poll cycle takes beyond the pause.
    const double cycle = Summarise(pollCycles).median;
    const double bound = cycle > kPollPauseMs ? cycle : kPollPauseMs + benchExchangeMs;
    std::printf(
        "  bound: one pause + one exchange = the client's poll cycle, median %.1f ms over %zu cycles\n"
        "         (pause %d ms + its exchange %.1f ms; this program's own exchange: median %.1f ms)\n",
        bound, pollCycles.size(), kPollPauseMs, bound - kPollPauseMs, benchExchangeMs);
    PrintSummary("to the delete-data request", toDelete, bound);
    PrintSummary("to the result screen painted", toPaint, bound);
    const Summary capture = Summarise(captures);
    std::printf("  (a window capture took median %.1f ms, max %.1f ms: the paint time's resolution)\n\n",
                capture.median, capture.max);
    std::printf("Client CPU time (kernel + user of the Quillon process), per minute of waiting, from Linux\n"
                "/proc (in brackets GetProcessTimes, which Wine does not keep up for another process):\n");
    std::printf("  amount entry open, no transaction: %8.1f ms/min [%.1f] (%d polls in %d s)\n",
                idle.linuxMsPerMin, idle.windowsMsPerMin, idle.polls, waitSeconds);
    std::printf("  give waiting, not confirmed:       %8.1f ms/min [%.1f] (%d polls in %d s)\n\n",
                waitingCost.linuxMsPerMin, waitingCost.windowsMsPerMin, waitingCost.polls, waitSeconds);
    if (haveMemory) {
        std::printf("Peak memory: working set %.1f MB, pagefile (private) %.1f MB\n",
                    static_cast<double>(memory.PeakWorkingSetSize) / (1024.0 * 1024.0),
                    static_cast<double>(memory.PeakPagefileUsage) / (1024.0 * 1024.0));
    } else {
        std::printf("Peak memory: not available (GetProcessMemoryInfo failed, error %lu)\n", GetLastError());
    }
    std::printf("Executable: Quillon.exe %lld bytes (QuillonBench.exe %lld bytes)\n",
                FileSize(dir + L"Quillon.exe"), FileSize(exe));
    return 0;
}
