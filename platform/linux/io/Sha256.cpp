#include "platform/linux/io/Sha256.h"

#include <openssl/evp.h>
#include <new>

namespace dravolin::lnx {

void Sha256::Free::operator()(evp_md_ctx_st* context) const {
    EVP_MD_CTX_free(context);
}

void Sha256::Free::operator()(evp_md_st* digest) const {
    EVP_MD_free(digest);
}

Sha256::Sha256() : digest_(EVP_MD_fetch(nullptr, "SHA256", nullptr)), context_(EVP_MD_CTX_new()) {
    if (!digest_ || !context_) throw std::bad_alloc();
    Reset();
}

Sha256::~Sha256() = default;

void Sha256::Reset() {
    if (EVP_DigestInit_ex(context_.get(), digest_.get(), nullptr) != 1) throw std::bad_alloc();
}

void Sha256::Update(const void* bytes, std::size_t size) {
    // Cannot fail for a digest set up in Reset: SHA-256 keeps no state outside the context.
    EVP_DigestUpdate(context_.get(), bytes, size);
}

std::string Sha256::Finish() {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_DigestFinal_ex(context_.get(), digest, &length);
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text;
    text.reserve(length * 2);
    for (unsigned int i = 0; i < length; ++i) {
        text += kHex[digest[i] >> 4];
        text += kHex[digest[i] & 15];
    }
    Reset();
    return text;
}

std::string Sha256Of(std::string_view bytes) {
    Sha256 hash;
    hash.Update(bytes.data(), bytes.size());
    return hash.Finish();
}

}  // namespace dravolin::lnx
