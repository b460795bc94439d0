// A parsed PE image checked against the rules the platform's loader
// applies before it maps an image: alignments, SizeOfHeaders and
// SizeOfImage, sections adjacent in memory and inside the file without
// overlapping, the entry point in executable code, every data directory
// inside the image, the import table readable, the optional header's form
// (PE32 or PE32+) the one the machine takes. Each problem names the field
// and its value.
#pragma once

#include "tools/lib/pe_image.h"
#include "tools/lib/problem.h"

namespace tk {

void CheckLoaderRules(const PeImage &img, Problems *problems);

// The bootstrap that a launcher for `launcherMachine` starts must run on
// every Windows that runs the launcher. A warning naming the bootstrap's
// machine when it does not (an x86-64 bootstrap beside an i386 launcher,
// which also runs on 32-bit Windows; an ARM64 one beside an x86-64
// launcher); nothing when it does.
void CheckBootstrapMachine(uint16_t launcherMachine, uint16_t bootstrapMachine, Problems *problems);

}  // namespace tk
