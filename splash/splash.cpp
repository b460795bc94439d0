// Choosing and creating the splash.
#include "splash/splash.h"

#include "base/ids.h"
#include "base/platform.h"
#include "base/text.h"
#include "base/files.h"
#include "resmodule/langtable.h"
#include "resmodule/resbytes.h"
#include "resmodule/reslibrary.h"
#include "resmodule/resmodule.h"
#include "splash/splash_state.h"
#include "splash/bitmapcheck.h"
#include "splash/dialogcheck.h"
#include "splash/splashchoice.h"
#include "splash/splashdlg.h"

static const char kCloseMessageName[] = "SETUP_MSG_LOGOCLOSE_SE";
static const char kLogoTempName[] = "_ins1163.tmp";

int SplashChoose(int *typeOut, HMODULE *moduleOut, int *idOut)
{
    if (!ResModuleIsOpen() || !SplashChooseFromTable(ResModuleLanguageTable(), typeOut, idOut))
        return 0;
    if (*typeOut != SPLASH_TYPE_NONE)
        *moduleOut = ResModulePrimary();
    return 1;
}

// 1 when bitmap `id` of `module` lies inside the library and its header
// promises no more than it holds.
static int BitmapResourceWhole(HMODULE module, int id)
{
    uint32_t size = 0;
    const unsigned char *dib = ResourceBytes(module, RT_BITMAP, MAKEINTRESOURCEA(id), &size);
    int32_t width = 0;
    int32_t height = 0;
    return dib && BitmapCheck(dib, size, &width, &height);
}

static void DeleteLogoFile()
{
    if (g_splash.logoPath && g_splash.logoPath[0] != '\0')
        DeleteFileA(g_splash.logoPath);
}

static HWND CreateSplashDialog(HMODULE module, int templateId, int mode)
{
    // The system trusts the template's counts and texts: walk it first.
    uint32_t size = 0;
    const unsigned char *dialog = ResourceBytes(module, RT_DIALOG, MAKEINTRESOURCEA(templateId), &size);
    if (!dialog || !DialogTemplateCheck(dialog, size))
        return NULL;
    return CreateDialogParamA(module, MAKEINTRESOURCEA(templateId), NULL, SplashDlgProc, (LPARAM)mode);
}

// The path blocks live until the process ends; allocated once.
static int EnsurePathBlocks()
{
    if (!g_splash.sourceDir)
        g_splash.sourceDir = (char *)BlockAlloc(1, kSplashDirBuffer);
    if (!g_splash.logoPath)
        g_splash.logoPath = (char *)BlockAlloc(1, kPathBuffer);
    return g_splash.sourceDir && g_splash.logoPath;
}

// A dialog whose set-up failed is never used again: destroy it now, which
// also gives back its brush.
static HWND KeepIfCreated(HWND dialog)
{
    if (g_splash.created)
        return dialog;
    if (dialog)
        DestroyWindow(dialog);
    return NULL;
}

