// Reports of the tools: findings, fact trees (as text and JSON), progress.
#include "tools/lib/report.h"

#include <time.h>
#include <unistd.h>

namespace tk {

ReportNode &ReportNode::Text(const std::string &k, const std::string &v)
{
    isObject = true;
    items.push_back(ReportNode());
    items.back().key = k;
    items.back().value = v;
    return items.back();
}

ReportNode &ReportNode::Number(const std::string &k, uint64_t v)
{
    ReportNode &n = Text(k, std::to_string(v));
    n.number = true;
    return n;
}

ReportNode &ReportNode::Flag(const std::string &k, bool v)
{
    ReportNode &n = Text(k, v ? "true" : "false");
    n.number = true;
    return n;
}

ReportNode &ReportNode::Numbers(const std::string &k, const std::vector<uint64_t> &v)
{
    ReportNode &n = List(k);
    n.joined = true;
    for (uint64_t x : v)
        n.Number("", x);
    return n;
}

ReportNode &ReportNode::Object(const std::string &k)
{
    if (k.empty())
        isList = true;
    else
        isObject = true;
    items.push_back(ReportNode());
    items.back().key = k;
    items.back().isObject = true;
    return items.back();
}

ReportNode &ReportNode::List(const std::string &k)
{
    isObject = true;
    items.push_back(ReportNode());
    items.back().key = k;
    items.back().isList = true;
    return items.back();
}

size_t WarningsToErrors(std::vector<Finding> *findings)
{
    size_t n = 0;
    for (Finding &f : *findings) {
        if (f.severity == Severity::Warning) {
            f.severity = Severity::Error;
            n++;
        }
    }
    return n;
}

const char *SeverityText(Severity s)
{
    return s == Severity::Error ? "error" : s == Severity::Warning ? "warning" : "note";
}

std::string FindingLine(const Finding &f)
{
    std::string line = f.file;
    if (f.line)
        line += ":" + std::to_string(f.line) + ":" + std::to_string(f.column);
    line += std::string(": ") + SeverityText(f.severity) + ": ";
    if (!f.language.empty())
        line += "language \"" + f.language + "\"" + (f.id ? ", " : ": ");
    if (f.id)
        line += "id " + std::to_string(f.id) + ": ";
    return line + f.text;
}

namespace {

// A value on one line of the text report: a line break in a message shows
// as "\n", other control characters as "\xNN".
std::string OneLine(const std::string &value)
{
    std::string out;
    for (unsigned char c : value) {
        if (c == '\n') {
            out += "\\n";
        } else if (c < 0x20 || c == 0x7F) {
            char hex[8];
            snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else {
            out += (char)c;
        }
    }
    return out;
}

}  // namespace

void PrintReportNode(FILE *out, const ReportNode &n, int depth)
{
    for (const ReportNode &c : n.items) {
        const std::string label = c.key.empty() ? "-" : c.key;
        bool flat = c.key.empty() && c.isObject;
        for (const ReportNode &g : c.items)
            flat = flat && !g.isObject && !g.isList;
        if (c.joined) {
            std::string line;
            for (const ReportNode &g : c.items)
                line += (line.empty() ? "" : ", ") + g.value;
            fprintf(out, "%*s%s: %s\n", depth * 2, "", label.c_str(), line.c_str());
        } else if (flat) {
            std::string line;
            for (const ReportNode &g : c.items)
                line += (line.empty() ? "" : ", ") + g.key + " " + OneLine(g.value);
            fprintf(out, "%*s- %s\n", depth * 2, "", line.c_str());
        } else if (c.isObject || c.isList) {
            fprintf(out, "%*s%s%s\n", depth * 2, "", label.c_str(), c.key.empty() ? "" : ":");
            PrintReportNode(out, c, depth + 1);
        } else {
            // A list's item: "- value"; an object's: "key: value".
            fprintf(out, "%*s%s%s %s\n", depth * 2, "", label.c_str(), c.key.empty() ? "" : ":",
                    OneLine(c.value).c_str());
        }
    }
}

std::string JsonString(const std::string &s)
{
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += (char)c;
        } else if (c < 0x20) {
            char buf[8];
            snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out += (char)c;
        }
    }
    return out + "\"";
}

void PrintReportJson(FILE *out, const ReportNode &n)
{
    if (!n.isObject && !n.isList) {
        fputs(n.number ? n.value.c_str() : JsonString(n.value).c_str(), out);
        return;
    }
    const bool list = n.isList;
    fputc(list ? '[' : '{', out);
    for (size_t i = 0; i < n.items.size(); i++) {
        if (i)
            fputc(',', out);
        if (!list)
            fprintf(out, "%s:", JsonString(n.items[i].key).c_str());
        PrintReportJson(out, n.items[i]);
    }
    fputc(list ? ']' : '}', out);
}

std::string FindingJson(const Finding &f)
{
    return std::string("{\"severity\":\"") + SeverityText(f.severity) + "\",\"code\":" + JsonString(f.code) +
           ",\"file\":" + JsonString(f.file) + ",\"line\":" + std::to_string(f.line) +
           ",\"column\":" + std::to_string(f.column) + ",\"language\":" + JsonString(f.language) +
           ",\"id\":" + std::to_string(f.id) + ",\"text\":" + JsonString(f.text) + "}";
}

double MonotonicSeconds()
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

Progress::Progress(const char *tool, uint64_t total, uint64_t threshold, FILE *terminal)
    : tool_(tool), total_(total), out_(terminal), start_(MonotonicSeconds())
{
    on_ = total > 0 && total >= threshold && terminal && isatty(fileno(terminal));
}

std::string Progress::Line(uint64_t done, double seconds) const
{
    const int percent = total_ ? int(done * 100 / total_) : 100;
    char buf[128];
    int n = snprintf(buf, sizeof buf, "%s: %3d%%", tool_.c_str(), percent);
    // A rate and the time left once there is something to measure.
    if (seconds >= 0.5 && done > 0 && n > 0 && (size_t)n < sizeof buf) {
        const double rate = double(done) / seconds;
        const double left = done < total_ ? double(total_ - done) / rate : 0.0;
        snprintf(buf + n, sizeof buf - (size_t)n, ", %.1f MB/s, %.0f s left", rate / 1e6, left);
    }
    return buf;
}

void Progress::Update(uint64_t done)
{
    if (!on_)
        return;
    const int percent = total_ ? int(done * 100 / total_) : 100;
    if (percent == shown_)
        return;
    shown_ = percent;
    const std::string line = Line(done, MonotonicSeconds() - start_);
    fprintf(out_, "\r%-*s", (int)width_, line.c_str());
    if (line.size() > width_)
        width_ = line.size();
    fflush(out_);
}

Progress::~Progress()
{
    if (on_ && shown_ >= 0)
        fprintf(out_, "\r%*s\r", (int)width_, "");
}

}  // namespace tk
