#include "tests/e2e/rig.h"

#include <algorithm>
#include <set>
#include <stdlib.h>
#include <string.h>

namespace rig {
namespace {

std::wstring Widen(const std::string &text) {
    if (text.empty())
        return std::wstring();
    const int n = MultiByteToWideChar(CP_ACP, 0, text.data(), int(text.size()), nullptr, 0);
    std::wstring out(size_t(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), int(text.size()), &out[0], n);
    return out;
}

bool SameWideNameNoCase(const std::wstring &a, const std::wstring &b) {
    return a.size() == b.size() && _wcsnicmp(a.c_str(), b.c_str(), a.size()) == 0;
}

// The rig's own environment with the options' changes, as a UTF-16 block
// (CREATE_UNICODE_ENVIRONMENT), so that a value may name a folder the ANSI
// code page cannot hold.
std::wstring BuildEnvironment(const RunOptions &options) {
    std::vector<std::wstring> entries;
    wchar_t *block = GetEnvironmentStringsW();
    for (const wchar_t *p = block; p != nullptr && *p != L'\0'; p += wcslen(p) + 1)
        entries.push_back(p);
    if (block != nullptr)
        FreeEnvironmentStringsW(block);

    auto nameOf = [](const std::wstring &entry) {
        // "=C:=C:\x" style entries keep their leading '='.
        const size_t eq = entry.find(L'=', 1);
        return entry.substr(0, eq);
    };
    auto drop = [&](const std::wstring &name) {
        entries.erase(std::remove_if(entries.begin(), entries.end(),
                                     [&](const std::wstring &e) { return SameWideNameNoCase(nameOf(e), name); }),
                      entries.end());
    };
    for (const std::string &name : options.unsetEnv)
        drop(Widen(name));
    for (const auto &kv : options.setEnv) {
        drop(Widen(kv.first));
        entries.push_back(Widen(kv.first) + L"=" + Widen(kv.second));
    }
    for (const auto &kv : options.setEnvWide) {
        drop(Widen(kv.first));
        entries.push_back(Widen(kv.first) + L"=" + kv.second);
    }
    std::wstring out;
    for (const std::wstring &e : entries) {
        out += e;
        out += L'\0';
    }
    out += L'\0';
    return out;
}

bool InjectDll(HANDLE process, const std::string &dll, std::string &error) {
    void *remote = VirtualAllocEx(process, nullptr, dll.size() + 1, MEM_COMMIT | MEM_RESERVE,
                                  PAGE_READWRITE);
    if (remote == nullptr) {
        error = "VirtualAllocEx failed";
        return false;
    }
    SIZE_T written = 0;
    bool ok = WriteProcessMemory(process, remote, dll.c_str(), dll.size() + 1, &written) &&
              written == dll.size() + 1;
    if (ok) {
        auto loadLibrary = reinterpret_cast<LPTHREAD_START_ROUTINE>(
            reinterpret_cast<void *>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "LoadLibraryA")));
        HANDLE thread = CreateRemoteThread(process, nullptr, 0, loadLibrary, remote, 0, nullptr);
        DWORD module = 0;
        ok = thread != nullptr && WaitForSingleObject(thread, Scaled(15000)) == WAIT_OBJECT_0 &&
             GetExitCodeThread(thread, &module) && module != 0;
        if (thread != nullptr)
            CloseHandle(thread);
        if (!ok)
            error = "could not load " + dll + " into the process";
    } else {
        error = "WriteProcessMemory failed";
    }
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    return ok;
}

std::string WindowText(HWND window) {
    char text[2048] = "";
    if (GetWindowTextA(window, text, sizeof text) > 0)
        return text;
    DWORD_PTR result = 0;
    if (SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text),
                            SMTO_ABORTIFHUNG, 1000, &result))
        return text;
    return "";
}

// A message box is recorded when first seen and answered a little later:
// closing a box the moment Wine has mapped it can make Wine's X11 driver fail
// on the next window the program shows (BadWindow on unmapping).
const DWORD kAnswerAfterMs = 150;
const DWORD kAnswerAgainMs = 1000;

struct BoxState {
    DWORD seen = 0;
    DWORD answered = 0;  // tick of the last OK sent, 0 for none
};

struct Watch {
    DWORD pid;
    Run *run;
    std::map<HWND, BoxState> boxes;
    bool captureBoxText;
};

