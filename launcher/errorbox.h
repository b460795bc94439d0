// The one error box of the launcher.
#pragma once

// Shows the message `id` (IDS_*) formatted with `argument` where the message
// takes one (7061, 7067), sets the abort flag, and returns 1 once the user
// closed the box. The native build records the call instead of showing a box.
int ShowLaunchError(int id, const char *argument);

#ifdef CORVANE_HOST
// Native build only: what ShowLaunchError was asked to show.
struct HostErrorBox {
    int id;
    char argument[1024];
};
int HostErrorBoxCount();
const HostErrorBox *HostErrorBoxAt(int index);
void HostErrorBoxReset();
#endif
