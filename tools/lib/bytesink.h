// The growable little-endian writer for every structure the tools emit
// (resource directories, string blocks, version resources, headers). It
// grows as needed, so nothing is lost to a capacity; fields written earlier
// are patched in place with SetU16At/SetU32At once their value is known.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <utility>
#include <vector>

namespace tk {

class ByteSink {
public:
    ByteSink() = default;
    // Appends to `into` instead of a buffer of its own.
    explicit ByteSink(std::vector<uint8_t> *into) : out_(into) {}
    ByteSink(const ByteSink &) = delete;
    ByteSink &operator=(const ByteSink &) = delete;

    void U8(uint32_t v) { out_->push_back((uint8_t)v); }
    void U16(uint32_t v)
    {
        U8(v);
        U8(v >> 8);
    }
    void U32(uint32_t v)
    {
        U16(v);
        U16(v >> 16);
    }
    void U64(uint64_t v)
    {
        U32((uint32_t)v);
        U32((uint32_t)(v >> 32));
    }
    void Bytes(const void *p, size_t n)
    {
        const uint8_t *b = (const uint8_t *)p;
        out_->insert(out_->end(), b, b + n);
    }
    void Bytes(const std::vector<uint8_t> &b) { Bytes(b.data(), b.size()); }
    // UTF-16 code units, without a terminator.
    void Utf16(const std::u16string &s)
    {
        for (char16_t c : s)
            U16(c);
    }
    void Zeros(size_t n) { out_->insert(out_->end(), n, 0); }
    // Pads with zeros to a multiple of `a` (a power of two or not).
    void Align(size_t a)
    {
        if (a > 1 && out_->size() % a)
            Zeros(a - out_->size() % a);
    }

    // Patches a field written earlier; `at` + width must lie inside.
    void SetU16At(size_t at, uint32_t v)
    {
        (*out_)[at] = (uint8_t)v;
        (*out_)[at + 1] = (uint8_t)(v >> 8);
    }
    void SetU32At(size_t at, uint32_t v)
    {
        SetU16At(at, v);
        SetU16At(at + 2, v >> 16);
    }

    size_t Size() const { return out_->size(); }
    const std::vector<uint8_t> &Data() const { return *out_; }
    std::vector<uint8_t> Take() { return std::move(*out_); }

private:
    std::vector<uint8_t> own_;
    std::vector<uint8_t> *out_ = &own_;
};

}  // namespace tk
