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
        if (!ct || ct->type != V_ASN1_OBJECT || OBJ_cmp(ct->value.object, contentType) != 0) {
            *why = "the signed content type does not name the signed content";
            return nullptr;
        }
    }
    ASN1_TYPE *md_attr = PKCS7_get_signed_attribute(si, NID_pkcs9_messageDigest);
    if (!md_attr || md_attr->type != V_ASN1_OCTET_STRING) {
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

// An RFC 3161 timestamp: a SignedData over a TSTInfo whose message imprint
// is the digest of the signature it stamps.
void ReadRfc3161(const ASN1_TYPE *value, PKCS7_SIGNER_INFO *stamped, SignatureInfo *out, Problems *problems,
                 struct tm *when, bool *haveWhen)
{
    out->timestampKind = "RFC 3161";
    if (value->type != V_ASN1_SEQUENCE) {
        AddError(problems, "the timestamp is not a SignedData; sign again with a working timestamp service");
        return;
    }
    const unsigned char *p = value->value.sequence->data;
    Owned<PKCS7, Pkcs7Free> ts(d2i_PKCS7(nullptr, &p, value->value.sequence->length));
    if (!ts.get() || !PKCS7_type_is_signed(ts.get()) || !ts.get()->d.sign->contents ||
        OBJ_obj2nid(ts.get()->d.sign->contents->type) != NID_id_smime_ct_TSTInfo) {
        AddError(problems, "the timestamp cannot be read; sign again with a working timestamp service");
        return;
    }
    PKCS7 *inner = ts.get()->d.sign->contents;
    ASN1_TYPE *other = inner->d.other;
    if (!other || other->type != V_ASN1_OCTET_STRING) {
        AddError(problems, "the timestamp holds no time-stamp token");
        return;
    }
    const uint8_t *tst = other->value.octet_string->data;
    size_t tstLen = (size_t)other->value.octet_string->length;
    const unsigned char *q = tst;
    Owned<TS_TST_INFO, TstFree> info(d2i_TS_TST_INFO(nullptr, &q, (long)tstLen));
    if (!info.get()) {
        AddError(problems, "the timestamp's token cannot be read");
        return;
    }
    STACK_OF(PKCS7_SIGNER_INFO) *sis = PKCS7_get_signer_info(ts.get());
    std::string why;
    X509 *tsa = nullptr;
    if (!sis || sk_PKCS7_SIGNER_INFO_num(sis) != 1)
        why = "it has not exactly one signer";
    else
        tsa = VerifySignerInfo(ts.get()->d.sign->cert, sk_PKCS7_SIGNER_INFO_value(sis, 0), inner->type, tst,
                               tstLen, &why);
    if (!tsa)
        AddError(problems, "the timestamp does not verify: " + why);
    else
        out->timestampSigner = NameText(X509_get_subject_name(tsa));

    TS_MSG_IMPRINT *imprint = TS_TST_INFO_get_msg_imprint(info.get());
    X509_ALGOR *alg = imprint ? TS_MSG_IMPRINT_get_algo(imprint) : nullptr;
    ASN1_OCTET_STRING *msg = imprint ? TS_MSG_IMPRINT_get_msg(imprint) : nullptr;
    std::vector<uint8_t> d = stamped->enc_digest ? Digest(DigestOf(alg), stamped->enc_digest->data,
                                                          (size_t)stamped->enc_digest->length)
                                                 : std::vector<uint8_t>();
    if (!msg || d.empty() || (size_t)msg->length != d.size() || memcmp(msg->data, d.data(), d.size()) != 0)
        AddError(problems, "the timestamp stamps another signature; sign and timestamp again");
    if (TimeText(TS_TST_INFO_get_time(info.get()), &out->timestamp, when))
        *haveWhen = true;
    else
        AddError(problems, "the timestamp's time cannot be read");
}

// The older countersignature: a signer info over the stamped signature.
void ReadCountersignature(const ASN1_TYPE *value, PKCS7_SIGNER_INFO *stamped, STACK_OF(X509) *certs,
                          SignatureInfo *out, Problems *problems, struct tm *when, bool *haveWhen)
{
    out->timestampKind = "countersignature";
    if (value->type != V_ASN1_SEQUENCE) {
        AddError(problems, "the countersignature cannot be read");
        return;
    }
    const unsigned char *p = value->value.sequence->data;
    Owned<PKCS7_SIGNER_INFO, SiFree> csi(d2i_PKCS7_SIGNER_INFO(nullptr, &p, value->value.sequence->length));
    if (!csi.get() || !stamped->enc_digest) {
        AddError(problems, "the countersignature cannot be read");
        return;
    }
    std::string why;
    X509 *tsa = VerifySignerInfo(certs, csi.get(), nullptr, stamped->enc_digest->data,
                                 (size_t)stamped->enc_digest->length, &why);
    if (!tsa)
        AddError(problems, "the countersignature does not verify: " + why);
    else
        out->timestampSigner = NameText(X509_get_subject_name(tsa));
    ASN1_TYPE *t = PKCS7_get_signed_attribute(csi.get(), NID_pkcs9_signingTime);
    const ASN1_TIME *time = nullptr;
    if (t && t->type == V_ASN1_UTCTIME)
        time = t->value.utctime;
    else if (t && t->type == V_ASN1_GENERALIZEDTIME)
        time = t->value.generalizedtime;
    if (TimeText(time, &out->timestamp, when))
        *haveWhen = true;
    else
        AddError(problems, "the countersignature has no readable signing time");
}

void CheckChain(X509 *signer, STACK_OF(X509) *certs, const std::string &caFile, const struct tm *when,
                SignatureInfo *out, Problems *problems)
{
    out->chainChecked = true;
    Owned<X509_STORE, StoreFree> store(X509_STORE_new());
    if (!store.get() || X509_STORE_load_file(store.get(), caFile.c_str()) != 1) {
        AddError(problems, "cannot read the CA file " + caFile + "; give a PEM file of trusted certificates");
        return;
    }
    Owned<X509_STORE_CTX, StoreCtxFree> ctx(X509_STORE_CTX_new());
    if (!ctx.get() || X509_STORE_CTX_init(ctx.get(), store.get(), signer, certs) != 1) {
        AddError(problems, "cannot check the certificate chain (out of memory)");
        return;
    }
    X509_STORE_CTX_set_purpose(ctx.get(), X509_PURPOSE_ANY);
    if (when) {
        // A timestamped signature stays good after its certificate expires.
        struct tm tm = *when;
        X509_VERIFY_PARAM_set_time(X509_STORE_CTX_get0_param(ctx.get()), timegm(&tm));
    }
    if (X509_verify_cert(ctx.get()) == 1) {
        out->chainTrusted = true;
        return;
    }
    AddError(problems, std::string("the signer's certificate does not chain to the CA file: ") +
                           X509_verify_cert_error_string(X509_STORE_CTX_get_error(ctx.get())));
}

void ReadSignatureInner(const uint8_t *der, size_t size, const std::string &caFile, SignatureInfo *out,
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
    if (!ObjIs(inner->type, kOidIndirectData) || !inner->d.other || inner->d.other->type != V_ASN1_SEQUENCE) {
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
    int nid = EVP_MD_get_type(md);
    if (nid == NID_md5 || nid == NID_md2 || nid == NID_md4)
        AddError(problems, "the image digest is " + out->digestAlgorithm + ", which the platform no longer accepts; sign with SHA-256");
    else if (nid == NID_sha1)
        AddWarning(problems, "the image digest is SHA-1, which current systems distrust; sign with SHA-256");

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
    std::string why;
    if (!VerifySignerInfo(sd->cert, si, inner->type, body, (size_t)bodyLen, &why)) {
        AddError(problems, "the signature does not verify: " + why + "; sign the file again");
        return;
    }
    out->signatureVerifies = true;

    struct tm when;
    memset(&when, 0, sizeof when);
    bool haveWhen = false;
    if (ASN1_TYPE *ts = UnsignedAttribute(si, kOidRfc3161Timestamp))
        ReadRfc3161(ts, si, out, problems, &when, &haveWhen);
    else if (ASN1_TYPE *cs = PKCS7_get_attribute(si, NID_pkcs9_countersignature))
        ReadCountersignature(cs, si, sd->cert, out, problems, &when, &haveWhen);
    if (UnsignedAttribute(si, kOidNestedSignature))
        AddWarning(problems, "a nested second signature is present and was not checked");
    if (!caFile.empty())
        CheckChain(cert, sd->cert, caFile, haveWhen ? &when : nullptr, out, problems);
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

void ReadSignature(const uint8_t *der, size_t size, const std::string &caFile, SignatureInfo *out,
                   Problems *problems)
{
    *out = SignatureInfo();
    if (size == 0 || size > kMaxCertificateTable) {
        AddError(problems, "the signature is empty or too large (" + Num(size) + " bytes)");
        return;
    }
    ReadSignatureInner(der, size, caFile, out, problems);
    // Failures leave reasons in OpenSSL's queue; the findings say it all.
    ERR_clear_error();
}

namespace {

void VerifyInto(const ByteSource &src, const ImageLayout &layout, const std::string &caFile, AuthenticodeReport *out,
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
    ReadSignature(entries[0].data, entries[0].size, caFile, &out->signature, problems);
    if (!out->signature.read || !spansOk)
        return;
    std::string err;
    if (!DigestSpans(src, spans, out->signature.digestAlgorithm, &out->computedDigest, &err)) {
        AddError(problems, "cannot compute the image digest: " + err);
        return;
    }
    if (out->computedDigest != out->signature.imageDigest) {
        AddError(problems, "the image digest does not match the signature: the file was changed after it was "
                           "signed; build and sign it again");
        return;
    }
    // A damaged table or a second entry means the signature is not the
    // whole story, even when the first one verifies.
    out->verified = out->signature.signatureVerifies && tableSound;
}

}  // namespace

void VerifyAuthenticode(const ByteSource &src, const ImageLayout &layout, const std::string &caFile,
                        AuthenticodeReport *out, Problems *problems)
{
    *out = AuthenticodeReport();
    out->present = layout.certTableSize != 0 || layout.certTableOffset != 0;
    VerifyInto(src, layout, caFile, out, problems);
}

}  // namespace tk
