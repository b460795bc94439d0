// DER-level edits of Authenticode signatures for the host tests: a signed
// image's certificate entry read and replaced, its PKCS#7 parsed, changed
// with OpenSSL and encoded again, as an attacker with or without a key would.
#pragma once

#include <stdio.h>
#include <stdlib.h>
#include <time.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <openssl/asn1.h>
#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/pem.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>

#include "base/bytes.h"
#include "tests/host/signing_kit.h"
#include "tools/lib/authenticode.h"
#include "tools/lib/pe_image.h"

namespace signature_edits {

using Bytes = std::vector<uint8_t>;

// Owners for the OpenSSL objects the edits make.
struct P7Free { void operator()(PKCS7 *p) const { PKCS7_free(p); } };
struct KeyFree { void operator()(EVP_PKEY *p) const { EVP_PKEY_free(p); } };
struct CertFree { void operator()(X509 *p) const { X509_free(p); } };
using P7 = std::unique_ptr<PKCS7, P7Free>;
using Key = std::unique_ptr<EVP_PKEY, KeyFree>;
using Cert = std::unique_ptr<X509, CertFree>;

inline Key ReadKey(const std::string &path)
{
    FILE *f = fopen(path.c_str(), "r");
    EVP_PKEY *k = f ? PEM_read_PrivateKey(f, nullptr, nullptr, nullptr) : nullptr;
    if (f)
        fclose(f);
    return Key(k);
}

inline Cert ReadCert(const std::string &path)
{
    FILE *f = fopen(path.c_str(), "r");
    X509 *c = f ? PEM_read_X509(f, nullptr, nullptr, nullptr) : nullptr;
    if (f)
        fclose(f);
    return Cert(c);
}

// Where the certificate table of a signed image lies.
inline tk::ImageLayout SignedLayoutOf(const Bytes &image)
{
    tk::PeImage pe;
    tk::ImageLayout l;
    std::string err;
    if (tk::ParsePeImage(image.data(), image.size(), &pe, &err))
        tk::ImageLayoutOf(pe, &l);
    return l;
}

// The signature of a signed image: its one certificate entry's data.
inline Bytes EntryOf(const Bytes &image)
{
    const tk::ImageLayout l = SignedLayoutOf(image);
    const uint32_t length = GetUi32(&image[l.certTableOffset]);
    return Bytes(image.begin() + l.certTableOffset + 8, image.begin() + l.certTableOffset + length);
}

// `image` with its certificate table holding one entry of `data`, padded to
// 8 bytes, and the directory entry and PE checksum to match.
inline Bytes WithEntry(const Bytes &image, const Bytes &data)
{
    const tk::ImageLayout l = SignedLayoutOf(image);
    Bytes b(image.begin(), image.begin() + l.certTableOffset);
    const uint32_t length = (uint32_t)data.size() + 8;
    Bytes head(8);
    SetUi32(&head[0], length);
    SetUi16(&head[4], tk::kWinCertRevision2);
    SetUi16(&head[6], tk::kWinCertTypePkcsSignedData);
    b.insert(b.end(), head.begin(), head.end());
    b.insert(b.end(), data.begin(), data.end());
    b.resize(b.size() + (8 - length % 8) % 8, 0);
    SetUi32(&b[l.certEntryOffset + 4], (uint32_t)(b.size() - l.certTableOffset));
    SetUi32(&b[l.checksumOffset], tk::PeChecksum(b.data(), b.size()));
    return b;
}

inline P7 Parse(const Bytes &der)
{
    const unsigned char *p = der.data();
    return P7(d2i_PKCS7(nullptr, &p, (long)der.size()));
}

inline Bytes Encode(PKCS7 *p7)
{
    unsigned char *out = nullptr;
    int n = i2d_PKCS7(p7, &out);
    Bytes b(out, out + std::max(n, 0));
    OPENSSL_free(out);
    return b;
}

inline PKCS7_SIGNER_INFO *SignerOf(PKCS7 *p7) { return sk_PKCS7_SIGNER_INFO_value(PKCS7_get_signer_info(p7), 0); }

// Adds the unsigned attribute `oid` with one value of ASN.1 type `type`
// (for a SEQUENCE, `value` is its whole DER; otherwise its contents).
inline void AddUnsigned(PKCS7_SIGNER_INFO *si, const char *oid, int type, const Bytes &value)
{
    ASN1_OBJECT *obj = OBJ_txt2obj(oid, 1);
    X509_ATTRIBUTE *a = X509_ATTRIBUTE_create_by_OBJ(nullptr, obj, type, value.data(), (int)value.size());
    ASN1_OBJECT_free(obj);
    if (!si->unauth_attr)
        si->unauth_attr = sk_X509_ATTRIBUTE_new_null();
    sk_X509_ATTRIBUTE_push(si->unauth_attr, a);
}

// Signs the signer info again over its signed attributes with `key` and the
// digest `md`, its messageDigest recomputed over `content`: what a holder of
// the key can make with any digest it likes.
inline void Resign(PKCS7_SIGNER_INFO *si, EVP_PKEY *key, const EVP_MD *md, const Bytes &content)
{
    X509_ALGOR_set0(si->digest_alg, OBJ_nid2obj(EVP_MD_get_type(md)), V_ASN1_NULL, nullptr);
    unsigned char d[EVP_MAX_MD_SIZE];
    unsigned int n = 0;
    EVP_Digest(content.data(), content.size(), d, &n, md, nullptr);
    int at = X509at_get_attr_by_NID(si->auth_attr, NID_pkcs9_messageDigest, -1);
    X509_ATTRIBUTE_free(X509at_delete_attr(si->auth_attr, at));
    ASN1_OCTET_STRING *os = ASN1_OCTET_STRING_new();
    ASN1_OCTET_STRING_set(os, d, (int)n);
    PKCS7_add_signed_attribute(si, NID_pkcs9_messageDigest, V_ASN1_OCTET_STRING, os);
    EVP_PKEY_up_ref(key);
    EVP_PKEY_free(si->pkey);
    si->pkey = key;
    PKCS7_SIGNER_INFO_sign(si);
}

// The contents octets of the SpcIndirectDataContent: what messageDigest covers.
inline Bytes SignedContent(PKCS7 *p7)
{
    const ASN1_STRING *seq = p7->d.sign->contents->d.other->value.sequence;
    const unsigned char *p = seq->data;
    long len = 0;
    int tag = 0, cls = 0;
    ASN1_get_object(&p, &len, &tag, &cls, seq->length);
    return Bytes(p, p + len);
}

// A legacy countersignature of `si` by `cert` and `key`, dated `when`.
inline Bytes Countersignature(PKCS7_SIGNER_INFO *si, X509 *cert, EVP_PKEY *key, time_t when)
{
    PKCS7_SIGNER_INFO *csi = PKCS7_SIGNER_INFO_new();
    PKCS7_SIGNER_INFO_set(csi, cert, key, EVP_sha256());
    PKCS7_add_signed_attribute(csi, NID_pkcs9_contentType, V_ASN1_OBJECT, OBJ_nid2obj(NID_pkcs7_data));
    PKCS7_add_signed_attribute(csi, NID_pkcs9_signingTime, V_ASN1_UTCTIME, ASN1_UTCTIME_set(nullptr, when));
    unsigned char d[EVP_MAX_MD_SIZE];
    unsigned int n = 0;
    EVP_Digest(si->enc_digest->data, (size_t)si->enc_digest->length, d, &n, EVP_sha256(), nullptr);
    ASN1_OCTET_STRING *os = ASN1_OCTET_STRING_new();
    ASN1_OCTET_STRING_set(os, d, (int)n);
    PKCS7_add_signed_attribute(csi, NID_pkcs9_messageDigest, V_ASN1_OCTET_STRING, os);
    PKCS7_SIGNER_INFO_sign(csi);
    unsigned char *out = nullptr;
    int len = i2d_PKCS7_SIGNER_INFO(csi, &out);
    Bytes b(out, out + std::max(len, 0));
    OPENSSL_free(out);
    PKCS7_SIGNER_INFO_free(csi);
    return b;
}

// `image`'s signature parsed, changed by `edit` and put back.
inline Bytes EditSignature(const Bytes &image, const std::function<void(PKCS7 *)> &edit)
{
    P7 p7 = Parse(EntryOf(image));
    if (!p7)
        return Bytes();   // the caller's check of the result fails
    edit(p7.get());
    return WithEntry(image, Encode(p7.get()));
}

// osslsigncode run on `in` with `args`; false when it failed.
inline bool Ossl(const SigningKit &k, const std::string &args)
{
    return system(("osslsigncode " + args + " >>'" + k.Path("sign.log") + "' 2>&1").c_str()) == 0;
}

// A SignedData without content: valid DER that a reader of time stamps must
// not take for one.
inline const Bytes kEmptySignedData = {0x30, 0x0B, 0x06, 0x09, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x02};
constexpr char kOidRfc3161[] = "1.3.6.1.4.1.311.3.3.1";

}  // namespace signature_edits
