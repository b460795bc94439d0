// The project file, the sign command's words, the version rules and the
// closest-name suggestions: tables of inputs against what a builder must see.
#include <gtest/gtest.h>

#include <stdint.h>

#include <string>
#include <utility>
#include <vector>

#include "tools/lib/project.h"
#include "tools/lib/suggest.h"
#include "tools/lib/versionrules.h"

namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;
using Words = std::vector<std::string>;

const char kFull[] = R"(# a whole project
script = "SETUP.INS"
out = "medium"
icon = "/abs/product.ico"
execution-level = "asInvoker"
piece-size = 65536

[payloads]
bootstrap = "payloads/bootstrap.exe"
engine = "payloads/engine.exe"
companion = "payloads/data bin.dat"

[library]
description = "library.txt"

[version-info]
ProductName = "Example"
FileVersion = "4.2"
CompanyName = "Example Company"

[sign]
command = "osslsigncode sign -pkcs12 {pfx} -readpass {passfile} -in {in} -out {out}"
pfx = "keys/example.pfx"
passfile = "keys/pass.txt"
ca = "keys/root.pem"
payloads = true
)";

TEST(Project, ReadsEveryKeyWithPathsBesideTheFile)
{
    tk::Project p;
    std::vector<std::string> errors;
    ASSERT_TRUE(tk::ParseProject(kFull, "work/ex/project.toml", &p, &errors)) << errors[0];
    EXPECT_EQ(p.dir, "work/ex");
    EXPECT_EQ(p.script, "work/ex/SETUP.INS");
    EXPECT_EQ(p.outDir, "work/ex/medium");
    EXPECT_EQ(p.icon, "/abs/product.ico") << "an absolute path stays as it is";
    EXPECT_EQ(p.level, "asInvoker");
    EXPECT_EQ(p.pieceSize, 65536u);
    EXPECT_EQ(p.payload[0], "work/ex/payloads/bootstrap.exe");
    EXPECT_EQ(p.payload[1], "work/ex/payloads/engine.exe");
    EXPECT_EQ(p.payload[2], "work/ex/payloads/data bin.dat");
    EXPECT_EQ(p.libraryDescription, "work/ex/library.txt");
    EXPECT_EQ(p.library, "");
    EXPECT_EQ(p.versionInfo,
              (Pairs{{"ProductName", "Example"}, {"FileVersion", "4.2"}, {"CompanyName", "Example Company"}}))
        << "in the file's order";
    EXPECT_EQ(p.signCommand, (Words{"osslsigncode", "sign", "-pkcs12", "{pfx}", "-readpass", "{passfile}", "-in",
                                    "{in}", "-out", "{out}"}));
    EXPECT_EQ(p.signValues,
              (Pairs{{"pfx", "keys/example.pfx"}, {"passfile", "keys/pass.txt"}, {"ca", "keys/root.pem"}}));
    EXPECT_EQ(p.signCa, "work/ex/keys/root.pem") << "the gate's roots, beside the file";
    EXPECT_TRUE(p.signPayloads) << "a switch, not one of the command's values";
    EXPECT_EQ(tk::PlaceOf(p, "piece-size"), "work/ex/project.toml:6:14");
    EXPECT_EQ(tk::PlaceOf(p, "payloads.engine"), "work/ex/project.toml:10:10");
    EXPECT_EQ(tk::PlaceOf(p, "stub"), "work/ex/project.toml") << "a key not given has the file as its place";

    ASSERT_TRUE(tk::ParseProject("out = \"m\"\n", "project.toml", &p, &errors));
    EXPECT_EQ(p.dir, ".");
    EXPECT_EQ(p.outDir, "m") << "a bare file name needs no ./ in front";
    ASSERT_TRUE(tk::ParseProject("[sign]\ncommand = [\"signer\", \"--in\", \"{in}\", \"{out}\"]\n", "p.toml", &p,
                                 &errors));
    EXPECT_EQ(p.signCommand, (Words{"signer", "--in", "{in}", "{out}"})) << "an array is taken word for word";
}