HWND SplashCreateTyped(int type, HMODULE module, int id)
{
    HMODULE own = (HMODULE)g_splash.instance;
    HMODULE templateModule = own;
    int templateId = IDD_SPLASH_FRAME;
    int mode = 0;

    // An integer resource name has 16 bits; 0 names nothing.
    if (id < 1 || id > 0xFFFF)
        return NULL;

    switch (type) {
    case SPLASH_TYPE_DIALOG:
        templateModule = module;
        templateId = id;
        mode = SPLASH_MODE_DIALOG;
        break;
    case SPLASH_TYPE_BITMAP:
        if (!BitmapResourceWhole(module, id))
            return NULL;
        g_splash.resourceBitmap = LoadBitmapA(module, MAKEINTRESOURCEA(id));
        if (!g_splash.resourceBitmap)
            return NULL;
        mode = SPLASH_MODE_BITMAP;
        break;
    case SPLASH_TYPE_LOGO: {
        char primary[kPathBuffer];
        char secondary[kPathBuffer];
        ResModuleGetPaths(primary, sizeof primary, secondary, sizeof secondary);
        if (!EnsurePathBlocks() ||
            !ResourceToFile(primary, 1, RT_LANG_TABLE, id, g_splash.logoPath, kPathBuffer))
            return NULL;
        mode = SPLASH_MODE_LOGO;
        break;
    }
    default:
        return NULL;
    }

    g_splash.created = 0;
    HWND dialog = CreateSplashDialog(templateModule, templateId, mode);
    if (type == SPLASH_TYPE_BITMAP && !dialog) {
        // The dialog never took the bitmap over.
        DeleteObject((HBITMAP)g_splash.resourceBitmap);
        g_splash.resourceBitmap = NULL;
    }
    // The logo script was read whole during WM_INITDIALOG.
    if (type == SPLASH_TYPE_LOGO)
        DeleteLogoFile();
    dialog = KeepIfCreated(dialog);
    if (dialog)
        UpdateWindow(dialog);
    return dialog;
}

HWND SplashCreate(HINSTANCE instance, const char *sourceDirectory)
{
    g_splash.instance = instance;
    g_splash.closeMessage = RegisterWindowMessageA(kCloseMessageName);
    if (!g_splash.closeMessage)
        return NULL;
    g_splash.linePool = 0;
    g_splash.created = 0;

    if (!EnsurePathBlocks())
        return NULL;   // no memory: go on without a splash
    g_splash.logoPath[0] = '\0';
    TextCopy(g_splash.sourceDir, kSplashDirBuffer, sourceDirectory ? sourceDirectory : "");

    int type = 0;
    HMODULE module = NULL;
    int id = 0;
    if (SplashChoose(&type, &module, &id))
        return SplashCreateTyped(type, module, id);

    HWND dialog = CreateSplashDialog(ResRedirectModule(RES_KIND_DIALOG, IDD_SPLASH_DEFAULT),
                                     ResRedirectId(RES_KIND_DIALOG, IDD_SPLASH_DEFAULT),
                                     SPLASH_MODE_DIALOG);
    dialog = KeepIfCreated(dialog);
    if (dialog)
        UpdateWindow(dialog);
    return dialog;
}

int ResourceToFile(const char *libraryPath, int makeTempName, int type, int name, char *filePath, size_t cap)
{
    if (!libraryPath || !FileExists(libraryPath))
        return 0;
    HMODULE library = LoadResourceLibrary(libraryPath);
    if (!library)
        return 0;

    int result = 0;
    HANDLE file = INVALID_HANDLE_VALUE;
    uint32_t size = 0;
    const unsigned char *data = ResourceBytes(library, MAKEINTRESOURCEA(type), MAKEINTRESOURCEA(name), &size);
    if (!data)
        goto done;

    if (makeTempName) {
        wchar_t wide[kPathBuffer];
        char windows[kPathBuffer];
        if (!AnsiPathFromWide(wide, GetWindowsDirectoryW(wide, kPathBuffer), windows, sizeof windows) ||
            !PathJoin(filePath, cap, windows, kLogoTempName)) {
            filePath[0] = '\0';
            ResLastError = LANG_ERR_WRITE_SPLASH;
            goto done;
        }
    }

    file = FileCreateNew(filePath);
    if (file == INVALID_HANDLE_VALUE) {
        ResLastError = LANG_ERR_WRITE_SPLASH;
        goto done;
    }
    {
        // A short write (a full disk) would leave a cut script behind.
        int written = FileWriteAll(file, data, size);
        int closed = CloseHandle(file);
        if (!written || !closed) {
            DeleteFileA(filePath);
            ResLastError = LANG_ERR_WRITE_SPLASH;
            goto done;
        }
    }
    result = 1;

done:
    FreeLibrary(library);
    return result;
}
