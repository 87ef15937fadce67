// The process entry point of a framework program.
#include "framework/App.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR commandLine, int show) {
    return AfxWinMain(instance, commandLine, show);
}
