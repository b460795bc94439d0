// Native stand-in for the error box: records what would be shown and sets
// the abort flag, as the real box does.
#include "launcher/errorbox.h"

#include "base/state.h"
#include "base/text.h"

enum { kMaxRecorded = 16 };
static HostErrorBox g_boxes[kMaxRecorded];
static int g_count;

int ShowLaunchError(int id, const char *argument)
{
    if (g_count < kMaxRecorded) {
        g_boxes[g_count].id = id;
        TextCopy(g_boxes[g_count].argument, sizeof g_boxes[g_count].argument,
                 argument ? argument : "");
    }
    g_count++;
    g_launcher.abortFlag = 1;
    return 1;
}

int HostErrorBoxCount() { return g_count; }

const HostErrorBox *HostErrorBoxAt(int index)
{
    return (index >= 0 && index < g_count && index < kMaxRecorded) ? &g_boxes[index] : nullptr;
}

void HostErrorBoxReset() { g_count = 0; }
