// A parsed PE image checked against the rules the platform's loader
// applies before it maps an image: alignments, SizeOfHeaders and
// SizeOfImage, sections adjacent in memory and inside the file without
// overlapping, the entry point in executable code, every data directory
// inside the image, the import table readable. Each problem names the field
// and its value.
#pragma once

#include "tools/lib/pe_image.h"
#include "tools/lib/problem.h"

namespace tk {

void CheckLoaderRules(const PeImage &img, Problems *problems);

}  // namespace tk