BOOL CALLBACK WatchWindow(HWND window, LPARAM context) {
    Watch &watch = *reinterpret_cast<Watch *>(context);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid != watch.pid)
        return TRUE;
    char cls[64] = "";
    GetClassNameA(window, cls, sizeof cls);
    if (strcmp(cls, "#32770") != 0)
        return TRUE;
    // Judge a dialog once it is shown: a message box has its controls and
    // texts by then.
    if (!IsWindowVisible(window))
        return TRUE;
    HWND textControl = GetDlgItem(window, 0xFFFF);
    if (textControl == nullptr) {
        watch.run->splashSeen = true;
        GetWindowRect(window, &watch.run->splashRect);
        return TRUE;
    }
    // A message box: read it, press OK a moment later, and again if it is
    // still there a second after that.
    const DWORD now = GetTickCount();
    auto found = watch.boxes.find(window);
    if (found == watch.boxes.end()) {
        Box box;
        box.caption = WindowText(window);
        box.text = WindowText(textControl);
        box.tick = now;
        watch.run->boxes.push_back(box);
        watch.boxes[window].seen = now;
        return TRUE;
    }
    BoxState &state = found->second;
    if (watch.captureBoxText && state.answered == 0 && now - state.seen >= kAnswerAfterMs) {
        // Drawn by now (the box was mapped a while ago); taken before OK.
        for (Box &b : watch.run->boxes) {
            if (b.tick == state.seen && b.textInk.dark.empty())
                b.textInk = CaptureInk(textControl);
        }
    }
    if ((state.answered == 0 && now - state.seen >= kAnswerAfterMs) ||
        (state.answered != 0 && now - state.answered >= kAnswerAgainMs)) {
        state.answered = now;
        PostMessageA(window, WM_COMMAND, IDOK, 0);
    }
    return TRUE;
}

}  // namespace

Run RunAndWatch(const RunOptions &options) {
    Run run;
    std::wstring env = BuildEnvironment(options);
    std::string cmd = "\"" + options.program + "\"";
    if (!options.arguments.empty())
        cmd += " " + options.arguments;
    std::vector<char> cmdBuffer(cmd.begin(), cmd.end());
    cmdBuffer.push_back('\0');

    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(options.program.c_str(), cmdBuffer.data(), nullptr, nullptr, FALSE,
                        CREATE_SUSPENDED | CREATE_UNICODE_ENVIRONMENT, &env[0],
                        options.currentDir.empty() ? nullptr : options.currentDir.c_str(), &si, &pi)) {
        run.error = "CreateProcessA failed, error " + std::to_string(GetLastError());
        return run;
    }
    run.pid = pi.dwProcessId;
    for (const std::string &dll : options.injectDlls) {
        if (!InjectDll(pi.hProcess, dll, run.error)) {
            TerminateProcess(pi.hProcess, 1);
            WaitForSingleObject(pi.hProcess, 5000);
            CloseHandle(pi.hThread);
            CloseHandle(pi.hProcess);
            return run;
        }
    }
    run.started = true;
    run.startTick = GetTickCount();
    ResumeThread(pi.hThread);
    CloseHandle(pi.hThread);

    const DWORD bound = Scaled(options.timeoutMs);
    Watch watch{pi.dwProcessId, &run, {}, options.captureBoxText};
    for (;;) {
        EnumWindows(WatchWindow, reinterpret_cast<LPARAM>(&watch));
        if (WaitForSingleObject(pi.hProcess, 10) == WAIT_OBJECT_0) {
            run.exitTick = GetTickCount();
            run.exited = true;
            GetExitCodeProcess(pi.hProcess, &run.exitCode);
            break;
        }
        if (options.stopWhen && options.stopWhen(run)) {
            run.stoppedEarly = true;
            break;
        }
        if (GetTickCount() - run.startTick > bound) {
            run.timedOut = true;
            break;
        }
    }
    if (!run.exited) {
        TerminateProcess(pi.hProcess, 0xE2E);
        WaitForSingleObject(pi.hProcess, 5000);
    }
    CloseHandle(pi.hProcess);
    return run;
}

std::string WinPath(const std::string &path) {
    std::string out = path;
    std::replace(out.begin(), out.end(), '/', '\\');
    if (!path.empty() && path[0] == '/')
        out = "Z:" + out;
    return out;
}

