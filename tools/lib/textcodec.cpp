// UTF-8, UTF-16 and Windows code pages.
#include "tools/lib/textcodec.h"

#include <iconv.h>
#include <stdio.h>

#include "base/leadbyte.h"
#include "base/platform.h"

namespace tk {

bool CodePageSupported(uint32_t codePage)
{
    return codePage == 874 || IsDoubleByteCodePage((int)codePage) || (codePage >= 1250 && codePage <= 1258);
}

uint32_t CodePageOfLanguage(uint32_t lcid, bool *known)
{
    const uint32_t primary = lcid & 0x3FF;
    const uint32_t sub = (lcid >> 10) & 0x3F;
    struct Pair {
        uint16_t primary;
        uint16_t codePage;
    };
    static const Pair kPairs[] = {
        {0x01, 1256}, {0x02, 1251}, {0x03, 1252}, {0x05, 1250}, {0x06, 1252}, {0x07, 1252}, {0x08, 1253},
        {0x09, 1252}, {0x0A, 1252}, {0x0B, 1252}, {0x0C, 1252}, {0x0D, 1255}, {0x0E, 1250}, {0x0F, 1252},
        {0x10, 1252}, {0x11, 932},  {0x12, 949},  {0x13, 1252}, {0x14, 1252}, {0x15, 1250}, {0x16, 1252},
        {0x18, 1250}, {0x19, 1251}, {0x1A, 1250}, {0x1B, 1250}, {0x1C, 1250}, {0x1D, 1252}, {0x1E, 874},
        {0x1F, 1254}, {0x20, 1256}, {0x21, 1252}, {0x22, 1251}, {0x23, 1251}, {0x24, 1250}, {0x25, 1257},
        {0x26, 1257}, {0x27, 1257}, {0x29, 1256}, {0x2A, 1258}, {0x2D, 1252}, {0x2F, 1251}, {0x36, 1252},
        {0x38, 1252}, {0x3E, 1252}, {0x56, 1252},
    };
    *known = true;
    if (primary == 0x04)
        return (sub == 2 || sub == 4) ? 936 : 950;
    for (const Pair &p : kPairs) {
        if (p.primary == primary)
            return p.codePage;
    }
    *known = false;
    return 1252;
}

bool Utf8Decode(const std::string &text, std::vector<uint32_t> *points, size_t *badOffset)
{
    const unsigned char *s = (const unsigned char *)text.data();
    const size_t n = text.size();
    size_t i = 0;
    while (i < n) {
        const unsigned c = s[i];
        size_t extra = 0;
        uint32_t point = 0;
        uint32_t least = 0;
        if (c < 0x80) {
            point = c;
        } else if ((c & 0xE0) == 0xC0) {
            extra = 1, point = c & 0x1F, least = 0x80;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2, point = c & 0x0F, least = 0x800;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3, point = c & 0x07, least = 0x10000;
        } else {
            *badOffset = i;
            return false;
        }
        if (extra > n - i - 1) {
            *badOffset = i;
            return false;
        }
        for (size_t k = 1; k <= extra; k++) {
            if ((s[i + k] & 0xC0) != 0x80) {
                *badOffset = i;
                return false;
            }
            point = (point << 6) | (s[i + k] & 0x3F);
        }
        if (point < least || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) {
            *badOffset = i;
            return false;
        }
        points->push_back(point);
        i += extra + 1;
    }
    return true;
}

std::string Utf8Encode(uint32_t p)
{
    std::string s;
    if (p < 0x80) {
        s += (char)p;
    } else if (p < 0x800) {
        s += (char)(0xC0 | (p >> 6));
        s += (char)(0x80 | (p & 0x3F));
    } else if (p < 0x10000) {
        s += (char)(0xE0 | (p >> 12));
        s += (char)(0x80 | ((p >> 6) & 0x3F));
        s += (char)(0x80 | (p & 0x3F));
    } else {
        s += (char)(0xF0 | (p >> 18));
        s += (char)(0x80 | ((p >> 12) & 0x3F));
        s += (char)(0x80 | ((p >> 6) & 0x3F));
        s += (char)(0x80 | (p & 0x3F));
    }
    return s;
}

namespace {

void AppendUtf16(uint32_t p, std::u16string *out)
{
    if (p >= 0x10000) {
        p -= 0x10000;
        out->push_back((char16_t)(0xD800 + (p >> 10)));
        out->push_back((char16_t)(0xDC00 + (p & 0x3FF)));
    } else {
        out->push_back((char16_t)p);
    }
}

}  // namespace

bool Utf8ToUtf16(const std::string &in, std::u16string *out)
{
    out->clear();
    std::vector<uint32_t> points;
    size_t bad = 0;
    const bool ok = Utf8Decode(in, &points, &bad);
    for (uint32_t p : points)
        AppendUtf16(p, out);
    return ok;
}

std::u16string Utf8ToUtf16(const std::string &text)
{
    std::u16string out;
    Utf8ToUtf16(text, &out);
    return out;
}

std::string Utf16ToUtf8(const std::u16string &s)
{
    std::string out;
    for (size_t i = 0; i < s.size(); i++) {
        uint32_t p = s[i];
        if (p >= 0xD800 && p < 0xDC00 && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] < 0xE000) {
            p = 0x10000 + ((p - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            i++;
        } else if (p >= 0xD800 && p < 0xE000) {
            p = 0xFFFD;
        }
        out += Utf8Encode(p);
    }
    return out;
}

std::string DescribePoint(uint32_t point)
{
    char code[16];
    snprintf(code, sizeof code, "U+%04X", (unsigned)point);
    if (point < 0x20 || point == 0x7F)
        return code;
    return std::string(code) + " '" + Utf8Encode(point) + "'";
}

namespace {

class Converter {
public:
    Converter(const char *to, const char *from) : cd_(iconv_open(to, from)) {}
    ~Converter()
    {
        if (ok())
            iconv_close(cd_);
    }
    Converter(const Converter &) = delete;
    Converter &operator=(const Converter &) = delete;
    bool ok() const { return cd_ != (iconv_t)-1; }
    // Converts `in` whole; false when any of it does not convert exactly
    // (iconv counts a substitute as an irreversible conversion).
    bool Run(const std::string &in, std::string *out)
    {
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        std::string copy = in;
        char buf[16];
        char *inPtr = &copy[0];
        size_t inLeft = copy.size();
        char *outPtr = buf;
        size_t outLeft = sizeof buf;
        const size_t r = iconv(cd_, &inPtr, &inLeft, &outPtr, &outLeft);
        if (r == (size_t)-1 || r > 0 || inLeft != 0)
            return false;
        out->append(buf, (size_t)(outPtr - buf));
        return true;
    }

private:
    iconv_t cd_;
};

std::string CodePageName(uint32_t codePage)
{
    char name[16];
    snprintf(name, sizeof name, "CP%u", (unsigned)codePage);
    return name;
}

}  // namespace

bool ToCodePage(const std::string &utf8, uint32_t codePage, std::string *out, uint32_t *badPoint)
{
    *badPoint = 0;
    out->clear();
    std::vector<uint32_t> points;
    size_t bad = 0;
    if (!Utf8Decode(utf8, &points, &bad))
        return false;
    Converter cv(CodePageName(codePage).c_str(), "UTF-8");
    if (!cv.ok())
        return false;
    // One character at a time, so the one that does not fit can be named.
    for (uint32_t p : points) {
        if (!cv.Run(Utf8Encode(p), out)) {
            *badPoint = p;
            return false;
        }
    }
    return true;
}

bool FromCodePage(const std::string &bytes, uint32_t codePage, std::string *out)
{
    out->clear();
    Converter cv("UTF-8", CodePageName(codePage).c_str());
    bool ok = cv.ok();
    for (size_t i = 0; i < bytes.size(); i++) {
        // A lead byte takes the next byte with it.
        const bool lead = IsLeadByteOf((int)codePage, (unsigned char)bytes[i]) != 0;
        const size_t n = lead && i + 1 < bytes.size() ? 2 : 1;
        if (!cv.ok() || !cv.Run(bytes.substr(i, n), out)) {
            out->append("\xEF\xBF\xBD");
            ok = false;
        }
        i += n - 1;
    }
    return ok;
}

ParserCodePage::ParserCodePage(uint32_t codePage) : previous_(HostSetCodePage(codePage == 932 ? 932 : 1252)) {}

ParserCodePage::~ParserCodePage()
{
    HostSetCodePage(previous_);
}

}  // namespace tk
