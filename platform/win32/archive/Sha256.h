#pragma once
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace dravolin::win32 {

// SHA-256 from Windows' own cryptography (CNG). One digest at a time: Add the bytes, then
// Finish, after which the next digest starts. A failure of the system's provider (which does
// not happen short of a broken system) makes Finish give nothing.
class Sha256 {
  public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    // Forgets what was added since the last Finish.
    void Restart();
    void Add(const void* bytes, std::size_t length);
    // The digest in lowercase hex of what was added since the last Finish.
    std::optional<std::string> Finish();

  private:
    void* algorithm_ = nullptr;  // BCRYPT_ALG_HANDLE
    void* hash_ = nullptr;       // BCRYPT_HASH_HANDLE
    bool failed_ = false;
};

// The digest of a text; empty when the provider failed.
std::string Sha256Of(std::string_view text);

}  // namespace dravolin::win32