// [define]: each value written once, used in [version-info] ("$${" is a
// literal "${"); a table, even an empty one, is what turns expansion on.
TEST(Project, DefinesFillTheVersionInfo)
{
    tk::Project p;
    std::vector<std::string> errors;
    ASSERT_TRUE(tk::ParseProject("[define]\nproduct = \"Example\"\ndisplay-version = \"3.1 beta\"\nempty = \"\"\n"
                                 "[version-info]\nProductName = \"${product}${empty}\"\n"
                                 "ProductVersion = \"${display-version}\"\nComments = \"$${product} is ${product}\"\n",
                                 "p.toml", &p, &errors))
        << errors[0];
    EXPECT_TRUE(p.hasDefines);
    EXPECT_EQ(p.defines, (Pairs{{"product", "Example"}, {"display-version", "3.1 beta"}, {"empty", ""}}));
    EXPECT_EQ(p.versionInfo, (Pairs{{"ProductName", "Example"},
                                    {"ProductVersion", "3.1 beta"},
                                    {"Comments", "${product} is Example"}}));
    ASSERT_TRUE(tk::ParseProject("[define]\n", "p.toml", &p, &errors));
    EXPECT_TRUE(p.hasDefines) << "an empty table still expands the description";
    ASSERT_TRUE(tk::ParseProject("[version-info]\nComments = \"costs $5\"\n", "p.toml", &p, &errors));
    EXPECT_FALSE(p.hasDefines);
    EXPECT_EQ(p.versionInfo, (Pairs{{"Comments", "costs $5"}})) << "a lone $ is itself";
}

