// A folder of the test's own under /tmp, removed with whatever the test left in it.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <string>

struct TempDir {
    std::filesystem::path path = [] { // where it cannot be made, a path where nothing can be written either
        char pattern[] = "/tmp/quillon-test.XXXXXX";
        return std::filesystem::path(mkdtemp(pattern) ? pattern : "/nonexistent-dir");
    }();
    ~TempDir() { std::filesystem::remove_all(path); }
    std::string operator/(const std::string& name) const { return (path / name).string(); }
};