std::string WithBackslash(const std::string &dir) {
    if (dir.empty() || dir.back() == '\\')
        return dir;
    return dir + "\\";
}

std::string JoinPath(const std::string &dir, const std::string &name) {
    return WithBackslash(dir) + name;
}

DWORD TimeScale() {
    const std::string text = EnvOr("CORVANE_TIME_SCALE", "1");
    char *end = nullptr;
    const unsigned long scale = strtoul(text.c_str(), &end, 10);
    if (end == text.c_str() || *end != '\0' || scale < 1)
        return 1;
    return scale > 100 ? 100 : DWORD(scale);
}

DWORD Scaled(DWORD ms) {
    const unsigned long long scaled = (unsigned long long)ms * TimeScale();
    return scaled > 86400000ull ? 86400000u : DWORD(scaled);
}

std::string EnvOr(const char *name, const std::string &fallback) {
    char value[4096];
    const DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
    if (n == 0 || n >= sizeof value)
        return fallback;
    return value;
}

bool ReadBytes(const std::string &path, std::string &out) {
    out.clear();
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    char chunk[65536];
    DWORD got = 0;
    bool ok = true;
    while ((ok = ReadFile(file, chunk, sizeof chunk, &got, nullptr) != 0) && got > 0)
        out.append(chunk, got);
    CloseHandle(file);
    return ok;
}

bool WriteBytes(const std::string &path, const std::string &data) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const bool ok = WriteFile(file, data.data(), DWORD(data.size()), &written, nullptr) &&
                    written == data.size();
    CloseHandle(file);
    return ok;
}

bool CopyFileTo(const std::string &from, const std::string &to) {
    return CopyFileA(from.c_str(), to.c_str(), FALSE) != 0;
}

bool Exists(const std::string &path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool MakeDirs(const std::string &dir) {
    if (dir.empty() || Exists(dir))
        return true;
    const size_t cut = dir.find_last_of('\\', dir.size() - 2);
    if (cut != std::string::npos && cut > 2 && !MakeDirs(dir.substr(0, cut)))
        return false;
    return CreateDirectoryA(dir.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

std::vector<std::string> ListNames(const std::string &dir) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA fd;
    HANDLE find = FindFirstFileA(JoinPath(dir, "*").c_str(), &fd);
    if (find == INVALID_HANDLE_VALUE)
        return names;
    do {
        if (strcmp(fd.cFileName, ".") != 0 && strcmp(fd.cFileName, "..") != 0)
            names.push_back(fd.cFileName);
    } while (FindNextFileA(find, &fd));
    FindClose(find);
    std::sort(names.begin(), names.end());
    return names;
}

namespace {

// Through the wide calls, so that names the ANSI code page lacks go too.
bool RemoveTreeWide(const std::wstring &dir) {
    bool ok = true;
    WIN32_FIND_DATAW fd;
    HANDLE find = FindFirstFileW((dir + L"\\*").c_str(), &fd);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = fd.cFileName;
            if (name == L"." || name == L"..")
                continue;
            const std::wstring path = dir + L"\\" + name;
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                ok = RemoveTreeWide(path) && ok;
            } else {
                SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                ok = DeleteFileW(path.c_str()) && ok;
            }
        } while (FindNextFileW(find, &fd));
        FindClose(find);
    }
    return RemoveDirectoryW(dir.c_str()) && ok;
}

}  // namespace

bool RemoveTree(const std::string &dir) {
    if (!Exists(dir))
        return true;
    std::string trimmed = dir;
    while (trimmed.size() > 3 && trimmed.back() == '\\')
        trimmed.pop_back();
    return RemoveTreeWide(Widen(trimmed));
}

std::map<std::string, std::string> ParseReport(const std::string &text) {
    std::map<std::string, std::string> out;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos)
            break;  // an unfinished last line is not taken
        std::string line = text.substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const size_t eq = line.find('=');
        if (eq != std::string::npos)
            out[line.substr(0, eq)] = line.substr(eq + 1);
        pos = end + 1;
    }
    return out;
}

bool ReadReport(const std::string &path, std::map<std::string, std::string> &report) {
    std::string text;
    if (!ReadBytes(path, text))
        return false;
    report = ParseReport(text);
    return report.count("end") != 0;
}

