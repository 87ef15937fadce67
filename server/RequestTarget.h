// Request targets as they arrive, before any decoding: what may be kept or shown of one, and the
// parts of one in absolute form (sent to a proxy). Pure functions of outside input, fuzzed.
#pragma once

#include <optional>
#include <string>
#include <string_view>

class RequestTarget {
public:
    // The target with the value of every parameter whose decoded name is "password" (in any
    // case) replaced by "***". The request log and the printed lines hold only this form.
    static std::string MaskPasswords(std::string_view target);

    struct Absolute {
        std::string host; // as written: host[:port], never empty, no '/' or '?'
        std::string path; // origin form: begins with '/'
    };
    // "http://HOST", "http://HOST/path?query" or "http://HOST?query"; nothing for any other target.
    static std::optional<Absolute> SplitAbsolute(std::string_view target);
};
