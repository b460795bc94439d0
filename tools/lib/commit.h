// Putting a set of finished files in place together: all of them or none.
// A medium is several files that only work as a set (setup.exe and its
// script and library); replacing them one by one and stopping half-way
// would leave a medium that looks whole and is not.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace tk {

// How a commit ended.
struct CommitOutcome {
    bool done = false;       // every file is in place
    int signal = 0;          // SIGINT, SIGTERM or SIGHUP came during it (and is still pending)
    std::string file;        // the target that failed ("DIR/NAME"), when one did
    std::string why;         // the system's reason
    bool restored = true;    // false: the old files could not all be put back
    std::string keptIn;      // when not restored: the folder holding the old files (as "old.NAME")
};

// Moves `names` from the folder `stage` into the folder `dir`, replacing the
// files of the same names there, all or none. `stage` must be on the same
// file system as `dir` (a folder inside it) and stays the caller's; nothing
// else in `dir` is touched.
//
// First each old file gets a second name in `stage` ("old.NAME": a hard
// link, or a copy where the file system has none), then the new files are
// renamed over the old ones. When any step fails, or SIGINT, SIGTERM or
// SIGHUP comes meanwhile (they are held back until the end), the renamed
// ones are undone: each old file gets its name back, byte for byte, and a
// new file that replaced nothing is removed.
//
// Returns true when every file is in place (`out->done`). False otherwise,
// with `out` saying why: `file`/`why` for a failed step, `signal` for a
// signal (still pending: it arrives when the caller's own hold ends, or at
// return), `restored` false and `keptIn` set when undoing failed too (the
// caller must then keep `stage`).
bool CommitFiles(const std::string &stage, const std::string &dir, const std::vector<std::string> &names,
                 CommitOutcome *out);

// For tests: called before each step of a commit ("link", "copy", "rename",
// "restore", "remove") with the path it changes; a non-zero errno makes the
// step fail with it. Null (the default) for none.
void SetCommitFaults(std::function<int(const char *step, const std::string &path)> faults);

}  // namespace tk