namespace {

BOOL CALLBACK FirstLanguage(HMODULE, LPCSTR, LPCSTR, WORD language, LONG_PTR param) {
    reinterpret_cast<std::vector<WORD> *>(param)->push_back(language);
    return TRUE;
}

}  // namespace

bool ReadResource(const std::string &modulePath, UINT type, UINT id, std::string &out) {
    HMODULE module = LoadLibraryExA(modulePath.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (module == nullptr)
        return false;
    bool found = false;
    HRSRC res = FindResourceA(module, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(type));
    if (res != nullptr) {
        const char *data = static_cast<const char *>(LockResource(LoadResource(module, res)));
        if (data != nullptr) {
            out.assign(data, SizeofResource(module, res));
            found = true;
        }
    }
    FreeLibrary(module);
    return found;
}

bool ReplaceResource(const std::string &exePath, UINT type, UINT id, const std::string &data, bool remove) {
    std::vector<WORD> langs;
    HMODULE module = LoadLibraryExA(exePath.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (module != nullptr) {
        EnumResourceLanguagesA(module, MAKEINTRESOURCEA(type), MAKEINTRESOURCEA(id), FirstLanguage,
                               reinterpret_cast<LONG_PTR>(&langs));
        FreeLibrary(module);
    }
    if (langs.empty())
        langs.push_back(MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL));
    HANDLE update = BeginUpdateResourceA(exePath.c_str(), FALSE);
    if (update == nullptr)
        return false;
    bool ok = true;
    for (WORD lang : langs) {
        std::string copy = data;
        ok = UpdateResourceA(update, MAKEINTRESOURCEA(type), MAKEINTRESOURCEA(id), lang,
                             remove ? nullptr : (copy.empty() ? nullptr : &copy[0]),
                             remove ? 0 : DWORD(copy.size())) && ok;
    }
    return EndUpdateResourceA(update, ok ? FALSE : TRUE) && ok;
}

std::string LoadModuleString(const std::string &modulePath, UINT id) {
    HMODULE module = LoadLibraryExA(modulePath.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (module == nullptr)
        return "";
    char text[4096] = "";
    const int n = LoadStringA(module, id, text, sizeof text);
    FreeLibrary(module);
    return n > 0 ? std::string(text, size_t(n)) : std::string();
}

namespace {

struct StringBlock {
    WORD language = 0;
    std::vector<std::wstring> entries = std::vector<std::wstring>(16);
};

BOOL CALLBACK CollectLanguage(HMODULE, LPCSTR, LPCSTR, WORD language, LONG_PTR context) {
    reinterpret_cast<std::vector<WORD> *>(context)->push_back(language);
    return TRUE;
}

std::vector<std::wstring> DecodeBlock(const BYTE *data, DWORD size) {
    std::vector<std::wstring> entries(16);
    DWORD pos = 0;
    for (int i = 0; i < 16 && pos + 2 <= size; ++i) {
        WORD len;
        memcpy(&len, data + pos, 2);
        pos += 2;
        if (pos + DWORD(len) * 2 > size)
            break;
        entries[i].resize(len);
        if (len > 0)
            memcpy(&entries[i][0], data + pos, size_t(len) * 2);
        pos += DWORD(len) * 2;
    }
    return entries;
}

std::string EncodeBlock(const std::vector<std::wstring> &entries) {
    std::string out;
    for (const std::wstring &e : entries) {
        const WORD len = WORD(e.size());
        out.append(reinterpret_cast<const char *>(&len), 2);
        out.append(reinterpret_cast<const char *>(e.data()), e.size() * 2);
    }
    return out;
}

}  // namespace

bool PatchStrings(const std::string &exePath, const std::map<UINT, std::string> &strings) {
    HMODULE module = LoadLibraryExA(exePath.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (module == nullptr)
        return false;
    // Language of the module's string table, for blocks it does not have yet.
    WORD defaultLanguage = MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL);
    {
        std::vector<WORD> langs;
        EnumResourceLanguagesA(module, RT_STRING, MAKEINTRESOURCEA(7061 / 16 + 1), CollectLanguage,
                               reinterpret_cast<LONG_PTR>(&langs));
        if (!langs.empty())
            defaultLanguage = langs.front();
    }
    std::vector<std::pair<WORD, StringBlock>> blocks;  // (block id, block)
    std::set<WORD> blockIds;
    for (const auto &kv : strings)
        blockIds.insert(WORD(kv.first / 16 + 1));
    for (WORD blockId : blockIds) {
        std::vector<WORD> langs;
        EnumResourceLanguagesA(module, RT_STRING, MAKEINTRESOURCEA(blockId), CollectLanguage,
                               reinterpret_cast<LONG_PTR>(&langs));
        if (langs.empty())
            langs.push_back(defaultLanguage);
        for (WORD lang : langs) {
            StringBlock block;
            block.language = lang;
            HRSRC res = FindResourceExA(module, RT_STRING, MAKEINTRESOURCEA(blockId), lang);
            if (res != nullptr) {
                const BYTE *data = static_cast<const BYTE *>(LockResource(LoadResource(module, res)));
                if (data != nullptr)
                    block.entries = DecodeBlock(data, SizeofResource(module, res));
            }
            for (const auto &kv : strings)
                if (kv.first / 16 + 1 == blockId)
                    block.entries[kv.first % 16] = Widen(kv.second);
            blocks.push_back({blockId, block});
        }
    }
    FreeLibrary(module);

    HANDLE update = BeginUpdateResourceA(exePath.c_str(), FALSE);
    if (update == nullptr)
        return false;
    bool ok = true;
    for (const auto &b : blocks) {
        std::string data = EncodeBlock(b.second.entries);
        ok = UpdateResourceA(update, RT_STRING, MAKEINTRESOURCEA(b.first), b.second.language, &data[0],
                             DWORD(data.size())) && ok;
    }
    return EndUpdateResourceA(update, ok ? FALSE : TRUE) && ok;
}

namespace {

// Bounds-checked reads over a PE file held in memory.
struct PeFile {
    const std::string &bytes;
    std::vector<IMAGE_SECTION_HEADER> sections;

    bool Read(size_t offset, void *out, size_t size) const {
        if (offset > bytes.size() || size > bytes.size() - offset)
            return false;
        memcpy(out, bytes.data() + offset, size);
        return true;
    }
    bool RvaToOffset(DWORD rva, size_t &offset) const {
        for (const IMAGE_SECTION_HEADER &s : sections) {
            const DWORD span = std::max(s.Misc.VirtualSize, s.SizeOfRawData);
            if (rva >= s.VirtualAddress && rva - s.VirtualAddress < span) {
                offset = size_t(s.PointerToRawData) + (rva - s.VirtualAddress);
                return true;
            }
        }
        return false;
    }
    bool CString(DWORD rva, std::string &out) const {
        size_t offset;
        if (!RvaToOffset(rva, offset))
            return false;
        out.clear();
        for (size_t i = offset; i < bytes.size() && i - offset < 256; ++i) {
            if (bytes[i] == '\0')
                return true;
            out += bytes[i];
        }
        return false;
    }
};

}  // namespace

bool ReadImports(const std::string &path, std::vector<std::string> &normal,
                 std::vector<std::string> &delayed, std::string &error) {
    normal.clear();
    delayed.clear();
    std::string bytes;
    if (!ReadBytes(path, bytes)) {
        error = "cannot read " + path;
        return false;
    }
    PeFile pe{bytes, {}};
    IMAGE_DOS_HEADER dos;
    IMAGE_NT_HEADERS32 nt;
    IMAGE_NT_HEADERS64 nt64;
    if (!pe.Read(0, &dos, sizeof dos) || dos.e_magic != IMAGE_DOS_SIGNATURE ||
        !pe.Read(size_t(dos.e_lfanew), &nt, sizeof nt) || nt.Signature != IMAGE_NT_SIGNATURE) {
        error = "not a PE file";
        return false;
    }
    // PE32 and PE32+ share the file header; the data directories stand at
    // different places in their optional headers.
    const IMAGE_DATA_DIRECTORY *directories = nt.OptionalHeader.DataDirectory;
    if (nt.OptionalHeader.Magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC) {
        if (!pe.Read(size_t(dos.e_lfanew), &nt64, sizeof nt64)) {
            error = "truncated PE32+ headers";
            return false;
        }
        directories = nt64.OptionalHeader.DataDirectory;
    } else if (nt.OptionalHeader.Magic != IMAGE_NT_OPTIONAL_HDR32_MAGIC) {
        error = "neither PE32 nor PE32+";
        return false;
    }
    const size_t sectionTable = size_t(dos.e_lfanew) + offsetof(IMAGE_NT_HEADERS32, OptionalHeader) +
                                nt.FileHeader.SizeOfOptionalHeader;
    for (WORD i = 0; i < nt.FileHeader.NumberOfSections; ++i) {
        IMAGE_SECTION_HEADER s;
        if (!pe.Read(sectionTable + i * sizeof s, &s, sizeof s)) {
            error = "truncated section table";
            return false;
        }
        pe.sections.push_back(s);
    }
    const IMAGE_DATA_DIRECTORY importDir = directories[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (importDir.VirtualAddress != 0) {
        size_t offset;
        if (!pe.RvaToOffset(importDir.VirtualAddress, offset)) {
            error = "import directory outside the sections";
            return false;
        }
        for (int i = 0; i < 64; ++i) {
            IMAGE_IMPORT_DESCRIPTOR d;
            if (!pe.Read(offset + i * sizeof d, &d, sizeof d)) {
                error = "truncated import directory";
                return false;
            }
            if (d.Name == 0)
                break;
            std::string name;
            if (!pe.CString(d.Name, name)) {
                error = "bad import name";
                return false;
            }
            normal.push_back(name);
        }
    }
    const IMAGE_DATA_DIRECTORY delayDir = directories[IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT];
    if (delayDir.VirtualAddress != 0) {
        size_t offset;
        if (!pe.RvaToOffset(delayDir.VirtualAddress, offset)) {
            error = "delay import directory outside the sections";
            return false;
        }
        for (int i = 0; i < 64; ++i) {
            DWORD d[8];  // attributes, name RVA, ...
            if (!pe.Read(offset + i * sizeof d, d, sizeof d)) {
                error = "truncated delay import directory";
                return false;
            }
            if (d[1] == 0)
                break;
            std::string name;
            if (!pe.CString(d[1], name)) {
                error = "bad delay import name";
                return false;
            }
            delayed.push_back(name);
        }
    }
    return true;
}

std::string QuoteIfSpaces(const std::string &text) {
    if (!text.empty() && text[0] == '"')
        return text;
    if (text.find(' ') == std::string::npos)
        return text;
    return "\"" + text + "\"";
}

void WaitOrEnd(DWORD pid, DWORD boundMs) {
    if (pid == 0)
        return;
    HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, pid);
    if (process == nullptr)
        return;
    if (WaitForSingleObject(process, Scaled(boundMs)) != WAIT_OBJECT_0) {
        TerminateProcess(process, 0xE2E);
        WaitForSingleObject(process, 5000);
    }
    CloseHandle(process);
}

namespace {

// A 32-bit top-down DIB section selected into a memory DC.
struct Canvas {
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ old = nullptr;
    const uint32_t *pixels = nullptr;
    int width = 0, height = 0;

    Canvas(int w, int h) : width(w), height(h) {
        BITMAPINFO bi = {};
        bi.bmiHeader.biSize = sizeof bi.bmiHeader;
        bi.bmiHeader.biWidth = w;
        bi.bmiHeader.biHeight = -h;
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        bi.bmiHeader.biCompression = BI_RGB;
        void *bits = nullptr;
        dc = CreateCompatibleDC(nullptr);
        bitmap = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
        pixels = static_cast<const uint32_t *>(bits);
        if (bitmap != nullptr)
            old = SelectObject(dc, bitmap);
    }
    ~Canvas() {
        if (old != nullptr)
            SelectObject(dc, old);
        if (bitmap != nullptr)
            DeleteObject(bitmap);
        if (dc != nullptr)
            DeleteDC(dc);
    }
    Ink ToInk() const {
        Ink ink;
        if (pixels == nullptr)
            return ink;
        GdiFlush();
        ink.width = width;
        ink.height = height;
        ink.dark.resize(size_t(width) * size_t(height));
        for (size_t i = 0; i < ink.dark.size(); i++) {
            const uint32_t p = pixels[i];
            const unsigned luma = (((p >> 16) & 0xFF) * 30 + ((p >> 8) & 0xFF) * 59 + (p & 0xFF) * 11) / 100;
            ink.dark[i] = luma < 128 ? 1 : 0;
        }
        return ink;
    }
};

}  // namespace

Ink CaptureInk(HWND window) {
    RECT client = {};
    GetClientRect(window, &client);
    POINT origin = {0, 0};
    ClientToScreen(window, &origin);
    Canvas canvas(client.right, client.bottom);
    HDC screen = GetDC(nullptr);
    BitBlt(canvas.dc, 0, 0, client.right, client.bottom, screen, origin.x, origin.y, SRCCOPY);
    ReleaseDC(nullptr, screen);
    return canvas.ToInk();
}

namespace {

// `text` drawn alone in black on white: every pixel, so that faint strokes
// (anti-aliased punctuation) count too.
std::vector<uint32_t> DrawPixels(const LOGFONTA &logFont, const std::string &text, int width, int height) {
    Canvas canvas(width, height);
    RECT r = {0, 0, width, height};
    FillRect(canvas.dc, &r, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    HFONT font = CreateFontIndirectA(&logFont);
    HGDIOBJ oldFont = font != nullptr ? SelectObject(canvas.dc, font) : nullptr;
    SetTextColor(canvas.dc, RGB(0, 0, 0));
    SetBkMode(canvas.dc, TRANSPARENT);
    // Wide, as the box's control draws: Wine's DrawTextA converts through the
    // font's character set (1252 for ANSI_CHARSET), not the ANSI code page.
    std::wstring wide(text.size() + 1, L'\0');
    const int n = MultiByteToWideChar(CP_ACP, 0, text.c_str(), int(text.size()), &wide[0], int(wide.size()));
    DrawTextW(canvas.dc, wide.c_str(), n, &r, DT_LEFT | DT_NOPREFIX | DT_SINGLELINE);
    if (oldFont != nullptr)
        SelectObject(canvas.dc, oldFont);
    if (font != nullptr)
        DeleteObject(font);
    GdiFlush();
    std::vector<uint32_t> pixels;
    if (canvas.pixels != nullptr)
        pixels.assign(canvas.pixels, canvas.pixels + size_t(width) * size_t(height));
    return pixels;
}

std::string Hex(const std::string &bytes) {
    std::string out;
    char b[4];
    for (unsigned char c : bytes) {
        snprintf(b, sizeof b, "%02X", c);
        out += b;
    }
    return out;
}

struct OwnBox {
    std::string caption, text;
    DWORD threadId = 0;
};

DWORD WINAPI ShowOwnBox(LPVOID context) {
    const OwnBox &box = *static_cast<const OwnBox *>(context);
    MessageBoxA(nullptr, box.text.c_str(), box.caption.c_str(), MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
    return 0;
}

BOOL CALLBACK FindThreadBox(HWND window, LPARAM context) {
    char cls[16] = "";
    GetClassNameA(window, cls, sizeof cls);
    if (strcmp(cls, "#32770") == 0 && IsWindowVisible(window)) {
        *reinterpret_cast<HWND *>(context) = window;
        return FALSE;
    }
    return TRUE;
}

size_t InkCount(const Ink &ink) {
    size_t n = 0;
    for (unsigned char d : ink.dark)
        n += d;
    return n;
}

}  // namespace

bool OwnBoxText(const std::string &caption, const std::string &text, DWORD boundMs, Ink *ink, LOGFONTA *font) {
    OwnBox box{caption, text, 0};
    HANDLE thread = CreateThread(nullptr, 0, ShowOwnBox, &box, 0, &box.threadId);
    if (thread == nullptr)
        return false;
    const DWORD start = GetTickCount();
    HWND window = nullptr, control = nullptr;
    bool drawn = false;
    Ink last;
    // Drawn when the text control shows ink and two looks agree.
    while (!drawn && GetTickCount() - start < boundMs) {
        Sleep(50);
        if (window == nullptr) {
            EnumThreadWindows(box.threadId, FindThreadBox, reinterpret_cast<LPARAM>(&window));
            control = window != nullptr ? GetDlgItem(window, 0xFFFF) : nullptr;
            continue;
        }
        if (control == nullptr)
            break;
        const Ink now = CaptureInk(control);
        drawn = InkCount(now) > 0 && now.dark == last.dark;
        last = now;
    }
    if (drawn) {
        *ink = last;
        HFONT used = reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0));
        drawn = used != nullptr && GetObjectA(used, sizeof *font, font) == sizeof *font;
    }
    if (window != nullptr)
        PostMessageA(window, WM_COMMAND, IDOK, 0);
    if (WaitForSingleObject(thread, 5000) != WAIT_OBJECT_0)
        TerminateThread(thread, 1);
    CloseHandle(thread);
    return drawn;
}

bool FontDrawsEachCharacter(const LOGFONTA &font, const std::string &text, std::string *why) {
    // Each double-byte character alone, compared with every other one.
    std::vector<std::string> seen;
    std::vector<std::vector<uint32_t>> pictures;
    const std::vector<uint32_t> blank = DrawPixels(font, " ", 64, 64);
    for (const char *p = text.c_str(); *p != 0;) {
        const char *next = CharNextA(p);
        const std::string ch(p, next);
        p = next;
        if (ch.size() < 2 || std::find(seen.begin(), seen.end(), ch) != seen.end())
            continue;
        const std::vector<uint32_t> picture = DrawPixels(font, ch, 64, 64);
        if (picture == blank) {
            *why = "character " + Hex(ch) + " draws nothing in " + font.lfFaceName;
            return false;
        }
        for (size_t i = 0; i < pictures.size(); i++) {
            if (pictures[i] == picture) {
                *why = "characters " + Hex(seen[i]) + " and " + Hex(ch) + " look the same in " + font.lfFaceName +
                       ": no font for them (install fonts-noto-cjk, fonts-ipafont-gothic or fonts-wqy-microhei)";
                return false;
            }
        }
        seen.push_back(ch);
        pictures.push_back(picture);
    }
    return true;
}

Ink DrawLineInk(const LOGFONTA &logFont, const std::string &text) {
    HFONT font = CreateFontIndirectA(&logFont);
    HDC probe = CreateCompatibleDC(nullptr);
    HGDIOBJ probeOld = font != nullptr ? SelectObject(probe, font) : nullptr;
    SIZE size = {0, 0};
    GetTextExtentPoint32A(probe, text.c_str(), int(text.size()), &size);
    if (probeOld != nullptr)
        SelectObject(probe, probeOld);
    DeleteDC(probe);
    Ink ink;
    if (size.cx > 0 && size.cy > 0) {
        Canvas canvas(size.cx, size.cy);
        RECT r = {0, 0, size.cx, size.cy};
        FillRect(canvas.dc, &r, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        HGDIOBJ old = font != nullptr ? SelectObject(canvas.dc, font) : nullptr;
        SetTextColor(canvas.dc, RGB(0, 0, 0));
        SetBkMode(canvas.dc, TRANSPARENT);
        TextOutA(canvas.dc, 0, 0, text.c_str(), int(text.size()));
        if (old != nullptr)
            SelectObject(canvas.dc, old);
        ink = canvas.ToInk();
    }
    if (font != nullptr)
        DeleteObject(font);
    // Cut to the ink's bounding box.
    int left = ink.width, right = -1, top = ink.height, bottom = -1;
    for (int y = 0; y < ink.height; y++)
        for (int x = 0; x < ink.width; x++)
            if (ink.dark[size_t(y) * size_t(ink.width) + size_t(x)]) {
                left = std::min(left, x), right = std::max(right, x);
                top = std::min(top, y), bottom = std::max(bottom, y);
            }
    Ink cut;
    if (right < 0)
        return cut;
    cut.width = right - left + 1;
    cut.height = bottom - top + 1;
    for (int y = top; y <= bottom; y++)
        for (int x = left; x <= right; x++)
            cut.dark.push_back(ink.dark[size_t(y) * size_t(ink.width) + size_t(x)]);
    return cut;
}

bool InkContains(const Ink &haystack, const Ink &needle) {
    if (needle.width == 0 || needle.width > haystack.width || needle.height > haystack.height)
        return false;
    for (int oy = 0; oy + needle.height <= haystack.height; oy++) {
        for (int ox = 0; ox + needle.width <= haystack.width; ox++) {
            bool same = true;
            for (int y = 0; same && y < needle.height; y++) {
                const unsigned char *h = &haystack.dark[size_t(oy + y) * size_t(haystack.width) + size_t(ox)];
                const unsigned char *n = &needle.dark[size_t(y) * size_t(needle.width)];
                same = memcmp(h, n, size_t(needle.width)) == 0;
            }
            if (same)
                return true;
        }
    }
    return false;
}

}  // namespace rig
