#include "platform/win32/archive/Sha256.h"

#include <bcrypt.h>
#include <algorithm>
#include "platform/win32/Win32Api.h"

namespace dravolin::win32 {

namespace {

constexpr std::size_t kDigestBytes = 32;

bool Succeeded(NTSTATUS status) {
    return status >= 0;
}

}  // namespace

Sha256::Sha256() {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    if (!Succeeded(
            ::BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0))) {
        failed_ = true;
        return;
    }
    algorithm_ = algorithm;
    Restart();
}

Sha256::~Sha256() {
    if (hash_) ::BCryptDestroyHash(static_cast<BCRYPT_HASH_HANDLE>(hash_));
    if (algorithm_) ::BCryptCloseAlgorithmProvider(static_cast<BCRYPT_ALG_HANDLE>(algorithm_), 0);
}

void Sha256::Restart() {
    if (hash_) ::BCryptDestroyHash(static_cast<BCRYPT_HASH_HANDLE>(hash_));
    hash_ = nullptr;
    if (!algorithm_) return;
    BCRYPT_HASH_HANDLE hash = nullptr;
    failed_ = !Succeeded(::BCryptCreateHash(static_cast<BCRYPT_ALG_HANDLE>(algorithm_), &hash,
                                            nullptr, 0, nullptr, 0, 0));
    if (!failed_) hash_ = hash;
}

void Sha256::Add(const void* bytes, std::size_t length) {
    auto* at = static_cast<UCHAR*>(const_cast<void*>(bytes));
    while (!failed_ && length > 0) {
        const ULONG piece = static_cast<ULONG>(std::min<std::size_t>(length, 1u << 30));
        failed_ =
            !Succeeded(::BCryptHashData(static_cast<BCRYPT_HASH_HANDLE>(hash_), at, piece, 0));
        at += piece;
        length -= piece;
    }
}

std::optional<std::string> Sha256::Finish() {
    UCHAR digest[kDigestBytes] = {};
    const bool ok = !failed_ && Succeeded(::BCryptFinishHash(static_cast<BCRYPT_HASH_HANDLE>(hash_),
                                                             digest, sizeof digest, 0));
    Restart();
    if (!ok) return std::nullopt;
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text;
    for (const UCHAR byte : digest) {
        text += kHex[byte >> 4];
        text += kHex[byte & 15];
    }
    return text;
}

std::string Sha256Of(std::string_view text) {
    Sha256 hash;
    hash.Add(text.data(), text.size());
    return hash.Finish().value_or(std::string());
}

}  // namespace dravolin::win32
