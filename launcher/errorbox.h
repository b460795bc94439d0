// The one error box of the launcher. Only WinMain's exit and the main
// window's creation show it; every other step returns the message id.
#pragma once

#include <stddef.h>

// Shows message `id` (IDS_*), formatted with the first `length` bytes of
// `argument` (all of it when it ends before, or for kWholeArgument) when there is one (7061 and 7067
// come with one, other messages with none and are shown as they are), and returns once the user closed the box. Caption and text come
// from the resource library when its caption 7110 has text, else both from
// the launcher's own table.
void ShowLaunchError(int id, const char *argument, size_t length);
