#include "server/PasswordHash.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <atomic>
#include <stdexcept>
#include <vector>

namespace {

constexpr std::string_view kScheme = "pbkdf2-sha256";
constexpr int kSaltBytes = 16;
constexpr int kHashBytes = 32;

std::string Hex(const unsigned char* data, std::size_t size) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(size * 2);
    for (std::size_t i = 0; i < size; ++i) {
        out.push_back(kDigits[data[i] >> 4]);
        out.push_back(kDigits[data[i] & 15]);
    }
    return out;
}

std::vector<std::string_view> SplitDollar(std::string_view text) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (;;) {
        const auto end = text.find('$', start);
        parts.push_back(text.substr(start, end == std::string_view::npos ? text.npos : end - start));
        if (end == std::string_view::npos)
            return parts;
        start = end + 1;
    }
}

std::atomic<std::uint64_t> g_iterationsRun{0};

} // namespace

std::uint64_t PasswordHash::IterationsRun() { return g_iterationsRun.load(); }

std::string PasswordHash::Derive(std::string_view password, const std::string& salt, int iterations) {
    unsigned char out[kHashBytes];
    g_iterationsRun += static_cast<std::uint64_t>(iterations);
    if (PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()),
                          reinterpret_cast<const unsigned char*>(salt.data()), static_cast<int>(salt.size()),
                          iterations, EVP_sha256(), kHashBytes, out) != 1) {
        throw std::runtime_error("password hashing failed");
    }
    return Hex(out, kHashBytes);
}

std::string PasswordHash::Make(std::string_view password, int iterations) {
    unsigned char salt[kSaltBytes];
    if (RAND_bytes(salt, kSaltBytes) != 1)
        throw std::runtime_error("no random bytes for a salt");
    const std::string saltHex = Hex(salt, kSaltBytes);
    return std::string(kScheme) + "$" + std::to_string(iterations) + "$" + saltHex + "$" +
           Derive(password, saltHex, iterations);
}

bool PasswordHash::Verify(std::string_view password, std::string_view stored) {
    // HMAC pads its key with zero bytes, so "demo" followed by NULs would derive the same hash as
    // "demo". Nobody types a NUL; a password holding one is simply wrong.
    if (password.find('\0') != std::string_view::npos)
        return false;
    const auto parts = SplitDollar(stored);
    if (parts.size() != 4 || parts[0] != kScheme || parts[2].empty())
        return false;
    int iterations = 0;
    for (char c : parts[1]) {
        if (c < '0' || c > '9' || iterations > 10'000'000)
            return false;
        iterations = iterations * 10 + (c - '0');
    }
    if (iterations < 1)
        return false;
    const std::string expected(parts[3]);
    const std::string actual = Derive(password, std::string(parts[2]), iterations);
    return expected.size() == actual.size() &&
           CRYPTO_memcmp(expected.data(), actual.data(), actual.size()) == 0;
}
