// The resource writers: a resource-only DLL, and an image with its resource
// section replaced, to memory or to a file.
#include "tools/lib/pe_image.h"

#include <string.h>

#include <algorithm>
#include <set>

#include "base/bytes.h"
#include "tools/lib/bytesink.h"
#include "tools/lib/fileio.h"
#include "tools/lib/pe_resdir.h"
#include "tools/lib/pechecksum.h"
#include "tools/lib/strings.h"

namespace tk {
namespace {

constexpr uint32_t kDataAlign = 8;   // each entry's data starts 8-aligned, as linkers place it
constexpr size_t kCopyBlock = 1u << 16;

uint32_t AlignUp(uint32_t v, uint32_t a)
{
    return (v + (a - 1)) / a * a;
}

// A resource section laid out at an RVA: the directories, data entries and
// names as bytes (`head`), then each entry's data at its offset.
struct SectionPlan {
    std::vector<uint8_t> head;
    std::vector<const ResEntry *> order;
    std::vector<uint32_t> dataOffset;
    uint32_t size = 0;
};

bool PlanSection(const ResList &res, uint32_t rva, SectionPlan *plan, std::string *err)
{
    std::vector<const ResEntry *> order;
    for (const ResEntry &e : res)
        order.push_back(&e);
    std::stable_sort(order.begin(), order.end(), [](const ResEntry *a, const ResEntry *b) { return ResLess(*a, *b); });
    const ResEntry *dupe = nullptr, *other = nullptr;
    if (ResFindDuplicate(res, &dupe, &other)) {
        *err = "duplicate resource: type " + ResIdText(dupe->type) + ", name " + ResIdText(dupe->name) +
               ", language " + std::to_string(dupe->lang);
        return false;
    }

    // Group boundaries: types, and (type, name) pairs.
    std::vector<size_t> typeStart, nameStart;
    for (size_t i = 0; i < order.size(); i++) {
        bool newType = i == 0 || !ResIdEqual(order[i - 1]->type, order[i]->type);
        if (newType)
            typeStart.push_back(i);
        if (newType || !ResIdEqual(order[i - 1]->name, order[i]->name))
            nameStart.push_back(i);
    }
    typeStart.push_back(order.size());
    nameStart.push_back(order.size());
    const size_t nTypes = typeStart.size() - 1;
    const size_t nNames = nameStart.size() - 1;

    // Sizes: root, one name directory per type, one language directory per
    // name, the data entries, then the names' strings.
    uint64_t at = 16 + 8 * nTypes;
    const uint64_t nameDirs = at;
    at += 16 * nTypes + 8 * nNames;
    const uint64_t langDirs = at;
    at += 16 * nNames + 8 * order.size();
    const uint64_t dataEntries = at;
    at += 16 * order.size();
    const uint64_t strings = at;
    // Each distinct name string once per directory entry that uses it.
    for (size_t t = 0; t < nTypes; t++) {
        if (order[typeStart[t]]->type.named)
            at += 2 + 2 * (uint64_t)order[typeStart[t]]->type.name.size();
    }
    for (size_t n = 0; n < nNames; n++) {
        if (order[nameStart[n]]->name.named)
            at += 2 + 2 * (uint64_t)order[nameStart[n]]->name.name.size();
    }
    for (const ResEntry *e : order) {
        if (e->type.named && (e->type.name.empty() || e->type.name.size() > 0xFFFF)) {
            *err = "resource type name of bad length " + std::to_string(e->type.name.size());
            return false;
        }
        if (e->name.named && (e->name.name.empty() || e->name.name.size() > 0xFFFF)) {
            *err = "resource name of bad length " + std::to_string(e->name.name.size());
            return false;
        }
    }
    if (at > kMaxSectionSize) {
        *err = "resource directory too large";
        return false;
    }
    const uint64_t headSize = at;
    plan->head.assign(headSize, 0);
    // Patched in place: every offset is known from the sizes above.
    ByteSink b(&plan->head);

    uint64_t str = strings;
    auto nameField = [&](const ResId &id) -> uint32_t {
        if (!id.named)
            return id.id;
        uint32_t field = (uint32_t)str | kHighBit;
        b.SetU16At(str, (uint32_t)id.name.size());
        for (size_t i = 0; i < id.name.size(); i++)
            b.SetU16At(str + 2 + 2 * i, id.name[i]);
        str += 2 + 2 * id.name.size();
        return field;
    };
    // Root: one entry per type.
    {
        uint32_t named = 0, numbered = 0;
        for (size_t t = 0; t < nTypes; t++)
            (order[typeStart[t]]->type.named ? named : numbered)++;
        b.SetU16At(12, named);
        b.SetU16At(14, numbered);
    }
    uint64_t nameDir = nameDirs;
    uint64_t langDir = langDirs;
    uint64_t dataEntry = dataEntries;
    size_t n = 0;
    for (size_t t = 0; t < nTypes; t++) {
        b.SetU32At(16 + 8 * t, nameField(order[typeStart[t]]->type));
        b.SetU32At(16 + 8 * t + 4, (uint32_t)nameDir | kHighBit);
        // The names of this type: groups n .. m-1.
        size_t m = n;
        while (m < nNames && nameStart[m] < typeStart[t + 1])
            m++;
        {
            uint32_t named = 0, numbered = 0;
            for (size_t g = n; g < m; g++)
                (order[nameStart[g]]->name.named ? named : numbered)++;
            b.SetU16At(nameDir + 12, named);
            b.SetU16At(nameDir + 14, numbered);
        }
        for (size_t g = n; g < m; g++) {
            uint64_t slot = nameDir + 16 + 8 * (g - n);
            b.SetU32At(slot, nameField(order[nameStart[g]]->name));
            b.SetU32At(slot + 4, (uint32_t)langDir | kHighBit);
            size_t count = nameStart[g + 1] - nameStart[g];
            b.SetU16At(langDir + 14, (uint32_t)count);
            for (size_t k = 0; k < count; k++) {
                b.SetU32At(langDir + 16 + 8 * k, order[nameStart[g] + k]->lang);
                b.SetU32At(langDir + 16 + 8 * k + 4, (uint32_t)dataEntry);
                dataEntry += 16;
            }
            langDir += 16 + 8 * count;
        }
        nameDir += 16 + 8 * (m - n);
        n = m;
    }

    // Data after the names, each 8-aligned.
    uint64_t data = (headSize + kDataAlign - 1) / kDataAlign * kDataAlign;
    plan->order = order;
    plan->dataOffset.clear();
    for (size_t i = 0; i < order.size(); i++) {
        const uint64_t len = ResDataSize(*order[i]);
        if (data + len > kMaxSectionSize || (uint64_t)rva + data + len > 0xFFFFFFFFu) {
            *err = "resources too large for one image (" + std::to_string(data + len) + " bytes)";
            return false;
        }
        plan->dataOffset.push_back((uint32_t)data);
        b.SetU32At(dataEntries + 16 * i, (uint32_t)(rva + data));
        b.SetU32At(dataEntries + 16 * i + 4, (uint32_t)len);
        b.SetU32At(dataEntries + 16 * i + 8, order[i]->codePage);
        data += len;
        if (i + 1 < order.size())
            data = (data + kDataAlign - 1) / kDataAlign * kDataAlign;
    }
    plan->size = (uint32_t)std::max<uint64_t>(data, headSize);
    return true;
}

// Where output goes: in memory or a file. Keeps the running checksum so a
// streamed image need not be read back.
class Output {
public:
    virtual ~Output() = default;
    virtual bool Write(const uint8_t *p, size_t n) = 0;
    virtual bool Patch(uint32_t at, const uint8_t *p, size_t n) = 0;
    uint64_t written = 0;
};

class VectorOutput : public Output {
public:
    explicit VectorOutput(std::vector<uint8_t> *v) : v_(v) { v_->clear(); }
    bool Write(const uint8_t *p, size_t n) override
    {
        v_->insert(v_->end(), p, p + n);
        written += n;
        return true;
    }
    bool Patch(uint32_t at, const uint8_t *p, size_t n) override
    {
        if (at > v_->size() || n > v_->size() - at)
            return false;
        memcpy(v_->data() + at, p, n);
        return true;
    }

private:
    std::vector<uint8_t> *v_;
};

class FileOutput : public Output {
public:
    explicit FileOutput(FILE *f) : f_(f) {}
    bool Write(const uint8_t *p, size_t n) override
    {
        written += n;
        return n == 0 || fwrite(p, 1, n, f_) == n;
    }
    bool Patch(uint32_t at, const uint8_t *p, size_t n) override
    {
        if (fflush(f_) != 0 || fseek(f_, (long)at, SEEK_SET) != 0 || fwrite(p, 1, n, f_) != n)
            return false;
        return fflush(f_) == 0 && fseek(f_, 0, SEEK_END) == 0;
    }

private:
    FILE *f_;
};

class Emitter {
public:
    // The written headers hold 0 in the CheckSum field, so no field is skipped.
    Emitter(Output *out, std::string *err) : out_(out), err_(err) { PeChecksumInit(&sum_, UINT64_MAX); }
    bool Bytes(const uint8_t *p, size_t n)
    {
        PeChecksumUpdate(&sum_, p, n);
        if (!out_->Write(p, n)) {
            *err_ = "cannot write the output";
            return false;
        }
        return true;
    }
    bool Zeros(uint64_t n)
    {
        static const uint8_t zero[4096] = {};
        while (n > 0) {
            size_t step = (size_t)std::min<uint64_t>(n, sizeof zero);
            if (!Bytes(zero, step))
                return false;
            n -= step;
        }
        return true;
    }
    bool PadTo(uint64_t at)
    {
        if (out_->written > at) {
            *err_ = "internal layout error";
            return false;
        }
        return Zeros(at - out_->written);
    }
    bool Entry(const ResEntry &e)
    {
        if (e.dataFile.empty())
            return Bytes(e.data.data(), e.data.size());
        FILE *f = fopen(e.dataFile.c_str(), "rb");
        if (!f) {
            *err_ = e.dataFile + ": cannot open";
            return false;
        }
        // Entries read in place from an image start inside it.
        if (e.dataFileOffset > (uint64_t)INT64_MAX || fseeko(f, (off_t)e.dataFileOffset, SEEK_SET) != 0) {
            fclose(f);
            *err_ = e.dataFile + ": cannot seek to the entry's data";
            return false;
        }
        std::vector<uint8_t> block(kCopyBlock);
        uint64_t left = e.dataFileSize;
        bool ok = true;
        while (ok && left > 0) {
            size_t want = (size_t)std::min<uint64_t>(left, block.size());
            if (fread(block.data(), 1, want, f) != want) {
                *err_ = e.dataFile + ": shorter than expected (changed while writing?)";
                ok = false;
                break;
            }
            ok = Bytes(block.data(), want);
            left -= want;
        }
        fclose(f);
        return ok;
    }
    bool Section(const SectionPlan &plan, uint64_t base)
    {
        if (!Bytes(plan.head.data(), plan.head.size()))
            return false;
        for (size_t i = 0; i < plan.order.size(); i++) {
            if (!PadTo(base + plan.dataOffset[i]) || !Entry(*plan.order[i]))
                return false;
        }
        return PadTo(base + plan.size);
    }
    bool FinishChecksum(uint32_t checksumOffset)
    {
        uint8_t v[4];
        SetUi32(v, PeChecksumFinish(&sum_));
        if (!out_->Patch(checksumOffset, v, 4)) {
            *err_ = "cannot write the output's checksum";
            return false;
        }
        return true;
    }
    uint64_t Written() const { return out_->written; }

private:
    Output *out_;
    std::string *err_;
    PeChecksumState sum_;
};

// The DOS header and stub that linkers put before the PE header.
const uint8_t kDosHeader[0x80] = {
    0x4D, 0x5A, 0x90, 0x00, 0x03, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0x00, 0x00,
    0xB8, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x40, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x80, 0x00, 0x00, 0x00,
    0x0E, 0x1F, 0xBA, 0x0E, 0x00, 0xB4, 0x09, 0xCD, 0x21, 0xB8, 0x01, 0x4C, 0xCD, 0x21, 0x54, 0x68,
    0x69, 0x73, 0x20, 0x70, 0x72, 0x6F, 0x67, 0x72, 0x61, 0x6D, 0x20, 0x63, 0x61, 0x6E, 0x6E, 0x6F,
    0x74, 0x20, 0x62, 0x65, 0x20, 0x72, 0x75, 0x6E, 0x20, 0x69, 0x6E, 0x20, 0x44, 0x4F, 0x53, 0x20,
    0x6D, 0x6F, 0x64, 0x65, 0x2E, 0x0D, 0x0D, 0x0A, 0x24, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
};

bool WriteDll(const ResList &res, Output *out, std::string *err)
{
    constexpr uint32_t kFileAlign = 512;
    constexpr uint32_t kSectionAlign = 4096;
    constexpr uint32_t kRsrcRva = kSectionAlign;
    constexpr uint32_t kHeadersSize = 512;
    SectionPlan plan;
    if (!PlanSection(res, kRsrcRva, &plan, err))
        return false;
    const uint32_t rawSize = AlignUp(plan.size, kFileAlign);

    std::vector<uint8_t> h(kHeadersSize, 0);
    memcpy(h.data(), kDosHeader, sizeof kDosHeader);
    ByteSink hs(&h);
    const uint32_t pe = 0x80;
    hs.SetU32At(pe, kPeSignature);
    const uint32_t coff = pe + 4;
    hs.SetU16At(coff + 0, kPeMachineI386);
    hs.SetU16At(coff + 2, 1);        // one section
    hs.SetU16At(coff + 16, kPe32OptSize);
    // Executable image, no line numbers or symbols, 32-bit, no debug
    // information, DLL.
    hs.SetU16At(coff + 18, 0x0002 | 0x0004 | 0x0008 | 0x0100 | 0x0200 | 0x2000);
    const uint32_t opt = coff + kPeCoffSize;
    hs.SetU16At(opt + 0, kPeMagic32);
    h[opt + 2] = 2;                  // linker version
    hs.SetU32At(opt + kPeOptSizeOfInitData, rawSize);
    hs.SetU32At(opt + kPeOptBaseOfCode, kRsrcRva);     // none
    hs.SetU32At(opt + kPe32OptBaseOfData, kRsrcRva);
    hs.SetU32At(opt + kPe32OptImageBase, 0x10000000);
    hs.SetU32At(opt + kPeOptSectionAlignment, kSectionAlign);
    hs.SetU32At(opt + kPeOptFileAlignment, kFileAlign);
    hs.SetU16At(opt + kPeOptOsVersion, 4);             // 4.0
    hs.SetU16At(opt + kPeOptSubsystemVersion, 4);      // 4.0
    hs.SetU32At(opt + kPeOptSizeOfImage, kRsrcRva + AlignUp(plan.size, kSectionAlign));
    hs.SetU32At(opt + kPeOptSizeOfHeaders, kHeadersSize);
    hs.SetU16At(opt + kPeOptSubsystem, 2);             // Windows GUI
    hs.SetU16At(opt + kPeOptDllCharacteristics, 0x0100);   // NX compatible (no relocations, so no dynamic base)
    const uint32_t sizes[4] = {0x200000, 0x1000, 0x100000, 0x1000};   // stack reserve, commit, heap reserve, commit
    for (uint32_t i = 0; i < 4; i++)
        hs.SetU32At(opt + kPe32OptStackReserve + 4 * i, sizes[i]);
    hs.SetU32At(opt + kPe32OptDirCount, kPeDirCount);
    const uint32_t dirs = opt + PeOptDirectoriesOffset(false);
    hs.SetU32At(dirs + 8 * kPeDirResource, kRsrcRva);
    hs.SetU32At(dirs + 8 * kPeDirResource + 4, plan.size);
    const uint32_t sec = opt + kPe32OptSize;
    memcpy(&h[sec], ".rsrc", 5);
    hs.SetU32At(sec + 8, plan.size);
    hs.SetU32At(sec + 12, kRsrcRva);
    hs.SetU32At(sec + 16, rawSize);
    hs.SetU32At(sec + 20, kHeadersSize);
    hs.SetU32At(sec + 36, 0x40000040);   // initialized data, readable

    Emitter em(out, err);
    return em.Bytes(h.data(), h.size()) && em.Section(plan, kHeadersSize) && em.PadTo(kHeadersSize + rawSize) &&
           em.FinishChecksum(opt + kPeOptCheckSum);
}

bool Replace(const uint8_t *image, size_t size, const ResList &res, uint32_t fileAlignment, Output *out,
             std::vector<std::string> *warnings, std::string *err)
{
    PeImage h;
    if (!ParsePeImage(image, size, &h, err))
        return false;
    if (h.dirCount <= kPeDirBaseReloc) {
        *err = "image has too few data directories";
        return false;
    }
    const uint32_t fa = h.fileAlignment;
    const uint32_t sa = h.sectionAlignment;
    if (fa < 512 || fa > 0x10000 || (fa & (fa - 1)) || sa < fa || (sa & (sa - 1))) {
        *err = "unusual file or section alignment (" + Hex(fa) + ", " + Hex(sa) + ")";
        return false;
    }
    const uint32_t outFa = fileAlignment ? fileAlignment : fa;
    if (outFa < fa || outFa > sa || (outFa & (outFa - 1))) {
        *err = "file alignment " + Hex(outFa) + " is not a power of two from the image's " + Hex(fa) + " to " + Hex(sa);
        return false;
    }
    const PeDataDir rsrcDir = h.dirs[kPeDirResource];
    size_t rs = h.sections.size();
    for (size_t i = 0; i < h.sections.size(); i++) {
        if (rsrcDir.rva != 0 && h.sections[i].va == rsrcDir.rva)
            rs = i;
    }
    if (rs == h.sections.size()) {
        *err = "image has no section that starts with its resource directory";
        return false;
    }
    const PeDataDir relocDir = h.dirs[kPeDirBaseReloc];
    for (size_t i = rs + 1; i < h.sections.size(); i++) {
        const PeSection &s = h.sections[i];
        const bool isReloc = relocDir.rva != 0 && SectionOfRva(h, relocDir.rva) == &s && i + 1 == h.sections.size();
        if (!isReloc) {
            *err = std::string("section ") + s.name + " follows the resources; only the relocations may";
            return false;
        }
    }
    // Sections in ascending order, raw data in order, inside the file.
    uint64_t endOfRaw = h.sizeOfHeaders;
    for (size_t i = 0; i < h.sections.size(); i++) {
        const PeSection &s = h.sections[i];
        if (i > 0 && s.va <= h.sections[i - 1].va) {
            *err = "sections are not in address order";
            return false;
        }
        if (s.rawSize == 0)
            continue;
        if (s.rawPtr < endOfRaw || (uint64_t)s.rawPtr + s.rawSize > size) {
            *err = std::string("section ") + s.name + "'s data overlaps another or runs past the file";
            return false;
        }
        endOfRaw = (uint64_t)s.rawPtr + s.rawSize;
    }
    // Nothing else may point into what moves.
    const uint32_t rsrcVa = h.sections[rs].va;
    for (uint32_t d = 0; d < h.dirCount; d++) {
        if (d == kPeDirResource || d == kPeDirBaseReloc || d == kPeDirSecurity)
            continue;
        if (h.dirs[d].rva != 0 && (uint64_t)h.dirs[d].rva + h.dirs[d].size > rsrcVa) {
            *err = "data directory " + std::to_string(d) + " points into or past the resources";
            return false;
        }
    }
    // After the sections: at most the certificate, which goes.
    const PeDataDir cert = h.dirs[kPeDirSecurity];
    uint64_t tail = size;
    if (cert.size != 0) {
        if (cert.rva < endOfRaw || (uint64_t)cert.rva + cert.size > size) {
            *err = "the certificate table is not where it should be (after the sections)";
            return false;
        }
        tail = cert.rva;
        warnings->push_back("the image's Authenticode signature is dropped (changing resources breaks it); sign the result again");
    }
    if (tail > endOfRaw) {
        *err = "image has " + std::to_string(tail - endOfRaw) +
               " bytes appended after its sections (symbols or data); strip it or use an image without them";
        return false;
    }

    SectionPlan plan;
    if (!PlanSection(res, rsrcVa, &plan, err))
        return false;

    // A wider file alignment moves every section's raw data (and the end of
    // the headers) to the new boundary; addresses in memory stay.
    const bool relayout = outFa != fa;
    uint32_t headersSize = h.sizeOfHeaders;
    std::vector<PeSection> secs = h.sections;
    if (relayout) {
        headersSize = AlignUp(h.sizeOfHeaders, outFa);
        if (headersSize > secs[0].va) {
            *err = "the headers would overlap the first section at file alignment " + Hex(outFa);
            return false;
        }
        uint64_t at = headersSize;
        for (size_t i = 0; i < rs; i++) {
            if (secs[i].rawSize == 0)
                continue;
            secs[i].rawPtr = (uint32_t)at;
            secs[i].rawSize = AlignUp(secs[i].rawSize, outFa);
            at += secs[i].rawSize;
        }
        secs[rs].rawPtr = (uint32_t)at;
    }
    // New section table from the resource section on.
    PeSection &r = secs[rs];
    r.virtualSize = plan.size;
    r.rawSize = AlignUp(plan.size, outFa);
    if (r.rawPtr == 0)
        r.rawPtr = (uint32_t)AlignUp((uint32_t)endOfRaw, fa);
    uint64_t nextVa = (uint64_t)r.va + AlignUp(plan.size, sa);
    uint64_t nextRaw = (uint64_t)r.rawPtr + r.rawSize;
    uint32_t relocShift = 0;
    for (size_t i = rs + 1; i < secs.size(); i++) {
        PeSection &s = secs[i];
        uint32_t oldVa = s.va;
        s.va = (uint32_t)nextVa;
        relocShift = s.va - oldVa;
        if (s.rawSize != 0) {
            s.rawPtr = (uint32_t)nextRaw;
            s.rawSize = AlignUp(s.rawSize, outFa);
        }
        nextVa += AlignUp(std::max(SectionSpan(s), 1u), sa);
        nextRaw += s.rawSize;
    }
    if (nextVa > 0x7FFFFFFFu || nextRaw > 0x7FFFFFFFu) {
        *err = "the image would be too large";
        return false;
    }
    const PeSection &last = secs.back();
    const uint32_t sizeOfImage = AlignUp(last.va + SectionSpan(last), sa);

    // Headers: copied, then patched.
    if (h.sizeOfHeaders > size || h.sections.back().headerOffset + kPeSectionHeaderSize > h.sizeOfHeaders) {
        *err = "section table does not fit SizeOfHeaders";
        return false;
    }
    std::vector<uint8_t> hdr(image, image + h.sizeOfHeaders);
    hdr.resize(headersSize, 0);
    ByteSink patch(&hdr);
    const uint32_t opt = h.optOffset;
    // The size fields sum the sections' raw sizes.
    uint32_t codeSize = GetUi32(&hdr[opt + kPeOptSizeOfCode]);
    uint32_t initData = GetUi32(&hdr[opt + kPeOptSizeOfInitData]);
    for (size_t i = 0; i < secs.size(); i++) {
        const uint32_t grown = secs[i].rawSize - h.sections[i].rawSize;
        if (secs[i].flags & kScnCode)
            codeSize += grown;
        else if (secs[i].flags & kScnInitializedData)
            initData += grown;
    }
    patch.SetU32At(opt + kPeOptSizeOfCode, codeSize);
    patch.SetU32At(opt + kPeOptSizeOfInitData, initData);
    patch.SetU32At(opt + kPeOptFileAlignment, outFa);
    patch.SetU32At(opt + kPeOptSizeOfHeaders, headersSize);
    patch.SetU32At(opt + kPeOptSizeOfImage, sizeOfImage);
    patch.SetU32At(opt + kPeOptCheckSum, 0);
    patch.SetU32At(h.dirOffset + 8 * kPeDirResource, rsrcVa);
    patch.SetU32At(h.dirOffset + 8 * kPeDirResource + 4, plan.size);
    patch.SetU32At(h.dirOffset + 8 * kPeDirSecurity, 0);
    patch.SetU32At(h.dirOffset + 8 * kPeDirSecurity + 4, 0);
    if (relocDir.rva != 0 && rs + 1 < secs.size())
        patch.SetU32At(h.dirOffset + 8 * kPeDirBaseReloc, relocDir.rva + relocShift);
    for (size_t i = 0; i < secs.size(); i++) {
        const uint32_t at = secs[i].headerOffset;
        patch.SetU32At(at + 8, secs[i].virtualSize);
        patch.SetU32At(at + 12, secs[i].va);
        patch.SetU32At(at + 16, secs[i].rawSize);
        patch.SetU32At(at + 20, secs[i].rawPtr);
    }

    // The debug directory's entries hold file offsets of their data.
    std::vector<uint8_t> debugSection;
    size_t debugIn = secs.size();
    const PeDataDir debugDir = h.dirCount > kPeDirDebug ? h.dirs[kPeDirDebug] : PeDataDir();
    if (relayout && debugDir.rva != 0 && debugDir.size != 0) {
        const PeSection *ds = SectionOfRva(h, debugDir.rva);
        uint32_t at = 0;
        if (!ds || !RvaToOffset(h, debugDir.rva, debugDir.size, &at)) {
            *err = "the debug directory lies outside the image's sections";
            return false;
        }
        debugIn = (size_t)(ds - h.sections.data());
        debugSection.assign(image + ds->rawPtr, image + ds->rawPtr + ds->rawSize);
        for (uint32_t e = 0; e + kPeDebugEntrySize <= debugDir.size; e += kPeDebugEntrySize) {
            const uint32_t field = at - ds->rawPtr + e + kPeDebugRawPointer;
            const uint32_t data = GetUi32(&debugSection[field]);
            if (data == 0)
                continue;
            size_t k = 0;
            while (k < rs && !(h.sections[k].rawSize != 0 && data >= h.sections[k].rawPtr &&
                               data < (uint64_t)h.sections[k].rawPtr + h.sections[k].rawSize))
                k++;
            if (k == rs) {
                *err = "debug data at " + Hex(data) + " lies outside the sections before the resources";
                return false;
            }
            SetUi32(&debugSection[field], data - h.sections[k].rawPtr + secs[k].rawPtr);
        }
    }

    Emitter em(out, err);
    if (!em.Bytes(hdr.data(), hdr.size()))
        return false;
    for (size_t i = 0; i < secs.size(); i++) {
        const PeSection &s = secs[i];
        if (s.rawSize == 0)
            continue;
        if (!em.PadTo(s.rawPtr))
            return false;
        if (i == rs) {
            if (!em.Section(plan, s.rawPtr))
                return false;
        } else if (i == debugIn) {
            if (!em.Bytes(debugSection.data(), debugSection.size()))
                return false;
        } else if (!em.Bytes(image + h.sections[i].rawPtr, h.sections[i].rawSize)) {
            return false;
        }
        if (!em.PadTo((uint64_t)s.rawPtr + s.rawSize))
            return false;
    }
    return em.FinishChecksum(opt + kPeOptCheckSum);
}

}  // namespace

bool WriteResourceDll(const ResList &res, std::vector<uint8_t> *out, std::string *err)
{
    VectorOutput o(out);
    if (WriteDll(res, &o, err))
        return true;
    out->clear();
    return false;
}

bool ReplaceResources(const uint8_t *image, size_t size, const ResList &res, std::vector<uint8_t> *out,
                      std::vector<std::string> *warnings, std::string *err, uint32_t fileAlignment)
{
    VectorOutput o(out);
    if (Replace(image, size, res, fileAlignment, &o, warnings, err))
        return true;
    out->clear();
    return false;
}

bool ReplaceResourcesToFile(const uint8_t *image, size_t size, const ResList &res, FILE *out,
                            std::vector<std::string> *warnings, std::string *err, uint32_t fileAlignment)
{
    FileOutput o(out);
    return Replace(image, size, res, fileAlignment, &o, warnings, err);
}

}  // namespace tk
