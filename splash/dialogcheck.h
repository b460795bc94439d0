// A dialog template checked before the system builds a window from it.
// Portable.
//
// The system walks a template (DLGTEMPLATE or DLGTEMPLATEEX: a header, the
// menu, class and title, the font, then the items, each on a 4-byte
// boundary with its class, title and creation data) without knowing where
// the resource ends: an item count or a text without its terminator that
// runs past the end makes it read past the resource.
#pragma once

#include <stdint.h>

// 1 when the template of `size` bytes at `dialog` (4-byte aligned, as a
// resource is) can be walked to its last item within `size`.
int DialogTemplateCheck(const unsigned char *dialog, uint32_t size);
