#include "tools/lib/project.h"

#include <algorithm>

#include <toml++/toml.h>

#include "tools/lib/defines.h"
#include "tools/lib/suggest.h"

namespace tk {

namespace {

const char *const kPayloadKeys[3] = {"bootstrap", "engine", "companion"};

std::string Place(const std::string &path, const toml::source_region &where)
{
    return path + ":" + std::to_string(where.begin.line) + ":" + std::to_string(where.begin.column);
}

// A table's entries in the order the file has them (the table itself is
// sorted by key).
std::vector<std::pair<const toml::key *, const toml::node *>> InFileOrder(const toml::table &table)
{
    std::vector<std::pair<const toml::key *, const toml::node *>> out;
    for (auto &&entry : table)
        out.emplace_back(&entry.first, &entry.second);
    std::stable_sort(out.begin(), out.end(), [](const auto &a, const auto &b) {
        const toml::source_position &pa = a.first->source().begin, &pb = b.first->source().begin;
        return pa.line != pb.line ? pa.line < pb.line : pa.column < pb.column;
    });
    return out;
}

class Reader {
public:
    Reader(const std::string &path, Project *p, std::vector<std::string> *errors)
        : path_(path), p_(p), errors_(errors)
    {
    }

    void Error(const toml::source_region &where, const std::string &what)
    {
        errors_->push_back(Place(path_, where) + ": " + what);
    }

    // Every key of `table` must be in `known`.
    void CheckKeys(const toml::table &table, const std::string &prefix, const std::vector<std::string> &known)
    {
        for (const auto &entry : InFileOrder(table)) {
            const toml::key &key = *entry.first;
            const std::string name(key.str());
            bool found = false;
            for (const std::string &k : known)
                found = found || k == name;
            if (found)
                continue;
            const std::string where = prefix.empty() ? "the project" : "[" + prefix + "]";
            const std::string hint = DidYouMean(name, known);
            Error(key.source(), "unknown key '" + name + "' in " + where +
                                    (hint.empty() ? "; the keys here are " + List(known) : hint));
        }
    }

    static std::string List(const std::vector<std::string> &names)
    {
        std::string out;
        for (const std::string &n : names)
            out += (out.empty() ? "" : ", ") + n;
        return out;
    }

    void Remember(const std::string &name, const toml::source_region &where)
    {
        p_->places.push_back({name, (uint32_t)where.begin.line, (uint32_t)where.begin.column});
    }

    // A string value; false (with an error) for another type or "".
    bool Text(const toml::node &node, const std::string &name, std::string *out)
    {
        Remember(name, node.source());
        const std::string *s = node.is_string() ? &node.as_string()->get() : nullptr;
        if (!s) {
            Error(node.source(), name + " must be a string in quotes");
            return false;
        }
        if (s->empty()) {
            Error(node.source(), name + " is empty; give a value or leave the key out");
            return false;
        }
        *out = *s;
        return true;
    }

    void Path(const toml::table &table, const char *key, const std::string &prefix, std::string *out)
    {
        const toml::node *node = table.get(key);
        if (!node)
            return;
        std::string value;
        if (!Text(*node, prefix.empty() ? key : prefix + "." + key, &value))
            return;
        if (value[0] == '/' || p_->dir == ".")
            *out = value;
        else
            *out = p_->dir + "/" + value;
    }

