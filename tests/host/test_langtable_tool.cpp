// The langtable tool: descriptions round-trip through the resource bytes,
// malformed descriptions are reported by line, and the command line never
// leaves a half-written output.
#include <gtest/gtest.h>

#include <dirent.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "base/platform.h"
#include "resmodule/langtable.h"
#include "tools/langtable/ltcli.h"
#include "tools/lib/ltdesc.h"

namespace {

std::string ReadAll(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

void WriteAll(const std::string &path, const std::string &data)
{
    std::ofstream f(path, std::ios::binary);
    f << data;
}

std::string Examples() { return std::string(CORVANE_SOURCE_DIR) + "/tools/langtable/examples/"; }

// compile -> dump -> compile through the model: the same bytes.
std::string RoundTrip(const std::vector<uint8_t> &bytes)
{
    lt::Table table;
    std::string error;
    if (!lt::Decode(bytes.data(), bytes.size(), &table, &error))
        return "decode: " + error;
    std::string text = lt::FormatDescription(table);
    lt::Table again;
    std::vector<std::string> errors, warnings;
    if (!lt::ParseDescription(text, &again, &errors, &warnings))
        return "parse: " + errors[0] + "\n" + text;
    if (lt::Encode(again) != bytes)
        return "bytes differ\n" + text;
    return "same";
}

TEST(LangTableTool, ExamplesRoundTrip)
{
    struct Case {
        const char *file;
        int codePage;
    };
    const Case cases[] = {{"sample.txt", 1252}, {"quirks.txt", 1252}, {"empty.txt", 1252},
                          {"thirty.txt", 1252}, {"cp932.txt", 932}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.file);
        HostSetCodePage(c.codePage);
        lt::Table table;
        std::vector<std::string> errors, warnings;
        ASSERT_TRUE(lt::ParseDescription(ReadAll(Examples() + c.file), &table, &errors, &warnings))
            << (errors.empty() ? "" : errors[0]);
        std::vector<uint8_t> bytes = lt::Encode(table);
        EXPECT_EQ(RoundTrip(bytes), "same");
        HostSetCodePage(1252);
    }
}

// Tables of arbitrary bytes that the launcher accepts: the description keeps
// every byte, the ignored ones included.
TEST(LangTableTool, ArbitraryAcceptedTablesRoundTrip)
{
    uint32_t seed = 12345;
    auto next = [&]() {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) & 0xFFFF;
    };
    // Bytes that stress the description syntax.
    const char alphabet[] = {'a', 'Z', '0', '9', ';', ',', '@', ' ', '\t', '"', '<', '>', '#',
                             ':', '\\', '\0', '\r', '\n', '\x7f', '\x81', '\xe0', '\xff'};
    auto text = [&](size_t maxLen) {
        std::string s;
        size_t n = next() % (maxLen + 1);
        for (size_t i = 0; i < n; i++)
            s += alphabet[next() % sizeof alphabet];
        return s;
    };
    int accepted = 0;
    for (int round = 0; round < 300; round++) {
        SCOPED_TRACE(round);
        HostSetCodePage(round % 2 ? 932 : 1252);
        lt::Table t;
        t.version = (uint16_t)(next() % 0x202);
        t.headerReserved = (uint16_t)next();
        t.splashType = (uint16_t)next();
        t.defaultIndex = (uint8_t)next();
        t.listReserved = (uint8_t)next();
        size_t langs = next() % 5;
        for (size_t i = 0; i < langs; i++) {
            lt::Language l;
            switch (next() % 3) {
            case 0: l.item = text(40); break;
            case 1: l.item = "@" + std::to_string((int)(next() % 7) - 3) + ";" + text(10) + ";" + text(10); break;
            default: l.item = "N" + std::to_string(i) + ";1033"; break;
            }
            t.languages.push_back(l);
        }
        size_t entries = next() % 6;
        for (size_t e = 0; e < entries; e++) {
            lt::Entry entry;
            entry.name = text(12);
            entry.kind = (int)(next() % 256);
            for (size_t i = 0; i < langs; i++) {
                lt::Value v;
                v.type = (int)(next() % 4 == 0 ? 1 : next() % 256);
                if (v.type == 1)
                    v.number = (uint16_t)next();
                else
                    v.text = text(20);
                entry.values.push_back(v);
            }
            t.entries.push_back(entry);
        }
        if (next() % 3 == 0)
            t.trailer = text(6);
        std::vector<uint8_t> bytes = lt::Encode(t);

        LangTable *parsed = LangTableCreate("x", 8);
        ASSERT_NE(parsed, nullptr);
        std::vector<uint8_t> copy = bytes;
        int ok = LangTableParse(parsed, copy.data(), (uint32_t)copy.size()) == LANG_PARSED;
        LangTableClose(parsed);
        if (!ok)
            continue;   // duplicate keys: the tool will not dump those
        accepted++;
        EXPECT_EQ(RoundTrip(bytes), "same");
    }
    HostSetCodePage(1252);
    EXPECT_GT(accepted, 200);
}

