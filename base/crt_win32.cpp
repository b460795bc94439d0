// The few C runtime routines the launcher's code and the compiler call
// (struct copies and zero-fills are emitted as memcpy/memset calls), so the
// launcher links no C runtime at all. Linked into setup.exe only: the Windows
// test programs keep the real runtime.
//
// The copies and fills are string instructions: a handful of bytes each, and
// the compiler cannot turn them back into calls to themselves.
#include <stddef.h>

extern "C" {

__attribute__((used, externally_visible)) void *memcpy(void *dst, const void *src, size_t n)
{
    void *result = dst;
    __asm__ volatile("rep movsb" : "+D"(dst), "+S"(src), "+c"(n) : : "memory");
    return result;
}

__attribute__((used, externally_visible)) void *memmove(void *dst, const void *src, size_t n)
{
    void *result = dst;
    if ((const char *)dst <= (const char *)src || (const char *)dst >= (const char *)src + n) {
        __asm__ volatile("rep movsb" : "+D"(dst), "+S"(src), "+c"(n) : : "memory");
    } else {
        // Overlapping with dst above src: copy backwards from the last byte.
        char *d = (char *)dst + n - 1;
        const char *s = (const char *)src + n - 1;
        __asm__ volatile("std\n\trep movsb\n\tcld" : "+D"(d), "+S"(s), "+c"(n) : : "memory");
    }
    return result;
}

__attribute__((used, externally_visible)) void *memset(void *dst, int value, size_t n)
{
    void *result = dst;
    __asm__ volatile("rep stosb" : "+D"(dst), "+c"(n) : "a"(value) : "memory");
    return result;
}

__attribute__((used, externally_visible)) int memcmp(const void *a, const void *b, size_t n)
{
    const unsigned char *p = (const unsigned char *)a;
    const unsigned char *q = (const unsigned char *)b;
    for (; n > 0; --n, ++p, ++q) {
        if (*p != *q)
            return *p - *q;
    }
    return 0;
}

__attribute__((used, externally_visible)) void *memchr(const void *s, int c, size_t n)
{
    const unsigned char *p = (const unsigned char *)s;
    for (; n > 0; --n, ++p) {
        if (*p == (unsigned char)c)
            return (void *)p;
    }
    return nullptr;
}

__attribute__((used, externally_visible)) size_t strlen(const char *s)
{
    const char *p = s;
    while (*p != '\0')
        ++p;
    return (size_t)(p - s);
}

__attribute__((used, externally_visible)) int strcmp(const char *a, const char *b)
{
    const unsigned char *p = (const unsigned char *)a;
    const unsigned char *q = (const unsigned char *)b;
    while (*p != '\0' && *p == *q) {
        ++p;
        ++q;
    }
    return *p - *q;
}

}  // extern "C"
