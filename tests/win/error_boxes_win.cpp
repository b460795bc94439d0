// Windows side of ErrorBoxes: a thread that answers the launcher's message
// boxes, so tests that make ShowLaunchError show one do not block.
#include <windows.h>

#include <string.h>

#include <string>
#include <vector>

#include "launcher/state.h"
#include "tests/unit/error_boxes.h"

namespace {

const DWORD kBoxGoneTimeoutMs = 10000;
const int kMessageStatic = 0xFFFF;   // the message box's text control

struct Found {
    HWND box;
};

BOOL CALLBACK FindOwnBox(HWND window, LPARAM param)
{
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid != GetCurrentProcessId() || !IsWindowVisible(window))
        return TRUE;
    char name[16] = "";
    GetClassNameA(window, name, sizeof name);
    if (strcmp(name, "#32770") != 0)
        return TRUE;
    ((Found *)param)->box = window;
    return FALSE;
}

}  // namespace

struct ErrorBoxes::Watcher {
    HANDLE thread = nullptr;
    volatile LONG stop = 0;
    CRITICAL_SECTION lock;
    std::vector<std::string> texts;

    static DWORD WINAPI Run(void *param)
    {
        Watcher *self = (Watcher *)param;
        while (!InterlockedCompareExchange(&self->stop, 0, 0)) {
            Found found = {nullptr};
            EnumWindows(FindOwnBox, (LPARAM)&found);
            if (!found.box) {
                Sleep(5);
                continue;
            }
            // The box's thread is inside MessageBoxA's loop, so it answers.
            char text[2048] = "";
            DWORD_PTR copied = 0;
            HWND label = GetDlgItem(found.box, kMessageStatic);
            if (label)
                SendMessageTimeoutA(label, WM_GETTEXT, sizeof text, (LPARAM)text,
                                    SMTO_NORMAL, 5000, &copied);
            EnterCriticalSection(&self->lock);
            self->texts.push_back(text);
            LeaveCriticalSection(&self->lock);
            PostMessageA(found.box, WM_COMMAND, IDOK, 0);
            // Wait until this box is gone so it is not counted twice.
            DWORD start = GetTickCount();
            while (IsWindow(found.box) && IsWindowVisible(found.box) &&
                   GetTickCount() - start < kBoxGoneTimeoutMs)
                Sleep(5);
        }
        return 0;
    }
};

ErrorBoxes::ErrorBoxes() : watcher_(new Watcher)
{
    InitializeCriticalSection(&watcher_->lock);
    watcher_->thread = CreateThread(nullptr, 0, Watcher::Run, watcher_, 0, nullptr);
}

ErrorBoxes::~ErrorBoxes()
{
    InterlockedExchange(&watcher_->stop, 1);
    if (watcher_->thread) {
        WaitForSingleObject(watcher_->thread, INFINITE);
        CloseHandle(watcher_->thread);
    }
    DeleteCriticalSection(&watcher_->lock);
    delete watcher_;
}

int ErrorBoxes::Count() const
{
    EnterCriticalSection(&watcher_->lock);
    int n = (int)watcher_->texts.size();
    LeaveCriticalSection(&watcher_->lock);
    return n;
}

std::string ErrorBoxes::Text(int index) const
{
    EnterCriticalSection(&watcher_->lock);
    std::string text = (index >= 0 && index < (int)watcher_->texts.size())
                           ? watcher_->texts[index] : std::string();
    LeaveCriticalSection(&watcher_->lock);
    return text;
}

std::string ErrorBoxes::Describe() const
{
    std::string text = "boxes shown:";
    for (int i = 0; i < Count(); i++)
        text += " ['" + Text(i) + "']";
    return text;
}

void ErrorBoxes::Expect(const std::vector<ExpectedBox> &expected) const
{
    // MessageBoxA returns only after the watcher pressed OK, so every box of
    // the code under test has been seen by now.
    ASSERT_EQ((int)expected.size(), Count()) << Describe();
    HINSTANCE own = g_launcher.instance ? (HINSTANCE)g_launcher.instance : GetModuleHandleA(nullptr);
    for (size_t i = 0; i < expected.size(); i++) {
        char format[256] = "";
        if (LoadStringA(own, (UINT)expected[i].id, format, sizeof format) <= 0 ||
            !strstr(format, "%s") || expected[i].argument.empty())
            continue;
        // The box holds at least the start of the argument.
        std::string head = expected[i].argument.substr(0, 40);
        EXPECT_NE(std::string::npos, Text((int)i).find(head)) << "box " << i << ": " << Describe();
    }
}
