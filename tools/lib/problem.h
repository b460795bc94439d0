// What the image checks of tools/lib find: findings without a file name.
// The checks see bytes, not files; the caller, which knows the file, sets
// `file` before the findings join its report.
#pragma once

#include <string>
#include <vector>

#include "tools/lib/report.h"

namespace tk {

using Problems = std::vector<Finding>;

inline void AddProblem(Problems *p, Severity s, const std::string &text)
{
    Finding f;
    f.severity = s;
    f.text = text;
    p->push_back(f);
}
inline void AddError(Problems *p, const std::string &text) { AddProblem(p, Severity::Error, text); }
inline void AddWarning(Problems *p, const std::string &text) { AddProblem(p, Severity::Warning, text); }

inline bool HasError(const Problems &p)
{
    for (const Finding &x : p)
        if (x.severity == Severity::Error)
            return true;
    return false;
}

}  // namespace tk