TEST(Project, RefusesWithFileLineAndColumn)
{
    struct Case {
        const char *text;
        const char *error;   // the whole first line expected
        size_t count;
    } cases[] = {
        {"out = \"m\"\nscirpt = \"x\"\n", "p.toml:2:1: unknown key 'scirpt' in the project, did you mean 'script'?",
         1},
        {"[payloads]\nbootstarp = \"b.exe\"\n",
         "p.toml:2:1: unknown key 'bootstarp' in [payloads], did you mean 'bootstrap'?", 1},
        {"[library]\nxyz = \"q\"\n", "p.toml:2:1: unknown key 'xyz' in [library]; the keys here are description, file",
         1},
        {"[verison-info]\nA = \"1\"\n",
         "p.toml:1:2: unknown key 'verison-info' in the project, did you mean 'version-info'?", 1},
        {"piece-size = \"4096\"\n",
         "p.toml:1:14: piece-size must be a whole number of bytes, without quotes (for example 4194304)", 1},
        {"piece-size = -1\n",
         "p.toml:1:14: piece-size must be a whole number of bytes, without quotes (for example 4194304)", 1},
        {"script = 3\n", "p.toml:1:10: script must be a string in quotes", 1},
        {"out = \"\"\n", "p.toml:1:7: out is empty; give a value or leave the key out", 1},
        {"payloads = \"x\"\n",
         "p.toml:1:12: payloads must be a table: write [payloads] on a line of its own, then its keys", 1},
        {"[library]\ndescription = \"a.txt\"\nfile = \"b.dll\"\n",
         "p.toml:3:8: [library] has both description and file; keep description to build _SETUP.DLL from it, or file "
         "to take a ready one",
         1},
        {"out = \"m\nscript = 1\n", nullptr, 1},   // syntax: one error, the parser stops
        {"[version-info]\nFileVersion = 4.2\n", "p.toml:2:15: version-info.FileVersion must be a string in quotes", 1},
        {"[sign]\npfx = \"a\"\n", "p.toml:1:1: [sign] needs command, the program that signs {in} into {out}", 1},
        {"[sign]\ncommand = \"sign {in} {out} {pxf}\"\npfx = \"k\"\n",
         "p.toml:2:11: sign command: no value for {pxf}, did you mean 'pfx'? (set it as a key of [sign]; {in} and "
         "{out} are the build's)",
         1},
        {"[sign]\ncommand = \"sign -in {in}\"\n",
         "p.toml:2:11: sign command must name {in} (setup.exe as built) and {out} (where the signed file goes): "
         "setup.exe is replaced only after signing succeeded",
         1},
        {"[sign]\ncommand = \"sign 'x {in} {out}\"\n",
         "p.toml:2:11: sign command: a quote ' opened at byte 6 is not closed", 1},
        {"[sign]\ncommand = \"s {in} {out}\"\nout = \"x\"\n",
         "p.toml:3:1: {out} is set by the build (the file to sign and the signed file); give your own key another name",
         1},
        {"[sign]\ncommand = [\"s\", 1]\n", "p.toml:2:17: every word of the sign command must be a string in quotes",
         1},
        {"[sign]\ncommand = \"s {in} {out}\"\npayloads = \"yes\"\n",
         "p.toml:3:12: payloads must be true or false (whether the bootstrap, the engine, a program companion and "
         "_SETUP.DLL are signed too)",
         1},
        {"[define]\n1st = \"x\"\n",
         "p.toml:2:1: '1st' is not a name to define: use letters, digits, _ and -, starting with a letter", 1},
        {"[define]\n\"a b\" = \"x\"\n",
         "p.toml:2:1: 'a b' is not a name to define: use letters, digits, _ and -, starting with a letter", 1},
        {"[define]\nv = 3.1\n", "p.toml:2:5: define.v must be a string in quotes", 1},
        {"[define]\nv = \"a\\nb\"\n", "p.toml:2:5: define.v has a line break; a value is one line", 1},
        {"define = \"x\"\n",
         "p.toml:1:10: define must be a table: write [define] on a line of its own, then its keys", 1},
        {"[define]\nproduct = \"P\"\n[version-info]\nProductName = \"${prodcut} Setup\"\n",
         "p.toml:4:15: version-info.ProductName: ${prodcut} is not defined, did you mean 'product'?; define it in "
         "[define], or write $${ for the characters ${",
         1},
        {"[version-info]\nProductName = \"${product\"\n",
         "p.toml:2:15: version-info.ProductName: '${' without '}'; write ${NAME}, or $${ for the characters ${", 1},
        // Independent faults are all reported, each once.
        {"outt = \"m\"\nicon = 5\n[payloads]\nengin = \"e\"\n",
         "p.toml:1:1: unknown key 'outt' in the project, did you mean 'out'?", 3},
    };
    for (const Case &c : cases) {
        tk::Project p;
        std::vector<std::string> errors;
        EXPECT_FALSE(tk::ParseProject(c.text, "p.toml", &p, &errors)) << c.text;
        ASSERT_EQ(errors.size(), c.count) << c.text << (errors.empty() ? "" : errors[0]);
        if (c.error)
            EXPECT_EQ(errors[0], c.error) << c.text;
        else
            EXPECT_EQ(errors[0].rfind("p.toml:1:", 0), 0u) << errors[0];
    }
}

TEST(SignCommand, SplitsLikeAShellWithoutExpanding)
{
    struct Case {
        const char *text;
        Words words;
    } cases[] = {
        {"a  b\tc", {"a", "b", "c"}},
        {"sign -n 'My Product' -in {in}", {"sign", "-n", "My Product", "-in", "{in}"}},
        {"a \"x \\\" y\" 'it''s' b\\ c", {"a", "x \" y", "its", "b c"}},
        {"'$HOME' `id` $(id) ; rm", {"$HOME", "`id`", "$(id)", ";", "rm"}},
        {"''", {""}},
    };
    for (const Case &c : cases) {
        Words w;
        std::string err;
        ASSERT_TRUE(tk::SplitCommand(c.text, &w, &err)) << c.text << ": " << err;
        EXPECT_EQ(w, c.words) << c.text;
    }
    const char *bad[] = {"", "   ", "a \"b", "a 'b"};
    for (const char *text : bad) {
        Words w;
        std::string err;
        EXPECT_FALSE(tk::SplitCommand(text, &w, &err)) << text;
        EXPECT_FALSE(err.empty());
    }
}