    void Top(const toml::table &root)
    {
        CheckKeys(root, "", {"script", "out", "stub", "icon", "execution-level", "piece-size", "strict",
                             "payloads", "library", "define", "version-info", "sign"});
        Path(root, "script", "", &p_->script);
        Path(root, "out", "", &p_->outDir);
        Path(root, "stub", "", &p_->stub);
        Path(root, "icon", "", &p_->icon);
        if (const toml::node *n = root.get("execution-level"))
            Text(*n, "execution-level", &p_->level);
        if (const toml::node *n = root.get("piece-size")) {
            Remember("piece-size", n->source());
            const int64_t *v = n->is_integer() ? &n->as_integer()->get() : nullptr;
            if (!v || *v <= 0 || *v > 0x7FFFFFFF)
                Error(n->source(), "piece-size must be a whole number of bytes, without quotes (for example 4194304)");
            else
                p_->pieceSize = (uint32_t)*v;
        }
        if (const toml::node *n = root.get("strict")) {
            Remember("strict", n->source());
            if (!n->is_boolean())
                Error(n->source(), "strict must be true or false, without quotes");
            else
                p_->strict = n->as_boolean()->get();
        }
        if (const toml::table *t = SubTable(root, "payloads")) {
            CheckKeys(*t, "payloads", {"bootstrap", "engine", "companion"});
            for (int i = 0; i < 3; i++)
                Path(*t, kPayloadKeys[i], "payloads", &p_->payload[i]);
        }
        if (const toml::table *t = SubTable(root, "library")) {
            CheckKeys(*t, "library", {"description", "file"});
            Path(*t, "description", "library", &p_->libraryDescription);
            Path(*t, "file", "library", &p_->library);
            if (t->get("description") && t->get("file"))
                Error(t->get("file")->source(),
                      "[library] has both description and file; keep description to build _SETUP.DLL from it, "
                      "or file to take a ready one");
        }
        if (const toml::table *t = SubTable(root, "define")) {
            p_->hasDefines = true;
            for (const auto &entry : InFileOrder(*t)) {
                const std::string key(entry.first->str());
                std::string value;
                if (!IsDefineName(key)) {
                    Error(entry.first->source(), "'" + key + "' is not a name to define: use letters, digits, _ "
                                                             "and -, starting with a letter");
                    continue;
                }
                // Unlike other keys, "" is a value here (an empty suffix).
                Remember("define." + key, entry.second->source());
                if (!entry.second->is_string()) {
                    Error(entry.second->source(), "define." + key + " must be a string in quotes");
                    continue;
                }
                value = entry.second->as_string()->get();
                if (value.find_first_of("\r\n") != std::string::npos)
                    Error(entry.second->source(), "define." + key + " has a line break; a value is one line");
                else
                    p_->defines.emplace_back(key, value);
            }
        }
        if (const toml::table *t = SubTable(root, "version-info")) {
            for (const auto &entry : InFileOrder(*t)) {
                const std::string key(entry.first->str());
                std::string value, expanded, why;
                size_t at = 0;
                if (!Text(*entry.second, "version-info." + key, &value))
                    continue;
                if (!ExpandDefines(value, p_->defines, "define it in [define]", &expanded, &at, &why))
                    Error(entry.second->source(), "version-info." + key + ": " + why);
                else
                    p_->versionInfo.emplace_back(key, expanded);
            }
        }
        if (const toml::table *t = SubTable(root, "sign"))
            Sign(*t);
    }

    const toml::table *SubTable(const toml::table &root, const char *name)
    {
        const toml::node *n = root.get(name);
        if (!n)
            return nullptr;
        if (!n->is_table()) {
            Error(n->source(), std::string(name) + " must be a table: write [" + name + "] on a line of its own, "
                                                    "then its keys");
            return nullptr;
        }
        return n->as_table();
    }

