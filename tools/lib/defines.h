// Values written once and used wherever a project repeats them: the product
// name, its version, the version shown to users. "${NAME}" stands for the
// value of NAME; "$${" for a literal "${".
#pragma once

#include <stddef.h>

#include <string>
#include <utility>
#include <vector>

namespace tk {

using Defines = std::vector<std::pair<std::string, std::string>>;

// A name: letters, digits, '_' and '-', starting with a letter.
bool IsDefineName(const std::string &name);

// "NAME=VALUE" (the command line's --define) into `*define`; false with
// `error` for a bad name or a value with a line break.
bool ParseDefine(const std::string &text, std::pair<std::string, std::string> *define, std::string *error);

// Replaces every "${NAME}" of `text` by its value. False for an unknown name
// or an unclosed "${", with `*at` the byte offset of its '$' and `error`
// saying what to do: the closest defined name, then `where`, how to define
// one ("define it in [define]").
bool ExpandDefines(const std::string &text, const Defines &defines, const std::string &where, std::string *out,
                   size_t *at, std::string *error);

// The same over a line-based description (quoted texts with backslash
// escapes): inside quotes a value's '"' and '\' are escaped, so that it
// stays the text it was; '#' comments outside quotes are kept as they are,
// so that a comment never fails a build. An error is "FILE:LINE:COLUMN: ..." (the
// column in bytes, from 1).
bool ExpandDefinesInLines(const std::string &file, const std::string &text, const Defines &defines,
                          const std::string &where, std::string *out, std::string *error);

}  // namespace tk