TEST(SignCommand, PlaceholdersBecomeWholeArguments)
{
    const Pairs values = {{"in", "/tmp/a b/setup.exe"}, {"out", "/o/'s\".exe"}, {"pfx", "k.pfx"}};
    Words argv;
    std::string err;
    ASSERT_TRUE(tk::ExpandCommand({"sign", "{in}", "-out={out}", "{{pfx}}", "{pfx}{pfx}"}, values, &argv, &err))
        << err;
    EXPECT_EQ(argv, (Words{"sign", "/tmp/a b/setup.exe", "-out=/o/'s\".exe", "{pfx}", "k.pfxk.pfx"}));

    struct Bad {
        Words words;
        const char *error;
    } bad[] = {
        {{"x", "{nope}"}, "no value for {nope} (set it as a key of [sign]; {in} and {out} are the build's)"},
        {{"{ot}"}, "no value for {ot}, did you mean 'out'? (set it as a key of [sign]; {in} and {out} are the build's)"},
        {{"a{in"}, "'{' without '}' in 'a{in'; write {{ for a brace"},
        {{"a}b"}, "'}' without '{' in 'a}b'; write }} for a brace"},
    };
    for (const Bad &b : bad) {
        EXPECT_FALSE(tk::ExpandCommand(b.words, values, &argv, &err));
        EXPECT_EQ(err, b.error);
    }
}

TEST(VersionRules, NumbersFollowOneRule)
{
    struct Case {
        const char *text;
        bool ok;
        uint16_t parts[4];
    } cases[] = {
        {"4.2.17", true, {4, 2, 17, 0}},
        {"4.2", true, {4, 2, 0, 0}},
        {"7", true, {7, 0, 0, 0}},
        {"1.2.3.4", true, {1, 2, 3, 4}},
        {"65535.0.0.65535", true, {65535, 0, 0, 65535}},
        {"007.0", true, {7, 0, 0, 0}},
        {"4.2.0.70000", false, {}},
        {"4.2.0.65536", false, {}},
        {"4.2.0.x", false, {}},
        {"4.2 beta", true, {4, 2, 0, 0}},
        {"3.1.0.7 release candidate 2", true, {3, 1, 0, 7}},
        {"beta 3.1", false, {}},
        {"3.1 ", false, {}},
        {"3.1\tbeta", false, {}},
        {"3.1beta", false, {}},
        {"4.2.0.70000 beta", false, {}},
        {"1.2.3.4.5", false, {}},
        {"", false, {}},
        {"1..2", false, {}},
        {"1.2.", false, {}},
        {".1", false, {}},
        {"+1", false, {}},
        {"-1", false, {}},
        {" 1", false, {}},
        {"99999999999999999999", false, {}},
    };
    for (const Case &c : cases) {
        uint16_t parts[4] = {9, 9, 9, 9};
        std::string err;
        EXPECT_EQ(tk::ParseVersionNumber("FileVersion", c.text, parts, &err), c.ok) << c.text;
        for (int i = 0; i < 4; i++)
            EXPECT_EQ(parts[i], c.ok ? c.parts[i] : 0) << c.text << " part " << i;
        if (!c.ok)
            EXPECT_EQ(err, std::string("FileVersion '") + c.text +
                               "' is not a version number: a version is a.b.c.d: one to four whole numbers from 0 to "
                               "65535 separated by dots (missing parts are 0), then if you like a blank and a "
                               "display text (3.1 beta)");
    }
}

// Version strings read from files: the numbers they start with, however
// they are written.
TEST(VersionRules, LeadingNumbersOfWrittenVersions)
{
    const struct {
        const char *text;
        int count;
        uint32_t parts[4];
    } cases[] = {
        {"1, 2, 3, 4", 4, {1, 2, 3, 4}},
        {"  4.2.17 beta", 3, {4, 2, 17, 0}},
        {"1 . 2", 2, {1, 2, 0, 0}},
        {"1.2.3.4.5", 4, {1, 2, 3, 4}},
        {"3. beta", 1, {3, 0, 0, 0}},
        {"v1.2", 0, {}},
        {"", 0, {}},
        {"1.70000", 0, {}},
    };
    for (const auto &c : cases) {
        uint32_t parts[4] = {0, 0, 0, 0};
        size_t end = 0;
        ASSERT_EQ(tk::ScanVersionParts(c.text, true, parts, &end), c.count) << c.text;
        for (int i = 0; i < c.count; i++)
            EXPECT_EQ(parts[i], c.parts[i]) << c.text << " part " << i;
    }
}

