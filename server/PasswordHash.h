// Shop passwords are kept only as salted PBKDF2-HMAC-SHA-256 hashes, in one text column:
// "pbkdf2-sha256$ITERATIONS$SALT_HEX$HASH_HEX".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

class PasswordHash {
public:
    // PBKDF2-HMAC-SHA-256 at today's recommended cost (OWASP, 2023). Each hash keeps its own
    // count, so hashes made with another one still verify.
    static constexpr int kIterations = 600'000;

    // A fresh hash of `password` with a random salt.
    static std::string Make(std::string_view password, int iterations = kIterations);
    // The iterations this process has run, all hashes together: how tests see the work a login
    // does without timing it.
    static std::uint64_t IterationsRun();
    // Whether `password` matches a stored hash; false for anything that is not such a hash.
    static bool Verify(std::string_view password, std::string_view stored);

private:
    static std::string Derive(std::string_view password, const std::string& salt, int iterations);
};
