#include "tools/medium/imagecheck.h"

#include <stdio.h>

#include <algorithm>

#include "tools/lib/authenticode.h"
#include "tools/lib/icongroup.h"
#include "tools/lib/loadercheck.h"
#include "tools/lib/manifest.h"
#include "tools/lib/pechecksum.h"
#include "tools/lib/problem.h"
#include "tools/lib/versioninfo.h"

namespace medium {
namespace {

using namespace tk;

constexpr size_t kCheckBlock = 1u << 16;   // the checksum's read size

std::string Hex32(uint32_t v)
{
    char b[16];
    snprintf(b, sizeof b, "0x%08X", (unsigned)v);
    return b;
}

void Take(Problems *from, const std::string &file, std::vector<Finding> *to)
{
    for (Finding &f : *from) {
        f.file = file;
        to->push_back(f);
    }
    from->clear();
}

void Checksum(const ByteSource &src, const PeImage &pe, ReportNode *facts, Problems *p)
{
    PeChecksumState s;
    PeChecksumInit(&s, pe.checkSumOffset);
    std::vector<uint8_t> block(kCheckBlock);
    bool readable = true;
    for (uint64_t at = 0; at < pe.fileSize && readable; at += block.size()) {
        const size_t n = (size_t)std::min<uint64_t>(block.size(), pe.fileSize - at);
        readable = src.read(src.ctx, at, block.data(), n);
        PeChecksumUpdate(&s, block.data(), n);
    }
    const uint32_t sum = PeChecksumFinish(&s);
    facts->Text("checksum", Hex32(pe.checkSum));
    if (!readable) {
        AddError(p, "the file cannot be read to the end to sum it; check the disk and copy it again");
        return;
    }
    if (pe.checkSum == 0)
        AddWarning(p, "the PE checksum is 0, so nothing shows a change to the file; build it with medium build, "
                      "which writes it");
    else if (pe.checkSum != sum)
        AddError(p, "the PE checksum is " + Hex32(pe.checkSum) + " but the file sums to " + Hex32(sum) +
                        ": it was changed after it was built or signed; build (and sign) it again");
}

void Manifest(const ResList &res, ReportNode *facts, Problems *p)
{
    const ResEntry *m = ResFind(res, kRtManifest, 1);
    if (!m) {
        facts->Text("executionLevel", "(no manifest)");
        return;
    }
    ManifestInfo info;
    CheckManifest(m->data.data(), m->data.size(), &info, p);
    facts->Text("executionLevel", info.executionLevel.empty() ? "(none in the manifest)" : info.executionLevel);
    // A boolean in the manifest; anything else is shown as written.
    if (info.uiAccess == "true" || info.uiAccess == "false")
        facts->Flag("uiAccess", info.uiAccess == "true");
    else if (!info.uiAccess.empty())
        facts->Text("uiAccess", info.uiAccess);
}

void Version(const ResList &res, ReportNode *facts, Problems *p)
{
    const ResEntry *v = ResFind(res, kRtVersion, 1);
    if (!v)
        return;
    VersionInfo info;
    ReadVersionInfo(v->data.data(), v->data.size(), &info, p);
    if (!info.read)
        return;
    ReportNode &node = facts->Object("version");
    node.Text("fileVersion", VersionText(info.fileVersionMS, info.fileVersionLS));
    node.Text("productVersion", VersionText(info.productVersionMS, info.productVersionLS));
    ReportNode &strings = node.List("strings");
    for (const VersionString &s : info.strings) {
        ReportNode &n = strings.Object("");
        n.Text("table", s.table);
        n.Text("key", s.key);
        n.Text("value", s.value);
    }
}

void Icons(const ResList &res, ReportNode *facts, Problems *p)
{
    std::vector<IconResource> images;
    for (const ResEntry &e : res)
        if (!e.type.named && e.type.id == kRtIcon && !e.name.named)
            images.push_back({e.name.id, e.data.data(), e.data.size()});
    ReportNode *list = nullptr;
    for (const ResEntry &e : res) {
        if (e.type.named || e.type.id != kRtGroupIcon)
            continue;
        const std::string name =
            "icon group " + (e.name.named ? std::string("(named)") : std::to_string(e.name.id));
        std::vector<IconEntry> entries;
        CheckIconGroup(e.data.data(), e.data.size(), images, name, &entries, p);
        if (!list)
            list = &facts->List("icons");
        for (const IconEntry &i : entries) {
            ReportNode &n = list->Object("");
            n.Text("group", e.name.named ? "(named)" : std::to_string(e.name.id));
            n.Number("icon", i.id);
            n.Text("size", std::to_string(i.width) + " x " + std::to_string(i.height));
            n.Number("bits", i.bitCount);
            n.Text("format", i.png ? "PNG" : "bitmap");
        }
    }
}

}  // namespace

void CheckSignature(const ByteSource &src, const PeImage &pe, const ImageCheckOptions &opt, ReportNode *facts,
                    Problems *p)
{
    ImageLayout l;
    if (!ImageLayoutOf(pe, &l)) {
        facts->Text("signed", "no");
        return;
    }
    AuthenticodeReport r;
    TrustRoots roots;
    roots.ca = opt.caFile;
    roots.tsaCa = opt.tsaCaFile;
    VerifyAuthenticode(src, l, roots, &r, p);
    if (!r.present) {
        facts->Text("signed", "no");
        return;
    }
    facts->Text("signed", r.verified ? "verified" : "not verified");
    ReportNode &sig = facts->Object("signature");
    const SignatureInfo &s = r.signature;
    if (!s.digestAlgorithm.empty())
        sig.Text("digest", s.digestAlgorithm);
    if (!s.signer.empty())
        sig.Text("signer", s.signer);
    if (!s.issuer.empty())
        sig.Text("issuer", s.issuer);
    if (!s.timestampKind.empty()) {
        ReportNode &ts = sig.Object("timestamp");
        ts.Text("time", s.timestamp.empty() ? "(unreadable)" : s.timestamp);
        ts.Text("kind", s.timestampKind);
        if (!s.timestampSigner.empty())
            ts.Text("signer", s.timestampSigner);
        ts.Flag("verified", s.timestampVerified);
    }
    // "trusted" only with the verdict: a chain that holds does not vouch for
    // a signature that fails another check.
    sig.Text("chain", !s.chainChecked                    ? "not checked"
                      : s.chainTrusted && r.verified ? "trusted (" + opt.caFile + ")"
                                                       : "not trusted (" + opt.caFile + ")");
    ReportNode &checks = sig.Object("checks");
    checks.Text("digest", SigCheckText(s.checks.digest));
    checks.Text("signer", SigCheckText(s.checks.signer));
    checks.Text("timestamp", SigCheckText(s.checks.timestamp));
    checks.Text("chain", SigCheckText(s.checks.chain));
    checks.Text("purpose", SigCheckText(s.checks.purpose));
    sig.Number("certificateBytes", pe.dirs[kPeDirSecurity].size);
    if (r.uncovered)
        AddWarning(p, std::to_string(r.uncovered) + " bytes between the sections are not covered by the signature");
}

void CheckImage(const ByteSource &src, const PeImage &pe, const ResList &res,
                const ImageCheckOptions &opt, const std::string &file, ReportNode *facts,
                std::vector<Finding> *findings)
{
    Problems p;
    CheckLoaderRules(pe, &p);
    tk::SetCodes(&p, 0, "loader");
    size_t from = p.size();
    Checksum(src, pe, facts, &p);
    tk::SetCodes(&p, from, "checksum");
    from = p.size();
    CheckSignature(src, pe, opt, facts, &p);
    tk::SetCodes(&p, from, "signature");
    from = p.size();
    Manifest(res, facts, &p);
    tk::SetCodes(&p, from, "manifest");
    from = p.size();
    Version(res, facts, &p);
    tk::SetCodes(&p, from, "version");
    from = p.size();
    Icons(res, facts, &p);
    tk::SetCodes(&p, from, "icon");
    Take(&p, file, findings);
}

}  // namespace medium
