#include "tools/lib/sha256.h"

#include <openssl/evp.h>
#include <string.h>

namespace tk {

Sha256::Sha256()
{
    EVP_MD_CTX *ctx = EVP_MD_CTX_new();
    ctx_ = ctx;
    ok_ = ctx && EVP_DigestInit_ex(ctx, EVP_sha256(), nullptr) == 1;
}

Sha256::~Sha256()
{
    EVP_MD_CTX_free((EVP_MD_CTX *)ctx_);
}

void Sha256::Update(const void *data, size_t len)
{
    if (ok_ && len > 0)
        ok_ = EVP_DigestUpdate((EVP_MD_CTX *)ctx_, data, len) == 1;
}

bool Sha256::Final(uint8_t out[kSha256Size])
{
    unsigned len = 0;
    unsigned char md[EVP_MAX_MD_SIZE];
    ok_ = ok_ && EVP_DigestFinal_ex((EVP_MD_CTX *)ctx_, md, &len) == 1 && len == kSha256Size;
    memset(out, 0, kSha256Size);
    if (ok_)
        memcpy(out, md, kSha256Size);
    return ok_;
}

std::string HexBytes(const uint8_t *data, size_t len)
{
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(len * 2);
    for (size_t i = 0; i < len; i++) {
        hex += digits[data[i] >> 4];
        hex += digits[data[i] & 15];
    }
    return hex;
}

}  // namespace tk
