// Native stand-ins for the platform calls of platform.h, used by the host
// build's unit tests, tools and fuzz targets.
#include "base/platform.h"

#include "base/leadbyte.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

static int g_codePage = 1252;
static int g_allocBudget = -1;

int HostSetCodePage(int codePage)
{
    const int old = g_codePage;
    g_codePage = codePage;
    return old;
}
void HostFailAllocAfter(int n) { g_allocBudget = n; }

static int IsLeadByte(unsigned char c)
{
    return IsLeadByteOf(g_codePage, c);
}

const char *NextChar(const char *p)
{
    if (*p == '\0')
        return p;
    if (IsLeadByte((unsigned char)*p) && p[1] != '\0')
        return p + 2;
    return p + 1;
}

const char *PrevChar(const char *start, const char *p)
{
    // Walk forward from the start: a trailing byte can equal a lead byte, so
    // backwards scanning alone cannot tell where a character begins.
    if (p <= start)
        return start;
    const char *q = start;
    for (;;) {
        const char *n = NextChar(q);
        if (n >= p || n == q)
            return q;
        q = n;
    }
}

int TextCompareNoCase(const char *a, const char *b) { return strcasecmp(a, b); }
int TextCompare(const char *a, const char *b) { return strcmp(a, b); }

// Like the Windows block, the 4 bytes in front of the data hold the header (a
// marker here rather than a handle). The header is padded to 16 bytes so that
// records with pointers in them are aligned on a 64-bit host, as they are on
// 32-bit Windows; free() uses the base.
enum { kHostBlockHeader = 16 };

void *BlockAlloc(int32_t pool, uint32_t size)
{
    (void)pool;
    if (g_allocBudget == 0)
        return NULL;
    if (g_allocBudget > 0)
        g_allocBudget--;
    if (size > 0xFFFFFFFFu - 4u)
        return NULL;
    unsigned char *base = (unsigned char *)calloc(1, (size_t)size + kHostBlockHeader);
    if (!base)
        return NULL;
    memcpy(base + kHostBlockHeader - 4, "BLK1", 4);
    return base + kHostBlockHeader;
}

int BlockFree(int32_t pool, void *data)
{
    (void)pool;
    free((unsigned char *)data - kHostBlockHeader);
    return 1;
}

// On the host an InputFile is a C stream.
InputFile *HostInputFromStream(void *stdioStream) { return (InputFile *)stdioStream; }

InputFile *InputFileOpen(const char *path) { return (InputFile *)fopen(path, "rb"); }

uint32_t InputFileRead(InputFile *file, void *buffer, uint32_t cap)
{
    return (uint32_t)fread(buffer, 1, cap, (FILE *)file);
}

void InputFileClose(InputFile *file)
{
    if (file)
        fclose((FILE *)file);
}