TEST(LangTableTool, MalformedDescriptionsNameTheLine)
{
    struct Case {
        std::string text;
        const char *error;   // the first error, in full or its start
    };
    const std::string head = "language English lcid 1033\nlanguage Deutsch lcid 1031\n";
    std::string thirtyOne;
    for (int i = 0; i < 31; i++)
        thirtyOne += "language L" + std::to_string(i) + "\n";
    const Case cases[] = {
        {head + "entry 7100 1 12\n", "line 3: 1 values for 2 languages"},
        {head + "entry 7100 1 12 13\n\nentry 7100 string 1 2\n",
         "line 5: entry \"7100:1\" repeats the entry of line 3: the launcher refuses the table (code -302)"},
        {head + "entry 7100 1 12 13\nentry 7100 2 1 2\nentry \"7100 \" 1 1 2\nentry Logo 5 1 2\nentry LOGO 5 1 2\n", ""},
        {head + "entry 7100 1 12 65536\n", "line 3: value 2: a number value is at most 65535"},
        {head + "entry 7100 1 12 1:\"x\"\n", "line 3: value 2: a typed text is TYPE:\"text\""},
        {head + "entry 7100 1 12 bare\n", "line 3: value 2: a value is a number"},
        {head + "entry 7100 256 1 2\n", "line 3: the kind is a number from 0 to 255"},
        {head + "entry 7100 1 \"12 13\n", "line 3: a quoted text is not closed"},
        {head + "entry 7100 1 <1> 2\n", "line 3: a <hex bytes> group holds"},
        {head + "entry " + std::string(254, 'n') + " 1 1 2\n", "line 3: the entry's key"},
        {"\n\nversion 0x202\n", "line 3: version above 0x201"},
        {"version 1\nversion 2\n", "line 2: version is given twice (first on line 1)"},
        {thirtyOne, "line 31: more than 30 languages"},
        {head + "entry 7100 1 12 13\nlanguage Late\n", "line 4: languages come before the entries"},
        {"language " + std::string(52, 'x') + "\n", "line 1: a language name holds at most 51 characters"},
        {"language " + std::string(51, 'x') + "\n", ""},
        {"language \"A;B\"\n", "line 1: a language name cannot hold \";\""},
        {"language @A\n", "line 1: a name that begins with \"@\" needs flags"},
        {"language \"\" flags 1 lcid 1033\n",
         "line 1: the launcher would read this language as name \"@1\", LCID list \"\", flags 1"},
        {"language English colour 3\n", "line 1: after the name come flags N and lcid LIST"},
        {"language English flags x\n", "line 1: flags wants a decimal number"},
        {head + "default Klingon\n", "line 3: no language is named \"Klingon\""},
        {head + "default index 256\n", "line 3: default index wants a number from 0 to 255"},
        {"bogus 1\n", "line 1: unknown keyword \"bogus\""},
        {"\"version\" 1\n", "line 1: a line begins with a keyword"},
        {"language raw \"" + std::string(256, 'r') + "\"\n", "line 1: a language item holds at most 255 bytes"},
        {"# only a comment\r\n\r\n  \t\r\n", ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text.substr(0, 80));
        lt::Table t;
        std::vector<std::string> errors, warnings;
        bool ok = lt::ParseDescription(c.text, &t, &errors, &warnings);
        if (c.error[0] == '\0') {
            EXPECT_TRUE(ok) << (errors.empty() ? "" : errors[0]);
            continue;
        }
        ASSERT_FALSE(ok);
        ASSERT_FALSE(errors.empty());
        EXPECT_EQ(errors[0].substr(0, strlen(c.error)), c.error);
    }
}

