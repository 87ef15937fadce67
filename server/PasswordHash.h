// Shop passwords are kept only as salted PBKDF2-HMAC-SHA-256 hashes, in one text column:
// "pbkdf2-sha256$ITERATIONS$SALT_HEX$HASH_HEX".
#pragma once

#include <string>
#include <string_view>

class PasswordHash {
public:
    // A fresh hash of `password` with a random salt.
    static std::string Make(std::string_view password);
    // Whether `password` matches a stored hash; false for anything that is not such a hash.
    static bool Verify(std::string_view password, std::string_view stored);

private:
    static std::string Derive(std::string_view password, const std::string& salt, int iterations);
};
