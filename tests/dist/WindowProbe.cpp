// Starts an installed or unpacked Quillon.exe and waits for its login dialog (a "#32770" of that
// process), for tests/dist/install.sh. Exit code 0 when the dialog came, 1 when not, 2 when the
// program did not start; the program is ended either way.
#include "tests/support/Gui.h"

#include <cstdio>

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::fputs("usage: quillon_window_probe PROGRAM.exe\n", stderr);
        return 2;
    }
    TestProcess program;
    if (!program.Start(argv[1])) {
        std::fprintf(stderr, "probe: %ls did not start\n", argv[1]);
        return 2;
    }
    HWND dialog = gui::WaitForWindow(program.Id(), L"#32770", {}, 20000);
    if (dialog)
        std::printf("probe: login dialog %dx%d\n", static_cast<int>(gui::ClientSize(dialog).cx),
                    static_cast<int>(gui::ClientSize(dialog).cy));
    else
        std::fprintf(stderr, "probe: no dialog of %ls\n", argv[1]);
    program.Terminate();
    return dialog ? 0 : 1;
}
