// What the image checks of tools/lib find: findings without a file name.
// The checks see bytes, not files; the caller, which knows the file, sets
// `file` before the findings join its report.
#pragma once

#include <string>
#include <vector>

#include "tools/lib/report.h"

namespace tk {

using Problems = std::vector<Finding>;

// A finding about `file` (empty where the caller sets it later), with the
// launcher's message id and the language where one applies.
inline void AddProblem(Problems *p, Severity s, const std::string &file, const std::string &text, int id = 0,
                       const std::string &language = std::string())
{
    Finding f;
    f.severity = s;
    f.file = file;
    f.language = language;
    f.id = id;
    f.text = text;
    p->push_back(f);
}
inline void AddProblem(Problems *p, Severity s, const std::string &text) { AddProblem(p, s, std::string(), text); }
inline void AddError(Problems *p, const std::string &text) { AddProblem(p, Severity::Error, text); }
inline void AddWarning(Problems *p, const std::string &text) { AddProblem(p, Severity::Warning, text); }

// Gives the findings from index `from` on that have no code yet the stable
// code `code` of the check that found them, for scripts to match on.
inline void SetCodes(Problems *p, size_t from, const char *code)
{
    for (size_t i = from; i < p->size(); i++)
        if ((*p)[i].code.empty())
            (*p)[i].code = code;
}

inline bool HasError(const Problems &p)
{
    for (const Finding &x : p)
        if (x.severity == Severity::Error)
            return true;
    return false;
}

}  // namespace tk
