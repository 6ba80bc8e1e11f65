#pragma once
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

struct evp_md_ctx_st;
struct evp_md_st;

namespace dravolin::lnx {

// SHA-256 of bytes given piece by piece, as they stream past (OpenSSL's libcrypto). The
// digest comes out as 64 lowercase hex digits, the form sha256sum and BagIt manifests use.
class Sha256 {
  public:
    // Throws std::bad_alloc when libcrypto cannot set up a digest.
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void Update(const void* bytes, std::size_t size);
    // The digest of everything given since the start or the last Finish; starts afresh.
    std::string Finish();
    // Forgets everything given since the start or the last Finish.
    void Reset();

  private:
    struct Free {
        void operator()(evp_md_ctx_st* context) const;
        void operator()(evp_md_st* digest) const;
    };
    // Looked up once, not at every start as EVP_sha256() would be (0.2 us each, per file).
    std::unique_ptr<evp_md_st, Free> digest_;
    std::unique_ptr<evp_md_ctx_st, Free> context_;
};

// The digest of one piece of memory.
std::string Sha256Of(std::string_view bytes);

}  // namespace dravolin::lnx
