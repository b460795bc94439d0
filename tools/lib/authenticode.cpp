#include "tools/lib/authenticode.h"

#include <string.h>
#include <time.h>

#include <algorithm>

#include <openssl/asn1.h>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/pkcs7.h>
#include <openssl/ts.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>

#include "base/bytes.h"

namespace tk {
namespace {

// Object identifiers of Authenticode that OpenSSL has no names for.
const char kOidIndirectData[] = "1.3.6.1.4.1.311.2.1.4";
const char kOidPeImageData[] = "1.3.6.1.4.1.311.2.1.15";
const char kOidRfc3161Timestamp[] = "1.3.6.1.4.1.311.3.3.1";
const char kOidNestedSignature[] = "1.3.6.1.4.1.311.2.4.1";

constexpr size_t kDigestBlock = 1u << 16;

std::string Num(uint64_t v) { return std::to_string(v); }

std::string Hex(uint64_t v)
{
    char b[24];
    snprintf(b, sizeof b, "0x%llX", (unsigned long long)v);
    return b;
}

// Owners of OpenSSL objects, so that every path frees them.
struct Pkcs7Free { void operator()(PKCS7 *p) const { PKCS7_free(p); } };
struct SigFree { void operator()(X509_SIG *p) const { X509_SIG_free(p); } };
struct ObjFree { void operator()(ASN1_OBJECT *p) const { ASN1_OBJECT_free(p); } };
struct MdCtxFree { void operator()(EVP_MD_CTX *p) const { EVP_MD_CTX_free(p); } };
struct SiFree { void operator()(PKCS7_SIGNER_INFO *p) const { PKCS7_SIGNER_INFO_free(p); } };
struct TstFree { void operator()(TS_TST_INFO *p) const { TS_TST_INFO_free(p); } };
struct StoreFree { void operator()(X509_STORE *p) const { X509_STORE_free(p); } };
struct StoreCtxFree { void operator()(X509_STORE_CTX *p) const { X509_STORE_CTX_free(p); } };
struct BioFree { void operator()(BIO *p) const { BIO_free(p); } };
struct X509StackFree { void operator()(STACK_OF(X509) *p) const { sk_X509_free(p); } };
template <class T, class F> struct Owned {
    T *p = nullptr;
    explicit Owned(T *q = nullptr) : p(q) {}
    ~Owned() { if (p) F()(p); }
    Owned(const Owned &) = delete;
    Owned &operator=(const Owned &) = delete;
    T *get() const { return p; }
};

bool ObjIs(const ASN1_OBJECT *obj, const char *oid)
{
    if (!obj)
        return false;
    char text[128];
    int n = OBJ_obj2txt(text, sizeof text, obj, 1);
    return n > 0 && n < (int)sizeof text && strcmp(text, oid) == 0;
}

std::string NameText(const X509_NAME *name)
{
    if (!name)
        return "";
    Owned<BIO, BioFree> bio(BIO_new(BIO_s_mem()));
    if (!bio.get())
        return "";
    X509_NAME_print_ex(bio.get(), name, 0, XN_FLAG_RFC2253 & ~ASN1_STRFLGS_ESC_MSB);
    char *data = nullptr;
    long n = BIO_get_mem_data(bio.get(), &data);
    return n > 0 && data ? std::string(data, (size_t)n) : std::string();
}

bool TimeText(const ASN1_TIME *t, std::string *out, struct tm *tmOut)
{
    struct tm tm;
    memset(&tm, 0, sizeof tm);
    if (!t || !ASN1_TIME_to_tm(t, &tm))
        return false;
    char b[40];
    strftime(b, sizeof b, "%Y-%m-%d %H:%M:%S UTC", &tm);
    *out = b;
    if (tmOut)
        *tmOut = tm;
    return true;
}

// The digest of `n` bytes with `md`; empty on failure.
std::vector<uint8_t> Digest(const EVP_MD *md, const uint8_t *data, size_t n)
{
    std::vector<uint8_t> out(EVP_MAX_MD_SIZE);
    unsigned int len = 0;
    if (!md || !EVP_Digest(data, n, out.data(), &len, md, nullptr))
        return {};
    out.resize(len);
    return out;
}

const EVP_MD *DigestOf(const X509_ALGOR *alg)
{
    if (!alg)
        return nullptr;
    const ASN1_OBJECT *obj = nullptr;
    X509_ALGOR_get0(&obj, nullptr, nullptr, alg);
    return obj ? EVP_get_digestbyobj(obj) : nullptr;
}

std::string DigestName(const X509_ALGOR *alg)
{
    const ASN1_OBJECT *obj = nullptr;
    X509_ALGOR_get0(&obj, nullptr, nullptr, alg);
    int nid = obj ? OBJ_obj2nid(obj) : NID_undef;
    if (nid != NID_undef)
        return OBJ_nid2ln(nid);
    char text[128];
    int n = obj ? OBJ_obj2txt(text, sizeof text, obj, 1) : 0;
    return n > 0 && n < (int)sizeof text ? text : "(unreadable)";
}

// The certificate in `certs` named by the signer info's issuer and serial.
X509 *SignerCert(STACK_OF(X509) *certs, PKCS7_SIGNER_INFO *si)
{
    if (!certs || !si || !si->issuer_and_serial)
        return nullptr;
    return X509_find_by_issuer_and_serial(certs, si->issuer_and_serial->issuer, si->issuer_and_serial->serial);
}

// The contents octets of the DER element at `*p` (of `len` bytes): the
// element's tag must be `tag` (universal, constructed when asked); on
// success `*p` moves past the element and `*body`/`*bodyLen` are its
// contents.
bool TakeElement(const unsigned char **p, long len, int tag, bool constructed, const unsigned char **body,
                 long *bodyLen)
{
    const unsigned char *q = *p;
    long l = 0;
    int t = 0, cls = 0;
    int r = ASN1_get_object(&q, &l, &t, &cls, len);
    if (r & 0x80)
        return false;
    if (t != tag || cls != V_ASN1_UNIVERSAL || ((r & V_ASN1_CONSTRUCTED) != 0) != constructed)
        return false;
    if (r & 1)   // indefinite length: not DER
        return false;
    long head = (long)(q - *p);
    if (l < 0 || l > len - head)
        return false;
    *body = q;
    *bodyLen = l;
    *p = q + l;
    return true;
}

// A signer info's signed attributes checked: contentType names `contentType`,
// messageDigest is the digest of `content`, and the signature over the
// attributes verifies with the key of the signer's certificate, found in
// `certs`. Returns that certificate, or null with `*why` set.
X509 *VerifySignerInfo(STACK_OF(X509) *certs, PKCS7_SIGNER_INFO *si, const ASN1_OBJECT *contentType,
                       const uint8_t *content, size_t contentLen, std::string *why)
{
    X509 *cert = SignerCert(certs, si);
    if (!cert) {
        *why = "the signer's certificate is not in the signature";
        return nullptr;
    }
    if (!si->auth_attr || sk_X509_ATTRIBUTE_num(si->auth_attr) == 0) {
        *why = "the signature has no signed attributes";
        return nullptr;
    }
    const EVP_MD *md = DigestOf(si->digest_alg);
    if (!md) {
        *why = "the signer's digest algorithm " + DigestName(si->digest_alg) + " is unknown";
        return nullptr;
    }
    if (contentType) {
        ASN1_TYPE *ct = PKCS7_get_signed_attribute(si, NID_pkcs9_contentType);
        if (!ct || ct->type != V_ASN1_OBJECT || !ct->value.object || OBJ_cmp(ct->value.object, contentType) != 0) {
            *why = "the signed content type does not name the signed content";
            return nullptr;
        }
    }
    ASN1_TYPE *md_attr = PKCS7_get_signed_attribute(si, NID_pkcs9_messageDigest);
    if (!md_attr || md_attr->type != V_ASN1_OCTET_STRING || !md_attr->value.octet_string) {
        *why = "the signed attributes hold no message digest";
        return nullptr;
    }
    std::vector<uint8_t> d = Digest(md, content, contentLen);
    const ASN1_OCTET_STRING *want = md_attr->value.octet_string;
    if (d.empty() || (size_t)want->length != d.size() || memcmp(want->data, d.data(), d.size()) != 0) {
        *why = "the message digest in the signed attributes does not match the signed content";
        return nullptr;
    }
    unsigned char *attrs = nullptr;
    int attrsLen = ASN1_item_i2d((ASN1_VALUE *)si->auth_attr, &attrs, ASN1_ITEM_rptr(PKCS7_ATTR_VERIFY));
    if (attrsLen <= 0 || !attrs) {
        *why = "the signed attributes cannot be encoded";
        return nullptr;
    }
    Owned<EVP_MD_CTX, MdCtxFree> ctx(EVP_MD_CTX_new());
    EVP_PKEY *key = X509_get0_pubkey(cert);
    int ok = ctx.get() && key && si->enc_digest &&
             EVP_DigestVerifyInit(ctx.get(), nullptr, md, nullptr, key) == 1 &&
             EVP_DigestVerify(ctx.get(), si->enc_digest->data, (size_t)si->enc_digest->length, attrs,
                              (size_t)attrsLen) == 1;
    OPENSSL_free(attrs);
    if (!ok) {
        *why = "the signature does not verify with the signer certificate's key";
        return nullptr;
    }
    return cert;
}

ASN1_TYPE *UnsignedAttribute(PKCS7_SIGNER_INFO *si, const char *oid)
{
    int n = si->unauth_attr ? sk_X509_ATTRIBUTE_num(si->unauth_attr) : 0;
    for (int i = 0; i < n; i++) {
        X509_ATTRIBUTE *a = sk_X509_ATTRIBUTE_value(si->unauth_attr, i);
        if (ObjIs(X509_ATTRIBUTE_get0_object(a), oid))
            return X509_ATTRIBUTE_get0_type(a, 0);
    }
    return nullptr;
}

// The digest a digest or signature algorithm uses (NID_undef: none known,
// as for rsaEncryption alone).
int DigestNidOf(const X509_ALGOR *alg)
{
    const ASN1_OBJECT *obj = nullptr;
    if (alg)
        X509_ALGOR_get0(&obj, nullptr, nullptr, alg);
    int nid = obj ? OBJ_obj2nid(obj) : NID_undef;
    int mdNid = NID_undef, pkNid = NID_undef;
    if (nid != NID_undef && OBJ_find_sigid_algs(nid, &mdNid, &pkNid))
        return mdNid;
    return nid != NID_undef && EVP_get_digestbynid(nid) ? nid : NID_undef;
}

// The rule for every digest of a signature: MD5 (and older) is refused,
// SHA-1 is doubted. False when refused.
bool DigestRule(int nid, const std::string &what, Problems *problems)
{
    if (nid == NID_md5 || nid == NID_md2 || nid == NID_md4 || nid == NID_md5_sha1) {
        AddError(problems, what + " is " + OBJ_nid2sn(nid) + ", which the platform no longer accepts; sign with SHA-256");
        return false;
    }
    if (nid == NID_sha1)
        AddWarning(problems, what + " is SHA-1, which current systems distrust; sign with SHA-256");
    return true;
}

// The rule applied to a signer info's digest and signature algorithms.
bool SignerInfoDigestRules(const PKCS7_SIGNER_INFO *si, const std::string &whose, Problems *problems)
{
    bool ok = DigestRule(DigestNidOf(si->digest_alg), whose + " digest", problems);
    int sigMd = DigestNidOf(si->digest_enc_alg);
    if (sigMd != NID_undef && sigMd != DigestNidOf(si->digest_alg))
        ok = DigestRule(sigMd, whose + " signature algorithm's digest", problems) && ok;
    return ok;
}

// Whether `cert` carries the extended key usage `xku` (XKU_CODE_SIGN,
// XKU_TIMESTAMP), and digitalSignature where it has a key usage. With
// `noUsage`, a code-signing certificate without any extended key usage
// passes and sets `*noUsage`; a time-stamp authority's never does.
bool HasPurpose(X509 *cert, uint32_t xku, std::string *why, bool *noUsage = nullptr)
{
    uint32_t flags = X509_get_extension_flags(cert);
    if (flags & EXFLAG_INVALID) {
        *why = "its extensions cannot be read";
        return false;
    }
    if (!(flags & EXFLAG_XKUSAGE) && xku == XKU_CODE_SIGN && noUsage) {
        // No extended key usage at all limits nothing, for the platform as
        // for X.509; certificates made for tests often have none.
        *noUsage = true;
    } else if (!(flags & EXFLAG_XKUSAGE) || !(X509_get_extended_key_usage(cert) & xku)) {
        *why = std::string("its extended key usage lacks ") + (xku == XKU_CODE_SIGN ? "codeSigning" : "timeStamping");
        return false;
    }
    if ((flags & EXFLAG_KUSAGE) && !(X509_get_key_usage(cert) & KU_DIGITAL_SIGNATURE)) {
        *why = "its key usage lacks digitalSignature";
        return false;
    }
    return true;
}

// `leaf` chained through `untrusted` to a root in the PEM file `roots`, at
// `*at` (now when null). False with `*why`.
bool ChainTo(X509 *leaf, STACK_OF(X509) *untrusted, const std::string &roots, const time_t *at, std::string *why)
{
    Owned<X509_STORE, StoreFree> store(X509_STORE_new());
    if (!store.get() || X509_STORE_load_file(store.get(), roots.c_str()) != 1) {
        *why = "cannot read the CA file " + roots + "; give a PEM file of trusted certificates";
        return false;
    }
    Owned<X509_STORE_CTX, StoreCtxFree> ctx(X509_STORE_CTX_new());
    if (!ctx.get() || X509_STORE_CTX_init(ctx.get(), store.get(), leaf, untrusted) != 1) {
        *why = "cannot check the certificate chain (out of memory)";
        return false;
    }
    // The purpose is checked on the leaf by HasPurpose; OpenSSL has none
    // for code signing.
    X509_STORE_CTX_set_purpose(ctx.get(), X509_PURPOSE_ANY);
    if (at)
        X509_VERIFY_PARAM_set_time(X509_STORE_CTX_get0_param(ctx.get()), *at);
    if (X509_verify_cert(ctx.get()) == 1)
        return true;
    *why = std::string("does not chain to the CA file: ") +
           X509_verify_cert_error_string(X509_STORE_CTX_get_error(ctx.get()));
    return false;
}

// A time stamp as read. Its time is believed only when nothing failed
// (`why` empty) and its authority's chain was checked.
struct Stamp {
    bool chainChecked = false;
    bool haveTime = false;
    time_t when = 0;
    std::string why;             // the first reason it is not verified
};

void StampFail(Stamp *s, const std::string &why)
{
    if (s->why.empty())
        s->why = why;
}

// The time stamp's signer, found and verified by the caller: its purpose and
// its chain (at the stamped time, through `certs`) decide the rest.
void JudgeStampSigner(X509 *tsa, STACK_OF(X509) *certs, const TrustRoots &roots, SignatureInfo *out, Stamp *s)
{
    out->timestampSigner = NameText(X509_get_subject_name(tsa));
    std::string why;
    if (!HasPurpose(tsa, XKU_TIMESTAMP, &why))
        StampFail(s, "its signer's certificate is not for time stamping: " + why);
    const std::string &rootFile = roots.tsaCa.empty() ? roots.ca : roots.tsaCa;
    if (rootFile.empty())
        return;
    s->chainChecked = true;
    if (!ChainTo(tsa, certs, rootFile, s->haveTime ? &s->when : nullptr, &why))
        StampFail(s, "its signer " + why);
}

bool ReadTime(const ASN1_TIME *t, SignatureInfo *out, Stamp *s)
{
    struct tm tm;
    if (!TimeText(t, &out->timestamp, &tm))
        return false;
    s->when = timegm(&tm);
    s->haveTime = true;
    return true;
}

// An RFC 3161 time stamp: a SignedData over a TSTInfo whose message imprint
// is the digest of the signature it stamps.
void ReadRfc3161(const ASN1_TYPE *value, PKCS7_SIGNER_INFO *stamped, STACK_OF(X509) *outerCerts,
                 const TrustRoots &roots, SignatureInfo *out, Stamp *s, Problems *problems)
{
    out->timestampKind = "RFC 3161";
    if (value->type != V_ASN1_SEQUENCE || !value->value.sequence) {
        StampFail(s, "it is not a SignedData");
        return;
    }
    const unsigned char *p = value->value.sequence->data;
    Owned<PKCS7, Pkcs7Free> ts(d2i_PKCS7(nullptr, &p, value->value.sequence->length));
    // Every optional part is looked at before it is used: a SignedData
    // without content is a valid encoding.
    if (!ts.get() || !PKCS7_type_is_signed(ts.get()) || !ts.get()->d.sign || !ts.get()->d.sign->contents ||
        !ts.get()->d.sign->contents->type ||
        OBJ_obj2nid(ts.get()->d.sign->contents->type) != NID_id_smime_ct_TSTInfo) {
        StampFail(s, "it is not a readable time-stamp token");
        return;
    }
    PKCS7 *inner = ts.get()->d.sign->contents;
    ASN1_TYPE *other = inner->d.other;
    if (!other || other->type != V_ASN1_OCTET_STRING || !other->value.octet_string) {
        StampFail(s, "it holds no time-stamp information");
        return;
    }
    const uint8_t *tst = other->value.octet_string->data;
    size_t tstLen = (size_t)other->value.octet_string->length;
    const unsigned char *q = tst;
    Owned<TS_TST_INFO, TstFree> info(d2i_TS_TST_INFO(nullptr, &q, (long)tstLen));
    if (!info.get()) {
        StampFail(s, "its time-stamp information cannot be read");
        return;
    }
    if (!ReadTime(TS_TST_INFO_get_time(info.get()), out, s))
        StampFail(s, "its time cannot be read");

    TS_MSG_IMPRINT *imprint = TS_TST_INFO_get_msg_imprint(info.get());
    X509_ALGOR *alg = imprint ? TS_MSG_IMPRINT_get_algo(imprint) : nullptr;
    ASN1_OCTET_STRING *msg = imprint ? TS_MSG_IMPRINT_get_msg(imprint) : nullptr;
    if (!DigestRule(DigestNidOf(alg), "the time stamp's message imprint digest", problems))
        StampFail(s, "its message imprint digest is refused");
    std::vector<uint8_t> d = stamped->enc_digest ? Digest(DigestOf(alg), stamped->enc_digest->data,
                                                          (size_t)stamped->enc_digest->length)
                                                 : std::vector<uint8_t>();
    if (!msg || d.empty() || (size_t)msg->length != d.size() || memcmp(msg->data, d.data(), d.size()) != 0)
        StampFail(s, "it stamps another signature");

    STACK_OF(PKCS7_SIGNER_INFO) *sis = PKCS7_get_signer_info(ts.get());
    if (!sis || sk_PKCS7_SIGNER_INFO_num(sis) != 1) {
        StampFail(s, "it has not exactly one signer");
        return;
    }
    PKCS7_SIGNER_INFO *tsi = sk_PKCS7_SIGNER_INFO_value(sis, 0);
    if (!SignerInfoDigestRules(tsi, "the time stamp's", problems))
        StampFail(s, "its digest is refused");
    // The authority's certificate may sit in the token or beside the signer's.
    Owned<STACK_OF(X509), X509StackFree> certs(sk_X509_new_null());
    for (STACK_OF(X509) *from : {ts.get()->d.sign->cert, outerCerts})
        for (int i = 0; certs.get() && from && i < sk_X509_num(from); i++)
            sk_X509_push(certs.get(), sk_X509_value(from, i));
    std::string why;
    X509 *tsa = VerifySignerInfo(ts.get()->d.sign->cert, tsi, inner->type, tst, tstLen, &why);
    if (!tsa) {
        StampFail(s, why);
        return;
    }
    JudgeStampSigner(tsa, certs.get(), roots, out, s);
}

// The older countersignature: a signer info over the stamped signature.
void ReadCountersignature(const ASN1_TYPE *value, PKCS7_SIGNER_INFO *stamped, STACK_OF(X509) *certs,
                          const TrustRoots &roots, SignatureInfo *out, Stamp *s, Problems *problems)
{
    out->timestampKind = "countersignature";
    if (value->type != V_ASN1_SEQUENCE || !value->value.sequence) {
        StampFail(s, "it cannot be read");
        return;
    }
    const unsigned char *p = value->value.sequence->data;
    Owned<PKCS7_SIGNER_INFO, SiFree> csi(d2i_PKCS7_SIGNER_INFO(nullptr, &p, value->value.sequence->length));
    if (!csi.get() || !stamped->enc_digest) {
        StampFail(s, "it cannot be read");
        return;
    }
    ASN1_TYPE *t = PKCS7_get_signed_attribute(csi.get(), NID_pkcs9_signingTime);
    const ASN1_TIME *time = nullptr;
    if (t && t->type == V_ASN1_UTCTIME)
        time = t->value.utctime;
    else if (t && t->type == V_ASN1_GENERALIZEDTIME)
        time = t->value.generalizedtime;
    if (!ReadTime(time, out, s))
        StampFail(s, "it has no readable signing time");
    if (!SignerInfoDigestRules(csi.get(), "the countersignature's", problems))
        StampFail(s, "its digest is refused");
    std::string why;
    X509 *tsa = VerifySignerInfo(certs, csi.get(), nullptr, stamped->enc_digest->data,
                                 (size_t)stamped->enc_digest->length, &why);
    if (!tsa) {
        StampFail(s, why);
        return;
    }
    JudgeStampSigner(tsa, certs, roots, out, s);
}

// The DER size of the unsigned attributes and of the certificates and CRLs
// other than the signer's: what can be added without breaking the signature.
uint64_t UnsignedBytes(PKCS7_SIGNED *sd, PKCS7_SIGNER_INFO *si, X509 *signer)
{
    uint64_t n = 0;
    for (int i = 0; si->unauth_attr && i < sk_X509_ATTRIBUTE_num(si->unauth_attr); i++) {
        int len = i2d_X509_ATTRIBUTE(sk_X509_ATTRIBUTE_value(si->unauth_attr, i), nullptr);
        n += len > 0 ? (uint64_t)len : 0;
    }
    for (int i = 0; sd->cert && i < sk_X509_num(sd->cert); i++) {
        X509 *c = sk_X509_value(sd->cert, i);
        int len = c != signer ? i2d_X509(c, nullptr) : 0;
        n += len > 0 ? (uint64_t)len : 0;
    }
    for (int i = 0; sd->crl && i < sk_X509_CRL_num(sd->crl); i++) {
        int len = i2d_X509_CRL(sk_X509_CRL_value(sd->crl, i), nullptr);
        n += len > 0 ? (uint64_t)len : 0;
    }
    return n;
}

// Whether the signer info's digest algorithm is one the SignedData lists.
bool DigestListed(PKCS7_SIGNED *sd, const PKCS7_SIGNER_INFO *si)
{
    const ASN1_OBJECT *want = nullptr;
    if (!si->digest_alg)
        return false;
    X509_ALGOR_get0(&want, nullptr, nullptr, si->digest_alg);
    for (int i = 0; want && sd->md_algs && i < sk_X509_ALGOR_num(sd->md_algs); i++) {
        const ASN1_OBJECT *obj = nullptr;
        X509_ALGOR_get0(&obj, nullptr, nullptr, sk_X509_ALGOR_value(sd->md_algs, i));
        if (obj && OBJ_cmp(obj, want) == 0)
            return true;
    }
    return false;
}

void ReadSignatureInner(const uint8_t *der, size_t size, const TrustRoots &roots, SignatureInfo *out,
                        Problems *problems)
{
    const unsigned char *p = der;
    Owned<PKCS7, Pkcs7Free> p7(d2i_PKCS7(nullptr, &p, (long)size));
    if (!p7.get()) {
        AddError(problems, "the signature is not a readable PKCS#7 structure; sign the file again");
        return;
    }
    // osslsigncode and signtool pad the entry to 8 bytes with zeros.
    for (const uint8_t *q = p; q < der + size; q++) {
        if (*q) {
            AddError(problems, "the signature is followed by " + Num((uint64_t)(der + size - p)) +
                                   " bytes that are not zero padding; sign the file again");
            break;
        }
    }
    if (!PKCS7_type_is_signed(p7.get()) || !p7.get()->d.sign || !p7.get()->d.sign->contents) {
        AddError(problems, "the signature is not a PKCS#7 SignedData; sign the file again");
        return;
    }
    PKCS7_SIGNED *sd = p7.get()->d.sign;
    PKCS7 *inner = sd->contents;
    if (!ObjIs(inner->type, kOidIndirectData) || !inner->d.other || inner->d.other->type != V_ASN1_SEQUENCE ||
        !inner->d.other->value.sequence) {
        AddError(problems, "the signature does not hold an Authenticode digest; sign the file again");
        return;
    }
    // SpcIndirectDataContent ::= SEQUENCE { data SpcAttributeTypeAndOptionalValue,
    //                                       messageDigest DigestInfo }
    // The signed attributes' messageDigest covers its contents octets only.
    const unsigned char *c = inner->d.other->value.sequence->data;
    long cLen = inner->d.other->value.sequence->length;
    const unsigned char *body = nullptr, *attr = nullptr, *oidBody = nullptr;
    long bodyLen = 0, attrLen = 0, oidLen = 0;
    if (!TakeElement(&c, cLen, V_ASN1_SEQUENCE, true, &body, &bodyLen) ||
        c != inner->d.other->value.sequence->data + cLen) {
        AddError(problems, "the Authenticode content is not one DER sequence; sign the file again");
        return;
    }
    const unsigned char *b = body;
    if (!TakeElement(&b, bodyLen, V_ASN1_SEQUENCE, true, &attr, &attrLen)) {
        AddError(problems, "the Authenticode content cannot be read; sign the file again");
        return;
    }
    const unsigned char *oidAt = attr;
    const unsigned char *oidStart = attr;
    if (!TakeElement(&oidAt, attrLen, V_ASN1_OBJECT, false, &oidBody, &oidLen)) {
        AddError(problems, "the Authenticode content names no data type; sign the file again");
        return;
    }
    const unsigned char *o = oidStart;
    Owned<ASN1_OBJECT, ObjFree> kind(d2i_ASN1_OBJECT(nullptr, &o, (long)(oidAt - oidStart)));
    if (!ObjIs(kind.get(), kOidPeImageData)) {
        AddError(problems, "the signature is not one for a PE image; sign the file again");
        return;
    }
    Owned<X509_SIG, SigFree> digestInfo(d2i_X509_SIG(nullptr, &b, (long)(body + bodyLen - b)));
    if (!digestInfo.get() || b != body + bodyLen) {
        AddError(problems, "the Authenticode digest cannot be read; sign the file again");
        return;
    }
    const X509_ALGOR *alg = nullptr;
    const ASN1_OCTET_STRING *digest = nullptr;
    X509_SIG_get0(digestInfo.get(), &alg, &digest);
    out->digestAlgorithm = DigestName(alg);
    if (!digest || digest->length <= 0 || digest->length > EVP_MAX_MD_SIZE) {
        AddError(problems, "the Authenticode digest is empty or too long; sign the file again");
        return;
    }
    out->imageDigest.assign(digest->data, digest->data + digest->length);
    const EVP_MD *md = DigestOf(alg);
    if (!md || (size_t)EVP_MD_get_size(md) != out->imageDigest.size()) {
        AddError(problems, "the image digest algorithm " + out->digestAlgorithm +
                               " is unknown or its digest has the wrong length; sign with SHA-256");
        return;
    }
    out->read = true;
    if (!DigestRule(EVP_MD_get_type(md), "the image digest", problems))
        out->checks.digest = SigCheck::Failed;

    STACK_OF(PKCS7_SIGNER_INFO) *sis = PKCS7_get_signer_info(p7.get());
    if (!sis || sk_PKCS7_SIGNER_INFO_num(sis) != 1) {
        AddError(problems, "the signature has " + Num(sis ? (uint64_t)sk_PKCS7_SIGNER_INFO_num(sis) : 0) +
                               " signers where Authenticode has one; sign the file again");
        return;
    }
    PKCS7_SIGNER_INFO *si = sk_PKCS7_SIGNER_INFO_value(sis, 0);
    X509 *cert = SignerCert(sd->cert, si);
    if (cert) {
        out->signer = NameText(X509_get_subject_name(cert));
        out->issuer = NameText(X509_get_issuer_name(cert));
    }
    // The weak-digest rule holds for what the RSA signature covers as much
    // as for the image digest.
    bool digestsOk = SignerInfoDigestRules(si, "the signer's", problems);
    if (!DigestListed(sd, si)) {
        AddError(problems, "the signer's digest " + DigestName(si->digest_alg) +
                               " is not among the signature's digest algorithms; sign the file again");
        digestsOk = false;
    }
    std::string why;
    if (!VerifySignerInfo(sd->cert, si, inner->type, body, (size_t)bodyLen, &why)) {
        out->checks.signer = SigCheck::Failed;
        AddError(problems, "the signature does not verify: " + why + "; sign the file again");
        return;
    }
    out->signatureVerifies = true;
    out->checks.signer = digestsOk ? SigCheck::Passed : SigCheck::Failed;

    bool noUsage = false;
    if (!HasPurpose(cert, XKU_CODE_SIGN, &why, &noUsage)) {
        out->checks.purpose = SigCheck::Failed;
        AddError(problems, "the signer's certificate is not for code signing: " + why +
                               "; sign with a code-signing certificate");
    } else {
        out->checks.purpose = SigCheck::Passed;
        if (noUsage)
            AddWarning(problems, "the signer's certificate names no extended key usage, so nothing limits it to "
                                 "code signing; sign with a codeSigning certificate");
    }

    out->unsignedBytes = UnsignedBytes(sd, si, cert);
    if (out->unsignedBytes > kMaxUnsignedBytes)
        AddWarning(problems, "the signature carries " + Num(out->unsignedBytes) +
                                 " bytes of unsigned attributes and extra certificates, which anyone can add "
                                 "without breaking it; sign the file again");

    Stamp stamp;
    bool stamped = true;
    if (ASN1_TYPE *ts = UnsignedAttribute(si, kOidRfc3161Timestamp))
        ReadRfc3161(ts, si, sd->cert, roots, out, &stamp, problems);
    else if (ASN1_TYPE *cs = PKCS7_get_attribute(si, NID_pkcs9_countersignature))
        ReadCountersignature(cs, si, sd->cert, roots, out, &stamp, problems);
    else
        stamped = false;
    const bool anyRoots = !roots.ca.empty() || !roots.tsaCa.empty();
    if (!stamped) {
        out->checks.timestamp = SigCheck::None;
        AddWarning(problems, "the signature has no time stamp, so it stops verifying when the signer's certificate "
                             "expires; sign with a time stamp");
    } else if (!stamp.why.empty()) {
        out->checks.timestamp = SigCheck::Failed;
        AddProblem(problems, anyRoots ? Severity::Error : Severity::Warning,
                   "the time stamp is not verified (" + stamp.why + "), so its time is not believed; "
                   "time-stamp the signature again with a trusted authority");
    } else if (stamp.chainChecked) {
        out->checks.timestamp = SigCheck::Passed;
        out->timestampVerified = true;
    } else {
        out->checks.timestamp = SigCheck::NotChecked;
    }
    // Only a verified time stamp moves the clock the chain is judged by.
    const time_t now = time(nullptr);
    const time_t signedAt = out->timestampVerified ? stamp.when : now;
    const std::string at = out->timestampVerified ? "when the signature was time-stamped"
                                                  : "now, and no verified time stamp shows when it signed";
    if (X509_cmp_time(X509_get0_notAfter(cert), const_cast<time_t *>(&signedAt)) < 0)
        AddWarning(problems, "the signer's certificate is expired " + at + "; sign with a current certificate");
    else if (X509_cmp_time(X509_get0_notBefore(cert), const_cast<time_t *>(&signedAt)) > 0)
        AddWarning(problems, "the signer's certificate is not yet valid " + at + "; sign with a current certificate");
    if (X509_get_extension_flags(cert) & EXFLAG_SS)
        AddWarning(problems, "the signer's certificate is self-signed, so nothing vouches for it; sign with a "
                             "certificate from a certification authority");

    if (UnsignedAttribute(si, kOidNestedSignature))
        AddWarning(problems, "a nested second signature is present and was not checked");
    if (roots.ca.empty())
        return;
    out->chainChecked = true;
    if (ChainTo(cert, sd->cert, roots.ca, out->timestampVerified ? &stamp.when : nullptr, &why)) {
        out->checks.chain = SigCheck::Passed;
        out->chainTrusted = out->checks.purpose == SigCheck::Passed;
    } else {
        out->checks.chain = SigCheck::Failed;
        AddError(problems, "the signer's certificate " + why);
    }
}

}  // namespace

bool ImageLayoutOf(const PeImage &pe, ImageLayout *out)
{
    *out = ImageLayout();
    out->fileSize = pe.fileSize;
    out->sizeOfHeaders = pe.sizeOfHeaders;
    out->checksumOffset = pe.checkSumOffset;
    for (const PeSection &s : pe.sections)
        out->sections.push_back({s.rawPtr, s.rawSize});
    if (pe.dirCount <= kPeDirSecurity)
        return false;
    out->certEntryOffset = pe.dirOffset + 8 * kPeDirSecurity;
    out->certTableOffset = pe.dirs[kPeDirSecurity].rva;   // a file offset, despite the field's name
    out->certTableSize = pe.dirs[kPeDirSecurity].size;
    return true;
}

bool ImageDigestSpans(const ImageLayout &l, std::vector<FileSpan> *out, uint64_t *uncovered, Problems *problems)
{
    out->clear();
    *uncovered = 0;
    bool ok = true;
    uint64_t limit = l.fileSize;   // where digested bytes end
    if (l.certTableSize) {
        uint64_t end = (uint64_t)l.certTableOffset + l.certTableSize;
        if (l.certTableOffset % 8) {
            AddError(problems, "the certificate table at " + Hex(l.certTableOffset) +
                                   " is not 8-byte aligned; sign the file again");
            ok = false;
        }
        if (end > l.fileSize) {
            AddError(problems, "the certificate table (" + Hex(l.certTableOffset) + ", " + Num(l.certTableSize) +
                                   " bytes) runs past the end of the file (" + Num(l.fileSize) +
                                   " bytes); the file is cut short");
            ok = false;
        } else if (end < l.fileSize) {
            AddError(problems, Num(l.fileSize - end) +
                                   " bytes follow the certificate table, which must end the file; "
                                   "remove them and sign again");
            ok = false;
        }
        limit = std::min<uint64_t>(l.certTableOffset, l.fileSize);
    }
    if (l.sizeOfHeaders > limit) {
        AddError(problems, "the headers (" + Num(l.sizeOfHeaders) + " bytes) run past the signed part of the file (" +
                               Num(limit) + " bytes)");
        return false;
    }
    if ((uint64_t)l.checksumOffset + 4 > l.certEntryOffset || (uint64_t)l.certEntryOffset + 8 > l.sizeOfHeaders) {
        AddError(problems, "the CheckSum field and the certificate table entry are not inside the headers");
        return false;
    }
    out->push_back({0, l.checksumOffset});
    out->push_back({(uint64_t)l.checksumOffset + 4, (uint64_t)l.certEntryOffset - l.checksumOffset - 4});
    out->push_back({(uint64_t)l.certEntryOffset + 8, (uint64_t)l.sizeOfHeaders - l.certEntryOffset - 8});

    std::vector<FileSpan> sections;
    for (const FileSpan &s : l.sections)
        if (s.size)
            sections.push_back(s);
    std::stable_sort(sections.begin(), sections.end(),
                     [](const FileSpan &a, const FileSpan &b) { return a.offset < b.offset; });
    uint64_t end = l.sizeOfHeaders;   // the end of the bytes digested so far, in file order
    for (const FileSpan &s : sections) {
        if (s.offset > limit || s.size > limit - s.offset) {
            AddError(problems, "a section's raw data (" + Hex(s.offset) + ", " + Num(s.size) +
                                   " bytes) runs past the " + (l.certTableSize ? "certificate table" : "end of the file"));
            ok = false;
            continue;
        }
        if (s.offset > end)
            *uncovered += s.offset - end;
        out->push_back(s);
        end = std::max(end, s.offset + s.size);
    }
    if (end < limit)
        out->push_back({end, limit - end});
    return ok;
}

bool DigestSpans(const ByteSource &src, const std::vector<FileSpan> &spans, const std::string &digestName,
                 std::vector<uint8_t> *out, std::string *err)
{
    const EVP_MD *md = EVP_get_digestbyname(digestName.c_str());
    Owned<EVP_MD_CTX, MdCtxFree> ctx(EVP_MD_CTX_new());
    if (!md || !ctx.get() || EVP_DigestInit_ex(ctx.get(), md, nullptr) != 1) {
        *err = "unknown digest " + digestName;
        return false;
    }
    std::vector<uint8_t> buf(kDigestBlock);
    for (const FileSpan &s : spans) {
        uint64_t at = s.offset, left = s.size;
        while (left) {
            size_t n = (size_t)std::min<uint64_t>(left, buf.size());
            if (!src.read(src.ctx, at, buf.data(), n)) {
                *err = "cannot read " + Num(n) + " bytes at " + Hex(at);
                return false;
            }
            EVP_DigestUpdate(ctx.get(), buf.data(), n);
            at += n;
            left -= n;
        }
    }
    out->assign(EVP_MAX_MD_SIZE, 0);
    unsigned int len = 0;
    if (EVP_DigestFinal_ex(ctx.get(), out->data(), &len) != 1) {
        *err = "digest failed";
        return false;
    }
    out->resize(len);
    return true;
}

void ParseCertificateTable(const uint8_t *table, size_t size, std::vector<CertEntry> *out, Problems *problems)
{
    out->clear();
    if (size > kMaxCertificateTable) {
        AddError(problems, "the certificate table holds " + Num(size) + " bytes, more than the " +
                               Num(kMaxCertificateTable) + " read");
        return;
    }
    ByteReader r;
    ReaderInit(&r, table, (uint32_t)size);
    while (ReaderLeft(&r) > 0) {
        uint32_t at = r.pos;
        if (out->size() == kMaxCertificateEntries) {
            AddError(problems, "the certificate table holds more than " + Num(kMaxCertificateEntries) + " entries");
            return;
        }
        uint32_t length = ReaderU32(&r);
        uint32_t revision = ReaderU16(&r);
        uint32_t type = ReaderU16(&r);
        std::string where = "certificate table entry at offset " + Num(at);
        if (r.err) {
            AddError(problems, "the " + where + " is cut short (" + Num(size - at) +
                                   " bytes, a header takes 8); the table is damaged");
            return;
        }
        if (length < kWinCertHeaderSize || length - kWinCertHeaderSize > ReaderLeft(&r)) {
            AddError(problems, "the " + where + " gives dwLength " + Num(length) + ", but " + Num(size - at) +
                                   " bytes are left in the table; the table is damaged");
            return;
        }
        CertEntry e;
        e.offset = at;
        e.length = length;
        e.revision = (uint16_t)revision;
        e.type = (uint16_t)type;
        e.size = length - kWinCertHeaderSize;
        e.data = ReaderTake(&r, (uint32_t)e.size);
        if (revision != kWinCertRevision2)
            AddError(problems, "the " + where + " has revision " + Hex(revision) + " where 0x200 is expected");
        if (type != kWinCertTypePkcsSignedData)
            AddError(problems, "the " + where + " has type " + Hex(type) +
                                   " where PKCS#7 SignedData (0x2) is expected");
        // Entries start on 8-byte boundaries; the padding must be zero, as
        // nothing else protects it.
        uint32_t pad = (8 - (length % 8)) % 8;
        uint32_t left = ReaderLeft(&r);
        const unsigned char *padding = ReaderTake(&r, std::min(pad, left));
        for (uint32_t i = 0; padding && i < std::min(pad, left); i++) {
            if (padding[i]) {
                AddError(problems, "the padding after the " + where + " is not zero; the table is damaged");
                break;
            }
        }
        if (pad > left)
            AddError(problems, "the " + where + " is not padded to 8 bytes at the end of the table");
        out->push_back(e);
    }
}

const char *SigCheckText(SigCheck c)
{
    switch (c) {
    case SigCheck::Passed: return "passed";
    case SigCheck::Failed: return "failed";
    case SigCheck::None: return "none";
    case SigCheck::NotChecked: break;
    }
    return "not checked";
}

void ReadSignature(const uint8_t *der, size_t size, const TrustRoots &roots, SignatureInfo *out,
                   Problems *problems)
{
    *out = SignatureInfo();
    if (size == 0 || size > kMaxCertificateTable) {
        AddError(problems, "the signature is empty or too large (" + Num(size) + " bytes)");
        return;
    }
    ReadSignatureInner(der, size, roots, out, problems);
    // Failures leave reasons in OpenSSL's queue; the findings say it all.
    ERR_clear_error();
}

namespace {

void VerifyInto(const ByteSource &src, const ImageLayout &layout, const TrustRoots &roots, AuthenticodeReport *out,
                Problems *problems)
{
    if (!out->present)
        return;
    std::vector<FileSpan> spans;
    bool spansOk = ImageDigestSpans(layout, &spans, &out->uncovered, problems);
    if (layout.certTableSize == 0) {
        AddError(problems, "the certificate table entry points at " + Hex(layout.certTableOffset) +
                               " with size 0; sign the file again or clear the entry");
        return;
    }
    if (layout.certTableSize > kMaxCertificateTable) {
        AddError(problems, "the certificate table holds " + Num(layout.certTableSize) + " bytes, more than the " +
                               Num(kMaxCertificateTable) + " read");
        return;
    }
    if ((uint64_t)layout.certTableOffset + layout.certTableSize > layout.fileSize)
        return;   // reported by ImageDigestSpans
    std::vector<uint8_t> table(layout.certTableSize);
    if (!src.read(src.ctx, layout.certTableOffset, table.data(), table.size())) {
        AddError(problems, "cannot read the certificate table");
        return;
    }
    std::vector<CertEntry> entries;
    Problems tableProblems;
    ParseCertificateTable(table.data(), table.size(), &entries, &tableProblems);
    bool tableSound = !HasError(tableProblems) && entries.size() == 1;
    problems->insert(problems->end(), tableProblems.begin(), tableProblems.end());
    if (entries.empty()) {
        if (tableProblems.empty())
            AddError(problems, "the certificate table is empty");
        return;
    }
    if (entries.size() > 1)
        AddError(problems, "the certificate table holds " + Num(entries.size()) +
                               " entries; the platform checks only the first, so the others are unprotected");
    ReadSignature(entries[0].data, entries[0].size, roots, &out->signature, problems);
    if (!out->signature.read || !spansOk)
        return;
    std::string err;
    if (!DigestSpans(src, spans, out->signature.digestAlgorithm, &out->computedDigest, &err)) {
        AddError(problems, "cannot compute the image digest: " + err);
        return;
    }
    SigCheck &digest = out->signature.checks.digest;
    if (out->computedDigest != out->signature.imageDigest) {
        digest = SigCheck::Failed;
        AddError(problems, "the image digest does not match the signature: the file was changed after it was "
                           "signed; build and sign it again");
        return;
    }
    if (digest == SigCheck::NotChecked)
        digest = SigCheck::Passed;
    // A damaged table or a second entry means the signature is not the
    // whole story, even when the first one verifies.
    out->verified = out->signature.signatureVerifies && tableSound;
}

}  // namespace

void VerifyAuthenticode(const ByteSource &src, const ImageLayout &layout, const TrustRoots &roots,
                        AuthenticodeReport *out, Problems *problems)
{
    *out = AuthenticodeReport();
    out->present = layout.certTableSize != 0 || layout.certTableOffset != 0;
    Problems mine;
    VerifyInto(src, layout, roots, out, &mine);
    // One verdict: any error about the signature or its table withholds it,
    // whichever check found it.
    if (HasError(mine))
        out->verified = false;
    problems->insert(problems->end(), mine.begin(), mine.end());
}

}  // namespace tk