TEST(VersionRules, PlanKeepsStringAndNumberTogether)
{
    tk::VersionPlan plan;
    std::vector<std::string> errors;
    ASSERT_TRUE(tk::PlanVersionInfo({{"FileVersion", "4.2.17"}, {"ProductVersion", "1.0"}, {"ProductName", "A"},
                                     {"ProductName", "B"}, {"CompanyName", "C"}, {"FileDescription", "D"},
                                     {"LegalCopyright", "E"}},
                                    &plan, &errors));
    EXPECT_TRUE(errors.empty());
    EXPECT_TRUE(plan.fileVersionSet);
    EXPECT_EQ(plan.fixed.fileMs, 0x00040002u);
    EXPECT_EQ(plan.fixed.fileLs, 0x00110000u);
    EXPECT_TRUE(plan.productVersionSet);
    EXPECT_EQ(plan.fixed.productMs, 0x00010000u);
    EXPECT_EQ(plan.fixed.productLs, 0u);
    EXPECT_EQ(plan.strings, (Pairs{{"FileVersion", "4.2.17"}, {"ProductVersion", "1.0"}, {"ProductName", "B"},
                                   {"CompanyName", "C"}, {"FileDescription", "D"}, {"LegalCopyright", "E"}}))
        << "a later value replaces the earlier one in place";
    EXPECT_TRUE(plan.warnings.empty()) << plan.warnings[0];
}

TEST(VersionRules, PlanWarnsAndRefuses)
{
    tk::VersionPlan plan;
    std::vector<std::string> errors;
    EXPECT_FALSE(tk::PlanVersionInfo({{"FileVersion", "beta 4.2"}, {"ProductVersion", "4.2.0.x"}, {"", "x"}}, &plan,
                                     &errors));
    ASSERT_EQ(errors.size(), 3u);
    EXPECT_NE(errors[0].find("FileVersion 'beta 4.2' is not a version number"), std::string::npos);
    EXPECT_NE(errors[1].find("ProductVersion '4.2.0.x'"), std::string::npos);
    EXPECT_FALSE(plan.fileVersionSet) << "a refused version sets no number";

    plan = tk::VersionPlan();
    errors.clear();
    EXPECT_TRUE(tk::PlanVersionInfo({{"CompnayName", "X"}, {"CompnayName", "Y"}, {"Build", "7"}}, &plan, &errors));
    ASSERT_EQ(plan.warnings.size(), 3u);
    EXPECT_EQ(plan.warnings[0], "version key 'CompnayName' is not one Windows shows; did you mean 'CompanyName'?")
        << "one warning for a key given twice";
    EXPECT_EQ(plan.warnings[1].rfind("version key 'Build' is not one Windows shows; the standard keys are Comments, ",
                                     0),
              0u);
    EXPECT_EQ(plan.warnings[2],
              "version information: CompanyName, FileDescription, FileVersion, LegalCopyright, ProductName, "
              "ProductVersion not set; setup.exe shows neutral values there until you set them "
              "(--version-info KEY=VALUE, or [version-info] in the project file)");
}

TEST(Suggest, ClosestNameOrNone)
{
    const std::vector<std::string> known = {"language", "message", "caption", "splash", "bitmap"};
    struct Case {
        const char *word;
        const char *closest;
    } cases[] = {
        {"lanugage", "language"},   // two letters swapped: one edit
        {"Language", "language"},   // case only
        {"mesage", "message"},
        {"captoin", "caption"},
        {"spalsh", "splash"},
        {"xyz", ""},
        {"completely-different", ""},
        {"", ""},
    };
    for (const Case &c : cases)
        EXPECT_EQ(tk::ClosestName(c.word, known), c.closest) << c.word;
    EXPECT_EQ(tk::EditDistance("ab", "ba"), 1u);
    EXPECT_EQ(tk::EditDistance("kitten", "sitting"), 3u);
    EXPECT_EQ(tk::EditDistance("", "abc"), 3u);
    EXPECT_EQ(tk::ClosestName(std::string(100000, 'a'), known), "") << "a huge word is not compared";
}

}  // namespace
