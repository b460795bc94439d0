// The exit codes every command shares. A wrong command line exits 64 in each
// (sysexits' EX_USAGE), so scripts and release gates tell it from a result
// whatever the command; 2 stays free for inspect's "errors".
#pragma once

namespace tk {

constexpr int kExitUsage = 64;

}  // namespace tk
