// A 24-bit DIB section with a memory DC, for tests that draw and then read
// pixels back exactly.
#pragma once

#include <windows.h>

#include <stdio.h>

#include <string>

struct Canvas {
    HDC dc = NULL;
    HBITMAP bitmap = NULL;
    HGDIOBJ old = NULL;
    unsigned char *bits = nullptr;
    int width = 0;
    int height = 0;
    int stride = 0;
    Canvas(int w, int h, COLORREF fill = RGB(0, 0, 0)) : width(w), height(h), stride((w * 3 + 3) & ~3)
    {
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = w;
        info.bmiHeader.biHeight = -h;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 24;
        void *data = nullptr;
        dc = CreateCompatibleDC(NULL);
        bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &data, NULL, 0);
        bits = (unsigned char *)data;
        old = SelectObject(dc, bitmap);
        Fill(fill);
    }
    ~Canvas()
    {
        SelectObject(dc, old);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
    void Fill(COLORREF color)
    {
        RECT all = {0, 0, width, height};
        HBRUSH brush = CreateSolidBrush(color);
        FillRect(dc, &all, brush);
        DeleteObject(brush);
        GdiFlush();
    }
    COLORREF At(int x, int y) const
    {
        const unsigned char *p = bits + y * stride + x * 3;
        return RGB(p[2], p[1], p[0]);
    }
    // Pixels of one colour in rows [top, bottom).
    int Count(COLORREF color, int top = 0, int bottom = -1) const
    {
        GdiFlush();
        if (bottom < 0)
            bottom = height;
        int n = 0;
        for (int y = top; y < bottom; ++y)
            for (int x = 0; x < width; ++x)
                n += At(x, y) == color;
        return n;
    }
    // Rows [top, bottom) and columns [left, right) of what is not `back`
    // in the first `rows` rows; all -1 when everything is.
    RECT Ink(COLORREF back, int rows = -1) const
    {
        GdiFlush();
        RECT r = {-1, -1, -1, -1};
        for (int y = 0; y < (rows < 0 ? height : rows); ++y)
            for (int x = 0; x < width; ++x) {
                if (At(x, y) == back)
                    continue;
                if (r.top < 0) {
                    r = {x, y, x + 1, y + 1};
                    continue;
                }
                r.left = x < r.left ? x : r.left;
                r.right = x + 1 > r.right ? x + 1 : r.right;
                r.bottom = y + 1;
            }
        return r;
    }
    // The first pixel in which two canvases differ, as text; empty when equal.
    std::string Diff(const Canvas &other) const
    {
        GdiFlush();
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                if (At(x, y) != other.At(x, y)) {
                    char text[96];
                    snprintf(text, sizeof text, "(%d,%d): %06lx, expected %06lx", x, y,
                             (unsigned long)At(x, y), (unsigned long)other.At(x, y));
                    return text;
                }
        return "";
    }
    bool RowHas(int y, COLORREF color) const
    {
        GdiFlush();
        for (int x = 0; x < width; ++x)
            if (At(x, y) == color)
                return true;
        return false;
    }
    // Saves the picture as a 24-bit BMP file.
    bool Save(const std::string &path) const
    {
        GdiFlush();
        BITMAPFILEHEADER file = {};
        BITMAPINFOHEADER info = {};
        info.biSize = sizeof info;
        info.biWidth = width;
        info.biHeight = -height;
        info.biPlanes = 1;
        info.biBitCount = 24;
        file.bfType = 0x4D42;
        file.bfOffBits = sizeof file + sizeof info;
        file.bfSize = file.bfOffBits + stride * height;
        FILE *out = fopen(path.c_str(), "wb");
        if (!out)
            return false;
        bool ok = fwrite(&file, sizeof file, 1, out) == 1 && fwrite(&info, sizeof info, 1, out) == 1 &&
                  fwrite(bits, (size_t)stride * height, 1, out) == 1;
        return fclose(out) == 0 && ok;
    }
};
