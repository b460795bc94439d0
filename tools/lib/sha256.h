// SHA-256 through OpenSSL's libcrypto, fed in pieces: the one digest of the
// tools' files (build logs, the medium's seal, payloads as they expand).
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>

namespace tk {

constexpr size_t kSha256Size = 32;

class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256 &) = delete;
    Sha256 &operator=(const Sha256 &) = delete;

    void Update(const void *data, size_t len);
    // The digest of everything fed; false only when libcrypto failed (out of
    // memory), and then `out` is zeros.
    bool Final(uint8_t out[kSha256Size]);

private:
    void *ctx_;   // EVP_MD_CTX
    bool ok_;
};

// Lower-case hexadecimal of `len` bytes.
std::string HexBytes(const uint8_t *data, size_t len);

}  // namespace tk
