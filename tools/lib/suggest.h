// "Did you mean": the known name closest to a misspelled one, for errors
// about unknown keys, statements and options.
#pragma once

#include <string>
#include <vector>

namespace tk {

// Edits (insert, delete, replace, swap two neighbours) from `a` to `b`,
// letters compared without case. Both are bounded by the caller: the cost is
// a.size() * b.size().
size_t EditDistance(const std::string &a, const std::string &b);

// The name in `known` closest to `word`, or "" when none is close enough to
// be a likely misspelling (more than a third of the word's letters, and more
// than two, would have to change). Ties go to the earlier name.
std::string ClosestName(const std::string &word, const std::vector<std::string> &known);

// ", did you mean 'NAME'?" for ClosestName's answer, or "" when there is none.
std::string DidYouMean(const std::string &word, const std::vector<std::string> &known);

}  // namespace tk