TEST(LangTableTool, EveryBadLineIsReported)
{
    lt::Table t;
    std::vector<std::string> errors, warnings;
    ASSERT_FALSE(lt::ParseDescription("language A\nfoo\nlanguage B\nbar\nentry x 1 1\n", &t, &errors, &warnings));
    ASSERT_EQ(errors.size(), 3u);
    EXPECT_EQ(errors[0].substr(0, 7), "line 2:");
    EXPECT_EQ(errors[1].substr(0, 7), "line 4:");
    EXPECT_EQ(errors[2].substr(0, 7), "line 5:");
}

// --- the command line -----------------------------------------------------------

class LangTableCli : public testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/langtable-test-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
    }
    void TearDown() override
    {
        std::string cmd = "rm -rf '" + dir_ + "'";
        ASSERT_EQ(system(cmd.c_str()), 0);
    }
    std::string Path(const std::string &name) const { return dir_ + "/" + name; }

    // Runs the tool; its output and error text go to out_ and err_.
    int Run(std::vector<std::string> args)
    {
        args.insert(args.begin(), "langtable");
        std::vector<char *> argv;
        for (std::string &a : args)
            argv.push_back(&a[0]);
        FILE *out = tmpfile();
        FILE *err = tmpfile();
        int rc = lt::ToolMain((int)argv.size(), argv.data(), out, err);
        out_ = Slurp(out);
        err_ = Slurp(err);
        return rc;
    }
    static std::string Slurp(FILE *f)
    {
        std::string s;
        rewind(f);
        int c;
        while ((c = fgetc(f)) != EOF)
            s += (char)c;
        fclose(f);
        return s;
    }
    std::vector<std::string> Files() const
    {
        std::vector<std::string> names;
        DIR *d = opendir(dir_.c_str());
        while (struct dirent *e = d ? readdir(d) : nullptr) {
            std::string n = e->d_name;
            if (n != "." && n != "..")
                names.push_back(n);
        }
        if (d)
            closedir(d);
        std::sort(names.begin(), names.end());
        return names;
    }

    std::string dir_, out_, err_;
};

TEST_F(LangTableCli, CompileDumpCompileGivesTheSameBytes)
{
    ASSERT_EQ(Run({"compile", Examples() + "sample.txt", Path("a.bin")}), lt::kExitOk) << err_;
    ASSERT_EQ(Run({"dump", Path("a.bin"), Path("a.txt")}), lt::kExitOk) << err_;
    ASSERT_EQ(Run({"compile", Path("a.txt"), Path("b.bin")}), lt::kExitOk) << err_;
    EXPECT_EQ(ReadAll(Path("a.bin")), ReadAll(Path("b.bin")));
    ASSERT_EQ(Run({"dump", Path("a.bin")}), lt::kExitOk);
    EXPECT_EQ(out_, ReadAll(Path("a.txt")));
    EXPECT_EQ(Files(), (std::vector<std::string>{"a.bin", "a.txt", "b.bin"}));
}

