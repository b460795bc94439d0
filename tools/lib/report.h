// What the tools tell people and scripts: findings ("FILE: error: what is
// wrong; what to do"), a tree of facts printed as indented lines or as JSON,
// and progress on a terminal (percent, rate and the time left).
#pragma once

#include <stdint.h>
#include <stdio.h>

#include <string>
#include <vector>

namespace tk {

enum class Severity { Note, Warning, Error };

// One problem: the file, the line and column in it (0 when a place in a
// text file does not apply), the language and launcher id it concerns (empty
// and 0 when none), a stable code scripts match on (empty when it has none
// yet), and "what is wrong; what to do".
struct Finding {
    Severity severity = Severity::Error;
    std::string file;
    uint32_t line = 0, column = 0;
    std::string code;
    std::string language;
    int id = 0;
    std::string text;
};

// For strict checking: every warning in `findings` becomes an error.
// Returns how many did.
size_t WarningsToErrors(std::vector<Finding> *findings);

// "error", "warning" or "note".
const char *SeverityText(Severity s);
// "FILE[:LINE:COLUMN]: error: language "X", id N: TEXT".
std::string FindingLine(const Finding &f);

// The facts of a report: a value, or a list of named (object) or unnamed
// (array) items. Printed as indented lines, or as JSON.
struct ReportNode {
    std::string key;
    std::string value;
    bool number = false;
    bool isList = false;     // items are unnamed
    bool isObject = false;   // items are named
    bool joined = false;     // a list of numbers shown on one line ("1033, 2057")
    std::vector<ReportNode> items;

    ReportNode &Text(const std::string &k, const std::string &v);
    ReportNode &Number(const std::string &k, uint64_t v);
    ReportNode &Flag(const std::string &k, bool v);
    ReportNode &Object(const std::string &k);   // k empty: an item of a list
    ReportNode &List(const std::string &k);
    // A list of numbers: a JSON array, one line for people.
    ReportNode &Numbers(const std::string &k, const std::vector<uint64_t> &v);
};

// The items of `n` as indented lines, `depth` levels in.
void PrintReportNode(FILE *out, const ReportNode &n, int depth);
// `n` as JSON (no newline).
void PrintReportJson(FILE *out, const ReportNode &n);
// `f` as a JSON object: severity, code, file, line, column (0 when none),
// language, id, text.
std::string FindingJson(const Finding &f);
// `s` as a JSON string, quotes included.
std::string JsonString(const std::string &s);

// Seconds of a monotonic clock, for the time a tool reports.
double MonotonicSeconds();

// Progress of a long job on `terminal` (usually stderr): "TOOL:  42%, 31.0
// MB/s, 3 s left", rewritten in place, and wiped when the object goes. Only
// when `terminal` is a terminal and `total` is at least `threshold`, so
// scripts and logs never see it.
class Progress {
public:
    Progress(const char *tool, uint64_t total, uint64_t threshold, FILE *terminal);
    ~Progress();
    Progress(const Progress &) = delete;
    Progress &operator=(const Progress &) = delete;

    void Update(uint64_t done);
    // Update by `n` more bytes done.
    void Advance(uint64_t n) { Update(done_ += n); }
    // The line shown for `done` bytes after `seconds` (for tests).
    std::string Line(uint64_t done, double seconds) const;

private:
    std::string tool_;
    uint64_t total_;
    FILE *out_;
    double start_;
    bool on_ = false;
    uint64_t done_ = 0;
    int shown_ = -1;
    size_t width_ = 0;
};

}  // namespace tk
