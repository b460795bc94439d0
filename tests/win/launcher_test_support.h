// Helpers for the launcher's Windows tests: a saved and restored launcher
// state, a scratch folder, small file helpers, and checking which message
// boxes were shown.
#pragma once

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/platform.h"
#include "launcher/state.h"
#include "splash/splash_state.h"
#include "tests/unit/error_boxes.h"

// Gives each test a launcher state of its own: the real buffers, the test
// program as the launcher's module, default options. Restores the old state.
class LauncherStateScope {
public:
    LauncherStateScope() : saved_(g_launcher)
    {
        g_launcher = LauncherState();
        g_launcher.instance = GetModuleHandleA(nullptr);
        g_launcher.commandLine = (char *)BlockAlloc(1, kStateTextBuffer);
        g_launcher.workDir = (char *)BlockAlloc(1, kStateTextBuffer);
        g_launcher.scriptPath = (char *)BlockAlloc(1, kStateTextBuffer);
        g_launcher.sourceDir = (char *)BlockAlloc(1, kStateTextBuffer);
        g_splash.closed = 1;
    }
    ~LauncherStateScope()
    {
        BlockFree(1, g_launcher.commandLine);
        BlockFree(1, g_launcher.workDir);
        BlockFree(1, g_launcher.scriptPath);
        BlockFree(1, g_launcher.sourceDir);
        g_launcher = saved_;
    }
    LauncherStateScope(const LauncherStateScope &) = delete;
    LauncherStateScope &operator=(const LauncherStateScope &) = delete;

private:
    LauncherState saved_;
};

// A fresh folder under the system's temporary folder, removed with its
// files at the end. `name` may hold a blank.
class ScratchDir {
public:
    explicit ScratchDir(const char *name = "cvtest")
    {
        char base[MAX_PATH] = "";
        GetTempPathA(sizeof base, base);
        static LONG counter = 0;
        path_ = std::string(base) + name + "-" + std::to_string(GetCurrentProcessId()) + "-" +
                std::to_string(InterlockedIncrement(&counter));
        CreateDirectoryA(path_.c_str(), nullptr);
    }
    ~ScratchDir()
    {
        WIN32_FIND_DATAA found;
        std::string pattern = path_ + "\\*";
        HANDLE h = FindFirstFileA(pattern.c_str(), &found);
        if (h != INVALID_HANDLE_VALUE) {
            do {
                std::string name = found.cFileName;
                if (name != "." && name != "..")
                    DeleteFileA((path_ + "\\" + name).c_str());
            } while (FindNextFileA(h, &found));
            FindClose(h);
        }
        RemoveDirectoryA(path_.c_str());
    }
    ScratchDir(const ScratchDir &) = delete;
    ScratchDir &operator=(const ScratchDir &) = delete;

    const std::string &path() const { return path_; }
    std::string slash() const { return path_ + "\\"; }
    std::string file(const std::string &name) const { return path_ + "\\" + name; }

    // Names of the files in the folder, sorted.
    std::vector<std::string> Files() const
    {
        std::vector<std::string> names;
        WIN32_FIND_DATAA found;
        std::string pattern = path_ + "\\*";
        HANDLE h = FindFirstFileA(pattern.c_str(), &found);
        if (h != INVALID_HANDLE_VALUE) {
            do {
                std::string name = found.cFileName;
                if (name != "." && name != "..")
                    names.push_back(name);
            } while (FindNextFileA(h, &found));
            FindClose(h);
        }
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    std::string path_;
};

inline bool ReadWholeFile(const std::string &path, std::string *out)
{
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    out->clear();
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got > 0)
        out->append(buffer, got);
    CloseHandle(h);
    return true;
}

inline bool WriteWholeFile(const std::string &path, const std::string &data)
{
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    BOOL ok = WriteFile(h, data.data(), (DWORD)data.size(), &written, nullptr);
    CloseHandle(h);
    return ok && written == data.size();
}

inline bool Exists(const std::string &path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The launcher's own text for message `id` (from the test program's copy of
// the launcher's string table).
inline std::string OwnString(int id)
{
    char text[512] = "";
    LoadStringA(GetModuleHandleA(nullptr), (UINT)id, text, sizeof text);
    return text;
}

// The boxes shown, as message ids: each box's text is matched against the
// launcher's texts (those with a %s by their part before it).
inline std::vector<int> ShownIds(const ErrorBoxes &boxes)
{
    std::vector<int> ids;
    for (int i = 0; i < boxes.Count(); i++) {
        std::string text = boxes.Text(i);
        int id = 0;
        for (int candidate = 7061; candidate <= 7068 && !id; candidate++) {
            std::string own = OwnString(candidate);
            size_t placeholder = own.find("%s");
            std::string head = own.substr(0, placeholder);
            if (!own.empty() && (placeholder == std::string::npos ? text == own : text.compare(0, head.size(), head) == 0))
                id = candidate;
        }
        ids.push_back(id);
    }
    return ids;
}
