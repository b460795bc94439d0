// The end-to-end rig: starts a Windows program under a chosen environment,
// answers every message box it shows (recording caption and text, then
// pressing OK, so that nothing can hang), and measures when it ends. Used by
// the e2e driver and by the medium runner of the main job.
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace rig {

// The ink of a picture: one byte per pixel, 1 where a pixel is dark (text),
// 0 where it is light (background), row by row from the top.
struct Ink {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> dark;
};

struct Box {
    std::string caption;
    std::string text;
    DWORD tick = 0;  // when the rig first saw it, GetTickCount
    Ink textInk;     // the text control as the screen showed it (captureBoxText)
};

struct Run;

struct RunOptions {
    std::string program;     // Windows path of the executable
    std::string arguments;   // text after the quoted program name; "" for none
    std::string currentDir;  // "" keeps the rig's own
    std::map<std::string, std::string> setEnv;  // added or replaced (names case-insensitive)
    // Added or replaced as UTF-16, for values the ANSI code page cannot hold.
    std::map<std::string, std::wstring> setEnvWide;
    std::vector<std::string> unsetEnv;          // removed
    std::vector<std::string> injectDlls;  // loaded into the process before its first instruction
    DWORD timeoutMs = 60000;              // hard bound (times TimeScale()); the program is then terminated
    bool captureBoxText = false;          // keep each box's text as drawn (Box::textInk)
    // Polled about every 10 ms while the program runs; returning true ends the
    // wait (the program is terminated if it still runs).
    std::function<bool(const Run &)> stopWhen;
};

struct Run {
    bool started = false;
    std::string error;   // why it did not start
    DWORD pid = 0;
    DWORD startTick = 0;  // just before the program was resumed
    bool exited = false;
    DWORD exitTick = 0;
    DWORD exitCode = 0;
    bool timedOut = false;    // terminated at the hard bound
    bool stoppedEarly = false;  // terminated because stopWhen said so
    std::vector<Box> boxes;
    bool splashSeen = false;  // a dialog of the program that is not a message box
    RECT splashRect = {0, 0, 0, 0};  // where it was last seen
};

// Runs the program and watches it until it ends, stopWhen is true, or the
// bound passes.
Run RunAndWatch(const RunOptions &options);

// Pictures of text, to check what the screen shows against what it should.
// CaptureInk: the screen's ink inside `window`'s client area (a window in
// front of it is captured too: cases that compare pictures run alone).
Ink CaptureInk(HWND window);
// This process shows a message box of its own with `caption` and `text` (in
// the ANSI code page), waits until its text is drawn, keeps the text
// control's ink and font, and closes it: the picture Windows itself draws
// for that text, to compare another program's box with. False when no box
// could be shown or drawn within `boundMs`.
bool OwnBoxText(const std::string &caption, const std::string &text, DWORD boundMs, Ink *ink, LOGFONTA *font);
// True when `text`'s double-byte characters each have their own glyph in
// `font`: with no font for a script, every character of it is drawn as the
// same empty box, and a picture check would compare boxes with boxes.
bool FontDrawsEachCharacter(const LOGFONTA &font, const std::string &text, std::string *why);
// One line of `text` (ANSI code page) drawn by this process with TextOutA in
// `font`, black on white, cut to its ink; and whether `needle`'s pixels
// stand, dark for dark and light for light, somewhere in `haystack`.
Ink DrawLineInk(const LOGFONTA &font, const std::string &text);
bool InkContains(const Ink &haystack, const Ink &needle);

// Paths: a Unix path ("/x/y") becomes its Wine drive Z: form; a Windows path
// is returned with forward slashes turned into backslashes.
std::string WinPath(const std::string &path);
std::string JoinPath(const std::string &dir, const std::string &name);
std::string WithBackslash(const std::string &dir);
std::string EnvOr(const char *name, const std::string &fallback);

// Every bound the rig waits for is multiplied by CORVANE_TIME_SCALE (1 to
// 100; 1 when unset or not a number), which the test scripts raise where
// Windows programs run under emulation. Scaled(ms) is ms times that, at most
// a day.
DWORD TimeScale();
DWORD Scaled(DWORD ms);

// Files.
bool ReadBytes(const std::string &path, std::string &out);
bool WriteBytes(const std::string &path, const std::string &data);
bool CopyFileTo(const std::string &from, const std::string &to);
bool Exists(const std::string &path);
bool MakeDirs(const std::string &dir);
bool RemoveTree(const std::string &dir);
std::vector<std::string> ListNames(const std::string &dir);  // sorted, without . and ..

// The bootstrap's report: key=value lines; complete once "end" is present.
std::map<std::string, std::string> ParseReport(const std::string &text);
bool ReadReport(const std::string &path, std::map<std::string, std::string> &report);

// String resources of a module file (loaded as data); "" when absent.
std::string LoadModuleString(const std::string &modulePath, UINT id);
// Replaces strings in an executable's string table (every language that holds
// the block). Returns false on failure.
bool PatchStrings(const std::string &exePath, const std::map<UINT, std::string> &strings);

// The bytes of resource (type, id) of a module file (loaded as data), in any
// language. False when absent.
bool ReadResource(const std::string &modulePath, UINT type, UINT id, std::string &out);
// Replaces resource (type, id) of an executable with `data` in every language
// that holds it (the neutral language when none does); with `remove`, deletes
// it instead.
bool ReplaceResource(const std::string &exePath, UINT type, UINT id, const std::string &data,
                     bool remove = false);

// Names of the libraries an executable imports, normal and delay-loaded,
// as written in the file.
bool ReadImports(const std::string &path, std::vector<std::string> &normal,
                 std::vector<std::string> &delayed, std::string &error);

// QuoteIfSpaces as the launcher applies it.
std::string QuoteIfSpaces(const std::string &text);

// Waits for a process by id to end, terminating it after the bound.
void WaitOrEnd(DWORD pid, DWORD boundMs);

}  // namespace rig
