// e2e_box_demo.exe: checks the rig itself. Shows two message boxes one after
// the other, then, with the argument "dialog", an empty modeless dialog for a
// moment (what a splash looks like to the rig), and exits with code 7.
#include <windows.h>

#include <string.h>

namespace {

INT_PTR CALLBACK EmptyDialogProc(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_INITDIALOG ? TRUE : FALSE;
}

void ShowEmptyDialog(HINSTANCE instance) {
    // An in-memory template: popup, visible, no controls.
    alignas(4) WORD buffer[32] = {};
    auto *tmpl = reinterpret_cast<DLGTEMPLATE *>(buffer);
    tmpl->style = WS_POPUP | WS_VISIBLE | WS_BORDER;
    tmpl->cx = 80;
    tmpl->cy = 40;
    HWND dialog = CreateDialogIndirectParamA(instance, tmpl, nullptr, EmptyDialogProc, 0);
    const DWORD start = GetTickCount();
    MSG msg;
    while (GetTickCount() - start < 800) {
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
        Sleep(10);
    }
    if (dialog != nullptr)
        DestroyWindow(dialog);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
    MessageBoxA(nullptr, "First box: the rig reads this text.", "Rig demo", MB_OK | MB_ICONERROR);
    MessageBoxA(nullptr, "Second box", "Rig demo 2", MB_OK);
    if (strstr(commandLine, "dialog") != nullptr)
        ShowEmptyDialog(instance);
    return 7;
}
