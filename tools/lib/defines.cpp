#include "tools/lib/defines.h"

#include "tools/lib/suggest.h"

namespace tk {

bool IsDefineName(const std::string &name)
{
    if (name.empty() || !((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z')))
        return false;
    for (const char c : name) {
        const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
                        c == '-';
        if (!ok)
            return false;
    }
    return true;
}

bool ParseDefine(const std::string &text, std::pair<std::string, std::string> *define, std::string *error)
{
    const size_t eq = text.find('=');
    const std::string name = text.substr(0, eq);
    if (eq == std::string::npos || !IsDefineName(name)) {
        *error = "'" + text + "' is not NAME=VALUE with a NAME of letters, digits, _ and -, starting with a letter";
        return false;
    }
    const std::string value = text.substr(eq + 1);
    if (value.find_first_of("\r\n") != std::string::npos) {
        *error = "the value of " + name + " has a line break; a value is one line";
        return false;
    }
    *define = {name, value};
    return true;
}

namespace {

// ExpandDefines, where `escapes` says a backslash and the character after it
// are one escape of a quoted text, left as they are: "\${" is the escape
// "\$" (which the description refuses) and "{", never a ${NAME}.
bool Expand(const std::string &text, const Defines &defines, const std::string &where, bool escapes,
            std::string *out, size_t *at, std::string *error)
{
    out->clear();
    for (size_t i = 0; i < text.size(); i++) {
        if (escapes && text[i] == '\\' && i + 1 < text.size()) {
            *out += text.substr(i, 2);
            i++;
            continue;
        }
        if (text.compare(i, 3, "$${") == 0) {
            *out += "${";
            i += 2;
            continue;
        }
        if (text.compare(i, 2, "${") != 0) {
            *out += text[i];
            continue;
        }
        const size_t close = text.find('}', i + 2);
        if (close == std::string::npos) {
            *at = i;
            *error = "'${' without '}'; write ${NAME}, or $${ for the characters ${";
            return false;
        }
        const std::string name = text.substr(i + 2, close - i - 2);
        const std::string *value = nullptr;
        std::vector<std::string> names;
        for (const auto &d : defines) {
            names.push_back(d.first);
            if (d.first == name)
                value = &d.second;
        }
        if (!value) {
            *at = i;
            *error = "${" + name + "} is not defined" + DidYouMean(name, names) + "; " + where +
                     ", or write $${ for the characters ${";
            return false;
        }
        *out += *value;
        i = close;
    }
    return true;
}

}  // namespace

bool ExpandDefines(const std::string &text, const Defines &defines, const std::string &where, std::string *out,
                   size_t *at, std::string *error)
{
    return Expand(text, defines, where, false, out, at, error);
}

bool ExpandDefinesInLines(const std::string &file, const std::string &text, const Defines &defines,
                          const std::string &where, std::string *out, std::string *error)
{
    out->clear();
    size_t start = 0;
    for (size_t number = 1; start <= text.size(); number++) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = text.substr(start, end - start);
        // Pieces between quotes are expanded on their own: inside quotes a
        // value's '"' and '\\' are escaped, so that a value never ends the
        // text it stands in. A '#' outside quotes starts the comment, which
        // is kept as it is.
        size_t at = 0, piece = 0;
        bool quoted = false;
        for (;;) {
            size_t stop = piece;
            while (stop < line.size() && line[stop] != '"' && (quoted || line[stop] != '#'))
                stop += quoted && line[stop] == '\\' ? 2 : 1;
            stop = stop < line.size() ? stop : line.size();
            std::string expanded;
            Defines values = defines;
            if (quoted) {
                for (auto &v : values) {
                    std::string escaped;
                    for (const char c : v.second)
                        escaped += c == '"' || c == '\\' ? std::string("\\") + c : std::string(1, c);
                    v.second = escaped;
                }
            }
            if (!Expand(line.substr(piece, stop - piece), values, where, quoted, &expanded, &at, error)) {
                *error = file + ":" + std::to_string(number) + ":" + std::to_string(piece + at + 1) + ": " + *error;
                return false;
            }
            *out += expanded;
            if (stop >= line.size() || line[stop] == '#') {
                *out += line.substr(stop);
                break;
            }
            *out += '"';
            quoted = !quoted;
            piece = stop + 1;
        }
        if (end < text.size())
            *out += '\n';
        start = end + 1;
    }
    return true;
}

}  // namespace tk