    void Sign(const toml::table &t)
    {
        const toml::node *command = t.get("command");
        if (!command) {
            Error(t.source(), "[sign] needs command, the program that signs {in} into {out}");
            return;
        }
        Remember("sign.command", command->source());
        bool ok = true;
        if (command->is_string()) {
            std::string why;
            if (!SplitCommand(command->as_string()->get(), &p_->signCommand, &why)) {
                Error(command->source(), "sign command: " + why);
                ok = false;
            }
        } else if (const toml::array *a = command->as_array(); a && !a->empty()) {
            for (const toml::node &word : *a) {
                if (!word.is_string()) {
                    Error(word.source(), "every word of the sign command must be a string in quotes");
                    ok = false;
                    break;
                }
                p_->signCommand.push_back(word.as_string()->get());
            }
        } else {
            Error(command->source(), "sign command must be a string or an array of strings");
            ok = false;
        }
        for (const auto &entry : InFileOrder(t)) {
            const toml::key &key = *entry.first;
            const toml::node &node = *entry.second;
            const std::string name(key.str());
            if (name == "command")
                continue;
            if (name == "payloads") {
                // Not a placeholder: whether the programs inside are signed too.
                Remember("sign.payloads", node.source());
                if (const toml::value<bool> *b = node.as_boolean()) {
                    p_->signPayloads = b->get();
                } else {
                    Error(node.source(), "payloads must be true or false (whether the bootstrap, the engine, a "
                                         "program companion and _SETUP.DLL are signed too)");
                    ok = false;
                }
                continue;
            }
            if (name == "in" || name == "out") {
                Error(key.source(), "{" + name + "} is set by the build (the file to sign and the signed file); "
                                    "give your own key another name");
                ok = false;
                continue;
            }
            std::string value;
            if (Text(node, "sign." + name, &value))
                p_->signValues.emplace_back(name, value);
            else
                ok = false;
        }
        // The roots the signed setup.exe must chain to, for the build's gate;
        // still a placeholder like any other key.
        for (const auto &v : p_->signValues)
            if (v.first == "ca")
                p_->signCa = v.second[0] == '/' || p_->dir == "." ? v.second : p_->dir + "/" + v.second;
        if (!ok)
            return;
        // The placeholders must all be known now, not when signing fails
        // after a long build.
        std::vector<std::pair<std::string, std::string>> values = p_->signValues;
        values.emplace_back("in", "\x01");
        values.emplace_back("out", "\x02");
        std::vector<std::string> argv;
        std::string why;
        if (!ExpandCommand(p_->signCommand, values, &argv, &why)) {
            Error(command->source(), "sign command: " + why);
            return;
        }
        bool hasIn = false, hasOut = false;
        for (const std::string &a : argv) {
            hasIn = hasIn || a.find('\x01') != std::string::npos;
            hasOut = hasOut || a.find('\x02') != std::string::npos;
        }
        if (!hasIn || !hasOut)
            Error(command->source(), "sign command must name {in} (setup.exe as built) and {out} (where the signed "
                                     "file goes): setup.exe is replaced only after signing succeeded");
    }

private:
    const std::string &path_;
    Project *p_;
    std::vector<std::string> *errors_;
};

}  // namespace

const Project::KeyPlace *FindPlace(const Project &project, const std::string &key)
{
    for (const Project::KeyPlace &p : project.places) {
        if (p.key == key)
            return &p;
    }
    return nullptr;
}

std::string PlaceOf(const Project &project, const std::string &key)
{
    const Project::KeyPlace *p = FindPlace(project, key);
    return p ? project.file + ":" + std::to_string(p->line) + ":" + std::to_string(p->column) : project.file;
}

bool ParseProject(std::string_view text, const std::string &path, Project *project, std::vector<std::string> *errors)
{
    const size_t before = errors->size();
    *project = Project();
    project->file = path;
    const size_t slash = path.rfind('/');
    project->dir = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    toml::table root;
    try {
        root = toml::parse(text, path);
    } catch (const toml::parse_error &e) {
        errors->push_back(Place(path, e.source()) + ": " + std::string(e.description()) +
                          "; see https://toml.io for the syntax");
        return false;
    }
    Reader reader(path, project, errors);
    reader.Top(root);
    return errors->size() == before;
}

bool SplitCommand(const std::string &text, std::vector<std::string> *words, std::string *error)
{
    words->clear();
    std::string word;
    bool inWord = false;
    size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
            if (inWord)
                words->push_back(word);
            word.clear();
            inWord = false;
            i++;
            continue;
        }
        inWord = true;
        if (c == '\'') {
            const size_t close = text.find('\'', i + 1);
            if (close == std::string::npos) {
                *error = "a quote ' opened at byte " + std::to_string(i + 1) + " is not closed";
                return false;
            }
            word.append(text, i + 1, close - i - 1);
            i = close + 1;
        } else if (c == '"') {
            size_t j = i + 1;
            while (j < text.size() && text[j] != '"') {
                if (text[j] == '\\' && j + 1 < text.size() && (text[j + 1] == '"' || text[j + 1] == '\\'))
                    j++;
                word += text[j];
                j++;
            }
            if (j >= text.size()) {
                *error = "a quote \" opened at byte " + std::to_string(i + 1) + " is not closed";
                return false;
            }
            i = j + 1;
        } else if (c == '\\' && i + 1 < text.size()) {
            word += text[i + 1];
            i += 2;
        } else {
            word += c;
            i++;
        }
    }
    if (inWord)
        words->push_back(word);
    if (words->empty()) {
        *error = "the command is empty";
        return false;
    }
    return true;
}

bool ExpandCommand(const std::vector<std::string> &words,
                   const std::vector<std::pair<std::string, std::string>> &values, std::vector<std::string> *argv,
                   std::string *error)
{
    argv->clear();
    std::vector<std::string> names;
    for (const auto &v : values)
        names.push_back(v.first);
    for (const std::string &w : words) {
        std::string out;
        for (size_t i = 0; i < w.size(); i++) {
            if ((w[i] == '{' || w[i] == '}') && i + 1 < w.size() && w[i + 1] == w[i]) {
                out += w[i++];
                continue;
            }
            if (w[i] == '}') {
                *error = "'}' without '{' in '" + w + "'; write }} for a brace";
                return false;
            }
            if (w[i] != '{') {
                out += w[i];
                continue;
            }
            const size_t close = w.find('}', i + 1);
            if (close == std::string::npos) {
                *error = "'{' without '}' in '" + w + "'; write {{ for a brace";
                return false;
            }
            const std::string name = w.substr(i + 1, close - i - 1);
            const std::string *value = nullptr;
            for (const auto &v : values) {
                if (v.first == name)
                    value = &v.second;
            }
            if (!value) {
                *error = "no value for {" + name + "}" + DidYouMean(name, names) +
                         " (set it as a key of [sign]; {in} and {out} are the build's)";
                return false;
            }
            out += *value;
            i = close;
        }
        argv->push_back(out);
    }
    return true;
}

}  // namespace tk
