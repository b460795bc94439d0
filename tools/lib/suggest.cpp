#include "tools/lib/suggest.h"

#include <ctype.h>

#include <algorithm>

namespace tk {

namespace {

// Names longer than this are not typed by hand; comparing them costs
// quadratic time for nothing.
constexpr size_t kMaxCompared = 64;

bool SameLetter(char a, char b)
{
    return tolower((unsigned char)a) == tolower((unsigned char)b);
}

}  // namespace

size_t EditDistance(const std::string &a, const std::string &b)
{
    // Optimal string alignment: three rows of the table are enough.
    std::vector<size_t> before(b.size() + 1), prev(b.size() + 1), row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); j++)
        prev[j] = j;
    for (size_t i = 1; i <= a.size(); i++) {
        row[0] = i;
        for (size_t j = 1; j <= b.size(); j++) {
            const size_t cost = SameLetter(a[i - 1], b[j - 1]) ? 0 : 1;
            size_t best = std::min({prev[j] + 1, row[j - 1] + 1, prev[j - 1] + cost});
            if (i > 1 && j > 1 && SameLetter(a[i - 1], b[j - 2]) && SameLetter(a[i - 2], b[j - 1]))
                best = std::min(best, before[j - 2] + 1);
            row[j] = best;
        }
        before.swap(prev);
        prev.swap(row);
    }
    return prev[b.size()];
}

std::string ClosestName(const std::string &word, const std::vector<std::string> &known)
{
    if (word.empty() || word.size() > kMaxCompared)
        return "";
    const size_t allowed = std::max<size_t>(2, word.size() / 3);
    std::string best;
    size_t bestDistance = allowed + 1;
    for (const std::string &name : known) {
        if (name.size() > kMaxCompared)
            continue;
        const size_t d = EditDistance(word, name);
        if (d < bestDistance) {
            best = name;
            bestDistance = d;
        }
    }
    return best;
}

std::string DidYouMean(const std::string &word, const std::vector<std::string> &known)
{
    const std::string name = ClosestName(word, known);
    return name.empty() ? std::string() : ", did you mean '" + name + "'?";
}

}  // namespace tk
