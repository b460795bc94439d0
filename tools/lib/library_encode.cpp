// Bitmaps and logo scripts for resource libraries.
#include "tools/lib/library_encode.h"

#include <errno.h>
#include <iconv.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <map>

#include "base/bytes.h"
#include "base/platform.h"
#include "base/splash_state.h"
#include "base/text.h"
#include "splash/bitmapcheck.h"
#include "splash/logo.h"

namespace tk {

// --- bitmaps -----------------------------------------------------------------

namespace {

// The header fields of a BMP file, as read for its layout.
struct BmpFields {
    uint32_t headerSize = 0;
    bool core = false;
    int64_t width = 0, height = 0;   // height made positive; topDown says which
    bool topDown = false;
    uint32_t planes = 0, bits = 0, compression = 0, imageSize = 0, used = 0;
};

// Why the launcher's check refused a bitmap, in the terms of the file, for
// the message: the first rule the header breaks, in the order a person
// would fix them. The verdict itself is BitmapCheck's.
std::string BmpRefusal(const BmpFields &b, uint64_t table, uint32_t pixelsAt, uint64_t pixels, uint32_t size)
{
    const std::string sides = std::to_string(b.width) + " x " + std::to_string(b.height) + " pixels";
    if (b.width < 1 || b.height < 1 || b.width > kBitmapMaxSide || b.height > kBitmapMaxSide)
        return "the picture is " + sides + "; a splash needs 1 to " + std::to_string((int)kBmpMaxSide) +
               " on each side";
    if (b.planes != 1)
        return "the header gives " + std::to_string(b.planes) + " colour planes instead of 1; save the picture again";
    if (b.bits != 1 && b.bits != 4 && b.bits != 8 && b.bits != 16 && b.bits != 24 && b.bits != 32)
        return std::to_string(b.bits) + " bits per pixel is not a bitmap depth; save with 1, 4, 8, 16, 24 or 32";
    const bool rle = (b.compression == 1 && b.bits == 8) || (b.compression == 2 && b.bits == 4);
    const bool fields = b.compression == 3 && (b.bits == 16 || b.bits == 32);
    if (b.compression != 0 && !rle && !fields)
        return "compression " + std::to_string(b.compression) + " with " + std::to_string(b.bits) +
               " bits per pixel cannot be shown as a splash (JPEG and PNG inside a BMP are not); save it "
               "uncompressed";
    if (rle && b.topDown)
        return "a compressed bitmap cannot be stored top-down; save it bottom-up or uncompressed";
    if (b.bits <= 8 && b.used > (1u << b.bits))
        return "the header gives " + std::to_string(b.used) + " palette colours; " + std::to_string(b.bits) +
               " bits per pixel take at most " + std::to_string(1u << b.bits) + "; save the picture again";
    if (b.bits > 8 && b.used > 256)
        return "the header gives " + std::to_string(b.used) + " palette colours; save the picture again";
    if (rle && b.imageSize == 0)
        return "a compressed bitmap whose header gives no image size; save the picture again";
    if (table > size || pixelsAt < table || pixelsAt > size)
        return "the pixel data is said to start at byte " + std::to_string(pixelsAt) +
               ", inside the header and colour table (" + std::to_string(table) + " bytes) or past the end; "
               "save the picture again";
    if (pixels > size - pixelsAt)
        return "the pixels need " + std::to_string(pixels) + " bytes from byte " + std::to_string(pixelsAt) +
               ", the file has " + std::to_string(size - pixelsAt) + "; the file is cut: save the picture again";
    return "the launcher cannot draw this bitmap (" + sides + ", " + std::to_string(b.bits) +
           " bits per pixel, compression " + std::to_string(b.compression) + "); save it as an uncompressed .bmp";
}

}  // namespace

bool BmpToResource(const std::vector<uint8_t> &file, std::vector<uint8_t> *dib, std::string *why)
{
    if (file.size() > kBmpMaxFile) {
        *why = "the file is larger than 64 MB; a splash picture is far smaller";
        return false;
    }
    const uint32_t size = (uint32_t)file.size();
    ByteReader r;
    ReaderInit(&r, file.data(), size);
    const uint32_t magic = ReaderU16(&r);
    const uint32_t declared = ReaderU32(&r);
    ReaderU32(&r);  // reserved
    const uint32_t pixelsAt = ReaderU32(&r);
    BmpFields b;
    b.headerSize = ReaderU32(&r);
    if (r.err || magic != 0x4D42) {
        *why = "not a BMP file (no \"BM\" header); save the picture as a Windows bitmap (.bmp)";
        return false;
    }
    if (declared != size) {
        *why = "the header says the file holds " + std::to_string(declared) + " bytes, but it holds " +
               std::to_string(size) + "; the file is cut or padded: save the picture again";
        return false;
    }
    // The headers a BMP file has; the launcher's check would take any size
    // up to 124, but the fields of others are not the ones read here.
    b.core = b.headerSize == 12;
    if (b.core) {
        b.width = ReaderU16(&r);
        b.height = ReaderU16(&r);
        b.planes = ReaderU16(&r);
        b.bits = ReaderU16(&r);
    } else if (b.headerSize == 40 || b.headerSize == 108 || b.headerSize == 124) {
        b.width = (int32_t)ReaderU32(&r);
        b.height = (int32_t)ReaderU32(&r);
        b.planes = ReaderU16(&r);
        b.bits = ReaderU16(&r);
        b.compression = ReaderU32(&r);
        b.imageSize = ReaderU32(&r);
        ReaderU32(&r);
        ReaderU32(&r);
        b.used = ReaderU32(&r);
    } else {
        *why = "unknown bitmap header of " + std::to_string(b.headerSize) +
               " bytes; save the picture as a Windows bitmap (.bmp)";
        return false;
    }
    if (b.headerSize == 124) {
        // A V5 header may point at a colour profile behind the pixels, which
        // the resource would not carry.
        ReaderSeek(&r, 14 + 56);
        if (ReaderU32(&r) == 0x4D424544) {
            *why = "the picture embeds a colour profile; save it without one";
            return false;
        }
    }
    if (r.err) {
        *why = "the file ends inside its header: the file is cut; save the picture again";
        return false;
    }
    b.topDown = b.height < 0;
    if (b.topDown)
        b.height = -b.height;

    // Where the parts lie, from the header as it stands (the check below
    // judges it): the colour table (and the masks of a 40-byte bit-field
    // header) after the header, the pixels from pixelsAt. A file may leave a
    // gap between the two; the resource may not, since the loader takes the
    // pixels right after the colour table, so the pixels move up.
    const bool rle = b.compression == 1 || b.compression == 2;
    const uint64_t colours = b.bits <= 8 && (b.core || b.used == 0) ? (1ull << b.bits) : b.used;
    const uint64_t masks = (b.headerSize == 40 && b.compression == 3) ? 12 : 0;
    const uint64_t table = 14 + (uint64_t)b.headerSize + masks + colours * (b.core ? 3 : 4);
    const uint64_t stride = ((uint64_t)b.width * b.bits + 31) / 32 * 4;
    const uint64_t pixels = rle ? b.imageSize : stride * (uint64_t)b.height;
    bool ok = table <= size && pixelsAt >= table && pixelsAt <= size && pixels <= size - pixelsAt;
    if (ok) {
        dib->assign(file.begin() + 14, file.begin() + (ptrdiff_t)table);
        dib->insert(dib->end(), file.begin() + pixelsAt, file.begin() + pixelsAt + (ptrdiff_t)pixels);
        // The launcher's own check on what it will load.
        int32_t width = 0, height = 0;
        ok = BitmapCheck(dib->data(), (uint32_t)dib->size(), &width, &height) != 0;
    }
    if (!ok) {
        dib->clear();
        *why = BmpRefusal(b, table, pixelsAt, pixels, size);
        return false;
    }
    // Shown 1:1, a splash larger than this is a mistake even where the
    // launcher could draw it.
    if (b.width > kBmpMaxSide || b.height > kBmpMaxSide) {
        dib->clear();
        *why = "the picture is " + std::to_string(b.width) + " x " + std::to_string(b.height) +
               " pixels; a splash needs 1 to " + std::to_string((int)kBmpMaxSide) + " on each side";
        return false;
    }
    return true;
}

// --- logo scripts ------------------------------------------------------------

static bool IsLogoSeparator(char c)
{
    return c == '#' || c == ',' || c == '<' || c == '=' || c == '>';
}

static bool ColourNumber(const char *token)
{
    size_t n = strlen(token);
    if (n == 0 || n > 3)
        return false;
    for (size_t i = 0; i < n; i++)
        if (token[i] < '0' || token[i] > '9')
            return false;
    return ParseDecimal(token) <= 255;
}

static std::string TrimRight(std::string s)
{
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.pop_back();
    return s;
}

static void CheckDirective(const std::string &line, std::vector<std::string> *problems)
{
    char token[kLogoTokenBuffer];
    char keyword[kLogoTokenBuffer];
    size_t position = 0;
    LogoNextToken(line.c_str(), token, &position);   // "#"
    int atEnd = LogoNextToken(line.c_str(), keyword, &position);
    std::string word = keyword;
    std::string trimmed = TrimRight(word);
    bool known = TextCompareNoCase(trimmed.c_str(), "background") == 0 ||
                 TextCompareNoCase(trimmed.c_str(), "text") == 0 || TextCompareNoCase(trimmed.c_str(), "raised") == 0;
    if (!known)
        return;   // a comment
    if (trimmed != word) {
        problems->push_back("the blank after #" + trimmed + " makes the line a comment; write #" + trimmed +
                            (TextCompareNoCase(trimmed.c_str(), "raised") == 0 ? "" : "=R,G,B") + " without it");
        return;
    }
    if (TextCompareNoCase(keyword, "raised") == 0)
        return;
    // "=R,G,B": a separator, then three numbers with separators between.
    const char *what = "a colour needs three numbers from 0 to 255, as in #";
    bool ok = !atEnd;
    for (int i = 0; ok && i < 3; i++) {
        char sep[kLogoTokenBuffer];
        if (LogoNextToken(line.c_str(), sep, &position) || strlen(sep) != 1 || !IsLogoSeparator(sep[0])) {
            ok = false;
            break;
        }
        char number[kLogoTokenBuffer];
        int end = LogoNextToken(line.c_str(), number, &position);
        if (!ColourNumber(number) || (end && i < 2)) {
            ok = false;
            break;
        }
    }
    if (!ok)
        problems->push_back(std::string(what) + keyword + "=32,72,128; the launcher would use the default colour");
}

static void CheckLogoLine(const std::string &line, std::vector<std::string> *problems, bool *hasText)
{
    LogoLine record;
    memset(&record, 0, sizeof record);
    record.kind = LOGO_TEXT;
    LogoParseLine(&record, line.c_str());
    if (line[0] == '#') {
        CheckDirective(line, problems);
        return;
    }
    *hasText = true;
    size_t textAt = 0;
    if (line[0] == '<') {
        size_t close = line.find('>');
        if (record.size == kLogoNoSize || close == std::string::npos) {
            problems->push_back("a line starting with '<' sets a font: write <Face,size>text, as in <Arial,24>Setup");
            return;
        }
        std::string face = record.face;
        if (face.size() > kLogoFaceNameChars)
            problems->push_back("the font face \"" + face.substr(0, 20) + "...\" is longer than " +
                                std::to_string((int)kLogoFaceNameChars) + " characters; no font has such a name");
        if (record.size == 0)
            problems->push_back("the font size is not a number other than 0; write <" + face + ",24>");
        textAt = close + 1;
    }
    if (line.size() - textAt > kLogoTextBuffer - 1)
        problems->push_back("the text is " + std::to_string(line.size() - textAt) + " characters long; the launcher keeps " +
                            std::to_string((int)kLogoTextBuffer - 1) + ": split it into two lines");
}

std::vector<std::pair<int, std::string>> CheckLogoScript(const std::string &script, uint32_t codePage)
{
    std::vector<std::pair<int, std::string>> found;
    if (script.find('\0') != std::string::npos) {
        found.push_back({0, "the script holds a zero byte; it must be text"});
        return found;
    }
    HostSetCodePage((int)codePage);
    const int saved = g_splash.raised;
    bool hasText = false;
    int number = 0;
    size_t at = 0;
    while (at < script.size()) {
        size_t end = script.find('\n', at);
        if (end == std::string::npos)
            end = script.size();
        std::string line = script.substr(at, end - at);
        at = end + 1;
        number++;
        size_t cr = line.find('\r');
        if (cr != std::string::npos)
            line.resize(cr);
        if (line.size() > kLogoLineChars) {
            found.push_back({number, "the line is " + std::to_string(line.size()) + " bytes long; the launcher reads " +
                                         std::to_string((int)kLogoLineChars) + " at a time"});
            continue;
        }
        if (line.empty())
            line = " ";   // as the launcher reads an empty line
        std::vector<std::string> problems;
        CheckLogoLine(line, &problems, &hasText);
        for (const std::string &p : problems)
            found.push_back({number, p});
    }
    g_splash.raised = saved;
    HostSetCodePage(1252);
    if (!hasText)
        found.push_back({0, "the script has no line of text to show"});
    return found;
}

}  // namespace tk
