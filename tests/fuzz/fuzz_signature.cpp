// Authenticode signatures edited at the DER level: the mutator reads the
// input as a tree of DER elements and changes it as an attacker would (an
// element dropped, doubled, swapped, emptied, its OID replaced, a SignedData
// without content put in its place), then writes every length anew, so the
// changes reach the checks behind the parser. The seeds are signatures with
// RFC 3161 time stamps, countersignatures and nested signatures.
//
// Each input is checked twice: without roots, and with its own certificates
// as the roots, so the chains of the signer and the time stamp are walked.
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>
#include <vector>

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>

#include "tools/lib/authenticode.h"

extern "C" size_t LLVMFuzzerMutate(uint8_t *data, size_t size, size_t maxSize);

namespace {

void Check(bool ok)
{
    if (!ok)
        __builtin_trap();
}

// Limits of the tree the mutator builds: inputs past them are mutated as
// plain bytes.
constexpr int kMaxDepth = 24;
constexpr size_t kMaxNodes = 4096;

// One DER element: its identifier octet and either contents or children.
struct Node {
    uint8_t tag = 0;
    bool constructed = false;
    std::vector<uint8_t> body;    // a primitive's contents
    std::vector<Node> children;   // a constructed element's elements
};

// Reads the definite-length DER elements of [p, end) into `out`; false when
// the bytes are not such a sequence.
bool ReadTree(const uint8_t *p, const uint8_t *end, int depth, size_t *count, std::vector<Node> *out)
{
    while (p < end) {
        if (depth > kMaxDepth || ++*count > kMaxNodes || end - p < 2)
            return false;
        Node n;
        n.tag = *p++;
        if ((n.tag & 0x1F) == 0x1F)   // high tag numbers: not in these structures
            return false;
        n.constructed = (n.tag & 0x20) != 0;
        size_t len = *p++;
        if (len & 0x80) {
            const size_t k = len & 0x7F;
            if (k == 0 || k > 4 || (size_t)(end - p) < k)
                return false;
            len = 0;
            for (size_t i = 0; i < k; i++)
                len = (len << 8) | *p++;
        }
        if (len > (size_t)(end - p))
            return false;
        if (n.constructed) {
            if (!ReadTree(p, p + len, depth + 1, count, &n.children))
                return false;
        } else {
            n.body.assign(p, p + len);
        }
        p += len;
        out->push_back(std::move(n));
    }
    return true;
}

void PutLength(size_t len, std::vector<uint8_t> *out)
{
    if (len < 0x80) {
        out->push_back((uint8_t)len);
        return;
    }
    uint8_t b[8];
    int k = 0;
    for (; len; len >>= 8)
        b[k++] = (uint8_t)len;
    out->push_back((uint8_t)(0x80 | k));
    while (k)
        out->push_back(b[--k]);
}

void WriteTree(const std::vector<Node> &nodes, std::vector<uint8_t> *out)
{
    for (const Node &n : nodes) {
        std::vector<uint8_t> body;
        if (n.constructed)
            WriteTree(n.children, &body);
        else
            body = n.body;
        out->push_back(n.tag);
        PutLength(body.size(), out);
        out->insert(out->end(), body.begin(), body.end());
    }
}

// Every element of the tree, depth first, with the list that holds it.
struct Place {
    std::vector<Node> *list;
    size_t index;
};
void Places(std::vector<Node> *list, std::vector<Place> *out)
{
    for (size_t i = 0; i < list->size(); i++) {
        out->push_back({list, i});
        if ((*list)[i].constructed)
            Places(&(*list)[i].children, out);
    }
}

// Object identifiers an attacker would put in: weak digests, the time
// stamps' and the nested signature's attributes, the purposes.
const std::vector<std::vector<uint8_t>> &Oids()
{
    static const std::vector<std::vector<uint8_t>> oids = {
        {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x02, 0x05},                     // md5
        {0x2B, 0x0E, 0x03, 0x02, 0x1A},                                       // sha1
        {0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x01},               // sha256
        {0x2B, 0x06, 0x01, 0x04, 0x01, 0x82, 0x37, 0x03, 0x03, 0x01},         // RFC 3161 time stamp
        {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x09, 0x06},               // countersignature
        {0x2B, 0x06, 0x01, 0x04, 0x01, 0x82, 0x37, 0x02, 0x04, 0x01},         // nested signature
        {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x02},               // signedData
        {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x09, 0x10, 0x01, 0x04},   // TSTInfo
        {0x2B, 0x06, 0x01, 0x05, 0x05, 0x07, 0x03, 0x03},                     // codeSigning
        {0x2B, 0x06, 0x01, 0x05, 0x05, 0x07, 0x03, 0x08},                     // timeStamping
        {0x2B, 0x06, 0x01, 0x05, 0x05, 0x07, 0x03, 0x01},                     // serverAuth
        {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x04},               // md5WithRSAEncryption
    };
    return oids;
}

Node EmptySignedData()
{
    Node oid;
    oid.tag = 0x06;
    oid.body = Oids()[6];
    Node seq;
    seq.tag = 0x30;
    seq.constructed = true;
    seq.children.push_back(oid);
    return seq;
}

// One structural change at a place chosen by `r`; false when none applied.
bool MutateTree(std::vector<Node> *root, unsigned r)
{
    std::vector<Place> places;
    Places(root, &places);
    if (places.empty())
        return false;
    Place at = places[(r >> 4) % places.size()];
    Place other = places[(r >> 14) % places.size()];
    Node &n = (*at.list)[at.index];
    switch (r % 9) {
    case 0:   // drop the element
        at.list->erase(at.list->begin() + (long)at.index);
        return true;
    case 1: {   // double it
        Node copy = n;
        at.list->insert(at.list->begin() + (long)at.index, copy);
        return true;
    }
    case 2:   // swap it with a sibling
        if (at.list->size() < 2)
            return false;
        std::swap((*at.list)[at.index], (*at.list)[(at.index + 1) % at.list->size()]);
        return true;
    case 3:   // empty it
        n.children.clear();
        n.body.clear();
        return true;
    case 4:   // another object identifier
        if (n.tag != 0x06)
            return false;
        n.body = Oids()[(r >> 24) % Oids().size()];
        return true;
    case 5:   // a SignedData without content in its place
        n = EmptySignedData();
        return true;
    case 6: {   // another element's copy in its place (a certificate for another, ...)
        Node copy = (*other.list)[other.index];
        (*at.list)[at.index] = copy;
        return true;
    }
    case 7:   // a byte of a primitive changed
        if (n.body.empty())
            return false;
        n.body[(r >> 20) % n.body.size()] ^= (uint8_t)(1u << ((r >> 28) & 7));
        return true;
    default:   // another tag
        n.tag ^= (uint8_t)(1u << ((r >> 24) % 5));
        if ((n.tag & 0x1F) == 0x1F)
            n.tag &= (uint8_t)~0x01;
        if (((n.tag & 0x20) != 0) != n.constructed) {
            n.tag ^= 0x20;
        }
        return true;
    }
}

// The input's own certificates as a PEM file of roots; empty when it has none.
std::string OwnRoots(const uint8_t *data, size_t size)
{
    static const std::string path = [] {
        std::string p = "/tmp/fuzz-signature-roots-" + std::to_string(getpid()) + ".pem";
        atexit([] { unlink(("/tmp/fuzz-signature-roots-" + std::to_string(getpid()) + ".pem").c_str()); });
        return p;
    }();
    const unsigned char *p = data;
    PKCS7 *p7 = d2i_PKCS7(nullptr, &p, (long)size);
    STACK_OF(X509) *certs = p7 && PKCS7_type_is_signed(p7) && p7->d.sign ? p7->d.sign->cert : nullptr;
    std::string out;
    if (certs && sk_X509_num(certs) > 0) {
        FILE *f = fopen(path.c_str(), "w");
        if (f) {
            for (int i = 0; i < sk_X509_num(certs); i++)
                PEM_write_X509(f, sk_X509_value(certs, i));
            fclose(f);
            out = path;
        }
    }
    PKCS7_free(p7);
    ERR_clear_error();
    return out;
}

void CheckSignature(const uint8_t *data, size_t size, const tk::TrustRoots &roots)
{
    tk::SignatureInfo info;
    tk::Problems p;
    tk::ReadSignature(data, size, roots, &info, &p);
    using tk::SigCheck;
    // Anything short of a verified signature says why.
    Check(info.signatureVerifies || tk::HasError(p));
    Check(!info.signatureVerifies || info.read);
    // A time is believed only from a time stamp that passed, with roots.
    Check(!info.timestampVerified || (info.checks.timestamp == SigCheck::Passed && !info.timestamp.empty()));
    Check(info.checks.timestamp != SigCheck::Passed || !roots.ca.empty() || !roots.tsaCa.empty());
    Check(info.checks.timestamp != SigCheck::Failed || !p.empty());
    // A trusted chain is a checked one, with the purpose.
    Check(!info.chainTrusted || (info.chainChecked && info.checks.chain == SigCheck::Passed &&
                                 info.checks.purpose == SigCheck::Passed));
    Check(info.chainChecked == !roots.ca.empty() || !info.signatureVerifies);
    Check(info.checks.chain != SigCheck::Failed || tk::HasError(p));
    Check(info.checks.purpose != SigCheck::Failed || tk::HasError(p));
    for (const tk::Finding &x : p)
        Check(!x.text.empty());
}

}  // namespace

extern "C" size_t LLVMFuzzerCustomMutator(uint8_t *data, size_t size, size_t maxSize, unsigned int seed)
{
    std::vector<Node> root;
    size_t count = 0;
    // One time in four, or when the input is no DER, a byte-level change.
    if (seed % 4 == 0 || size == 0 || !ReadTree(data, data + size, 0, &count, &root))
        return LLVMFuzzerMutate(data, size, maxSize);
    unsigned r = seed;
    bool changed = false;
    for (int i = 0; i < 1 + (int)((seed >> 2) % 3); i++) {
        changed = MutateTree(&root, r) || changed;
        r = r * 1103515245u + 12345u;
    }
    if (!changed)
        return LLVMFuzzerMutate(data, size, maxSize);
    std::vector<uint8_t> out;
    WriteTree(root, &out);
    if (out.empty() || out.size() > maxSize)
        return LLVMFuzzerMutate(data, size, maxSize);
    memcpy(data, out.data(), out.size());
    return out.size();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > tk::kMaxCertificateTable)
        return 0;
    CheckSignature(data, size, tk::TrustRoots());
    tk::TrustRoots own;
    own.ca = OwnRoots(data, size);
    if (!own.ca.empty())
        CheckSignature(data, size, own);
    return 0;
}
