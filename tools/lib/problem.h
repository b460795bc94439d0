// What the checks of tools/lib find: a list of problems, each a warning or an
// error with one line of English ("what is wrong; what to do") that does not
// name the file: the caller knows it and puts it in front.
#pragma once

#include <string>
#include <vector>

namespace toolkit {

enum class Level { Warning, Error };

struct Problem {
    Level level = Level::Error;
    std::string text;
};

using Problems = std::vector<Problem>;

inline void AddError(Problems *p, const std::string &text) { p->push_back({Level::Error, text}); }
inline void AddWarning(Problems *p, const std::string &text) { p->push_back({Level::Warning, text}); }

inline bool HasError(const Problems &p)
{
    for (const Problem &x : p)
        if (x.level == Level::Error)
            return true;
    return false;
}

}  // namespace toolkit