TEST_F(LangTableCli, FailedCompileLeavesNoOutput)
{
    WriteAll(Path("bad.txt"), "language English lcid 1033\nentry 7100 1 1 2\n");
    EXPECT_EQ(Run({"compile", Path("bad.txt"), Path("out.bin")}), lt::kExitInvalid);
    EXPECT_NE(err_.find("bad.txt: line 2: 2 values for 1 languages"), std::string::npos) << err_;
    EXPECT_EQ(Files(), (std::vector<std::string>{"bad.txt"}));

    // An older output stays as it was.
    WriteAll(Path("out.bin"), "old");
    EXPECT_EQ(Run({"compile", Path("bad.txt"), Path("out.bin")}), lt::kExitInvalid);
    EXPECT_EQ(ReadAll(Path("out.bin")), "old");

    // An output that cannot be written: nothing left behind either.
    EXPECT_EQ(Run({"compile", Examples() + "sample.txt", Path("missing-dir/out.bin")}), lt::kExitIo);
    EXPECT_EQ(Files(), (std::vector<std::string>{"bad.txt", "out.bin"}));
}

TEST_F(LangTableCli, CheckReportsTheLanguageChoice)
{
    ASSERT_EQ(Run({"compile", Examples() + "sample.txt", Path("a.bin")}), lt::kExitOk) << err_;
    struct Case {
        const char *lcid;
        const char *line;
    };
    const Case cases[] = {
        {"2057", "locale 2057  English (index 0): its LCID list holds 2057"},
        {"0x407", "locale 1031  Deutsch (index 1): its LCID list holds 1031"},
        {"1043", "locale 1043  English (index 0): no eligible language lists 1043; the default language"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.lcid);
        ASSERT_EQ(Run({"check", Path("a.bin"), "--lcid", c.lcid}), lt::kExitOk) << err_;
        EXPECT_NE(out_.find(c.line), std::string::npos) << out_;
        EXPECT_NE(out_.find("eligible    English, Deutsch\n"), std::string::npos) << out_;
        EXPECT_NE(out_.find("default     0 English\n"), std::string::npos) << out_;
        EXPECT_NE(out_.find("result      ok\n"), std::string::npos) << out_;
    }

    // No eligible language and no default: the first language.
    WriteAll(Path("none.txt"), "language A flags 0 lcid 1\nlanguage B flags 2 lcid 2\n");
    ASSERT_EQ(Run({"compile", Path("none.txt"), Path("none.bin")}), lt::kExitOk) << err_;
    EXPECT_NE(err_.find("no language is eligible"), std::string::npos) << err_;
    ASSERT_EQ(Run({"check", Path("none.bin"), "--lcid", "2"}), lt::kExitOk);
    EXPECT_NE(out_.find("default     (none)"), std::string::npos) << out_;
    EXPECT_NE(out_.find("locale 2     A (index 0): no match and no default language; the first language"),
              std::string::npos)
        << out_;
}

TEST_F(LangTableCli, RefusedTablesGiveTheCode)
{
    ASSERT_EQ(Run({"compile", Examples() + "sample.txt", Path("a.bin")}), lt::kExitOk) << err_;
    std::string bytes = ReadAll(Path("a.bin"));
    struct Case {
        const char *what;
        std::string bytes;
        const char *message;
    };
    std::string badMagic = bytes;
    badMagic[0] = 'X';
    std::string badVersion = bytes;
    badVersion[5] = 0x03;
    const Case cases[] = {
        {"truncated", bytes.substr(0, bytes.size() - 1),
         "error -309: the resource ends before its counts say"},
        {"magic", badMagic, "error -305: not a language table"},
        {"version", badVersion, "error -308: format version above 0x201"},
        {"empty", "", "error -309"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        WriteAll(Path("x.bin"), c.bytes);
        EXPECT_EQ(Run({"check", Path("x.bin")}), lt::kExitInvalid);
        EXPECT_NE(out_.find(c.message), std::string::npos) << out_;
        EXPECT_EQ(Run({"dump", Path("x.bin"), Path("x.txt")}), lt::kExitInvalid);
        EXPECT_NE(err_.find(c.message), std::string::npos) << err_;
    }
    EXPECT_EQ(Files(), (std::vector<std::string>{"a.bin", "x.bin"}));
}

TEST_F(LangTableCli, UsageAndFileErrors)
{
    struct Case {
        std::vector<std::string> args;
        int rc;
    };
    const Case cases[] = {
        {{}, lt::kExitUsage},
        {{"compile", "a"}, lt::kExitUsage},
        {{"frobnicate", "a", "b"}, lt::kExitUsage},
        {{"compile", "a", "b", "c"}, lt::kExitUsage},
        {{"dump"}, lt::kExitUsage},
        {{"--fast", "compile", "a", "b"}, lt::kExitUsage},
        {{"--version"}, lt::kExitOk},
        {{"check", "a", "--lcid"}, lt::kExitUsage},
        {{"check", "a", "--lcid", "english"}, lt::kExitUsage},
        {{"--codepage", "65001", "check", "a"}, lt::kExitUsage},
        {{"dump", "a", "--lcid", "1033"}, lt::kExitUsage},
        {{"--help"}, lt::kExitOk},
        {{"compile", "/nonexistent/in.txt", "/tmp/out.bin"}, lt::kExitIo},
        {{"check", "/nonexistent/in.bin"}, lt::kExitIo},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        EXPECT_EQ(Run(c.args), c.rc);
    }
}

// What a person reads: the version, a summary of each file written, and a
// plain word for a command or option that does not exist.
TEST_F(LangTableCli, VersionSummaryAndUnknownWords)
{
    ASSERT_EQ(Run({"--version"}), lt::kExitOk);
    EXPECT_EQ(out_.rfind("langtable ", 0), 0u) << out_;
    EXPECT_EQ(out_.back(), '\n');

    ASSERT_EQ(Run({"compile", Examples() + "sample.txt", Path("a.bin")}), lt::kExitOk) << err_;
    const std::string size = std::to_string(ReadAll(Path("a.bin")).size());
    EXPECT_NE(out_.find("langtable: compiled 3 languages, "), std::string::npos) << out_;
    EXPECT_NE(out_.find(", " + size + " bytes into " + Path("a.bin") + " in "), std::string::npos) << out_;
    EXPECT_NE(out_.find(" ms\n"), std::string::npos) << out_;
    const std::string compiled = out_;
    ASSERT_EQ(Run({"check", Path("a.bin")}), lt::kExitOk);
    const size_t at = out_.find("entries     ");
    ASSERT_NE(at, std::string::npos) << out_;
    const std::string entries = out_.substr(at + 12, out_.find(' ', at + 12) - at - 12);
    EXPECT_NE(compiled.find(" languages, " + entries + " entries, "), std::string::npos)
        << compiled << "the launcher's parser counts " << entries;

    ASSERT_EQ(Run({"dump", Path("a.bin"), Path("a.txt")}), lt::kExitOk) << err_;
    EXPECT_NE(out_.find("langtable: dumped 3 languages, " + entries + " entries from " + Path("a.bin") + " (" + size +
                        " bytes) into " + Path("a.txt")),
              std::string::npos)
        << out_;
    ASSERT_EQ(Run({"dump", Path("a.bin")}), lt::kExitOk);
    EXPECT_EQ(out_, ReadAll(Path("a.txt"))) << "to standard output only the description";

    const struct {
        std::vector<std::string> args;
        const char *message;
    } wrong[] = {
        {{"frobnicate", "a", "b"}, "langtable: unknown command 'frobnicate' (try langtable --help)"},
        {{"--fast", "check", "a"}, "langtable: unknown option '--fast' (try langtable --help)"},
        {{"compile", "a"}, "langtable: compile takes IN.txt OUT.bin"},
        {{"dump", "a", "--lcid", "1033"}, "--lcid goes with check only"},
    };
    for (const auto &c : wrong) {
        SCOPED_TRACE(c.message);
        EXPECT_EQ(Run(c.args), lt::kExitUsage);
        EXPECT_NE(err_.find(c.message), std::string::npos) << err_;
        EXPECT_EQ(out_, "");
    }
    EXPECT_EQ(Files(), (std::vector<std::string>{"a.bin", "a.txt"}));
}

}  // namespace
