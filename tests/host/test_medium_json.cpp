// What scripts read: `medium build --json FILE` and `medium inspect --json`
// pass the schemas in docs/schema (checked with python3-jsonschema), with
// real types (numbers, arrays, booleans), a code on every build finding,
// and a log written however the build ends.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/host/host_files.h"
#include "tests/host/stub_fixture.h"
#include "tools/medium/build.h"
#include "tools/medium/cli.h"
#include "tools/medium/inspect.h"
#include "tools/medium/library_cli.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::string Slurp(const std::string &path)
{
    const Bytes b = ReadFile(path);
    return std::string(b.begin(), b.end());
}

int RunCommand(int (*command)(int, char **), std::vector<std::string> words, std::string *out = nullptr)
{
    std::vector<char *> argv;
    for (std::string &w : words)
        argv.push_back(&w[0]);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const int code = command((int)argv.size(), argv.data());
    const std::string printed = testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStderr();
    if (out)
        *out = printed;
    return code;
}

// The schema check's exit code for `file` (0 valid).
int SchemaCheck(const char *schema, const std::string &file)
{
    const std::string cmd = std::string("python3 '") + CORVANE_SOURCE_DIR + "/tests/host/check_json_schema.py' '" +
                            CORVANE_SOURCE_DIR + "/docs/schema/" + schema + "' '" + file + "'";
    const int rc = system(cmd.c_str());
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

TEST(MediumJson, BuildLogAndInspectPassTheirSchemas)
{
    char tmpl[] = "/tmp/medium-json-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    const std::string root = tmpl;
    const std::string fixtures = std::string(CORVANE_SOURCE_DIR) + "/tests/fixtures/medium/";
    ASSERT_TRUE(WriteFile(root + "/stub.exe", StubFixture()));
    ASSERT_TRUE(WriteFile(root + "/boot.exe", ReadFile(fixtures + "small.exe")));
    ASSERT_TRUE(WriteFile(root + "/engine.exe", Bytes(5000, 'e')));
    ASSERT_TRUE(WriteFile(root + "/data.bin", Bytes(100, 'd')));
    ASSERT_TRUE(WriteFile(root + "/SETUP.INS", Bytes{'s'}));
    ASSERT_EQ(WriteExampleLibrary(root + "/ex.dll"), 0);
    // `medium build` with the default flags, `changed` ones replaced, `more` added.
    auto with = [&](std::vector<std::pair<std::string, std::string>> changed, std::vector<std::string> more) {
        std::vector<std::pair<std::string, std::string>> flags = {
            {"--stub", root + "/stub.exe"},       {"--bootstrap", root + "/boot.exe"},
            {"--engine", root + "/engine.exe"},   {"--companion", root + "/data.bin"},
            {"--script", root + "/SETUP.INS"},    {"--library", root + "/ex.dll"},
            {"--out", root + "/out"}};
        for (auto &f : flags)
            for (const auto &c : changed)
                if (c.first == f.first)
                    f.second = c.second;
        std::vector<std::string> w = {"build"};
        for (const auto &f : flags) {
            w.push_back(f.first);
            w.push_back(f.second);
        }
        w.insert(w.end(), more.begin(), more.end());
        return w;
    };
    const struct {
        const char *what;
        const char *schema;
        std::vector<std::string> words;   // a build writes log.json; inspect prints its JSON
        int code;
        std::vector<std::string> has;     // in the JSON
    } cases[] = {
        {"a build", "medium-build-log.schema.json", with({}, {"--json", root + "/log.json"}), medium::kExitOk,
         {"\"ok\":true", "\"role\":\"engine\",\"path\":\"" + root + "/engine.exe\",\"size\":5000,\"sha256\":\"",
          "{\"payload\":\"engine\",\"length\":5000,", "\"role\":\"setup.exe\"", "{\"name\":\"commit\",\"seconds\":",
          "\"code\":\"version-info\""}},
        {"a build with two missing inputs", "medium-build-log.schema.json",
         with({{"--engine", root + "/none.exe"}, {"--companion", root + "/gone.bin"}}, {"--json=" + root + "/log.json"}),
         medium::kExitInput,
         {"\"ok\":false", "\"status\":1", "\"code\":\"input-unreadable\",\"file\":\"" + root + "/none.exe\"",
          "\"file\":\"" + root + "/gone.bin\"", "\"pieces\":[]"}},
        {"a strict build that fails", "medium-build-log.schema.json",
         with({}, {"--strict", "--json", root + "/log.json"}), medium::kExitInput,
         {"\"severity\":\"error\",\"code\":\"version-info\""}},
        {"inspect of the medium", "medium-inspect.schema.json", {"inspect", "--json", root + "/out"}, 0,
         {"\"kind\":\"medium\"", "\"lcids\":[1033,", "\"entryPoint\":false"}},
        {"a build with a warning (a 64-bit bootstrap)", "medium-build-log.schema.json",
         with({{"--bootstrap", fixtures + "small64.exe"}, {"--out", root + "/out64"}}, {"--json", root + "/log.json"}),
         medium::kExitOk, {"\"severity\":\"warning\",\"code\":\"bootstrap-machine\",\"file\":\"" + root + "/out64/setup.exe\""}},
        {"inspect of a medium with a warning", "medium-inspect.schema.json", {"inspect", "--json", root + "/out64"}, 1,
         {"\"severity\":\"warning\",\"code\":\"bootstrap-machine\"", "\"status\":1"}},
        {"inspect --strict of it", "medium-inspect.schema.json", {"inspect", "--json", "--strict", root + "/out64"}, 2,
         {"\"severity\":\"error\",\"code\":\"bootstrap-machine\"", "\"status\":2"}},
        {"inspect of a library", "medium-inspect.schema.json", {"inspect", "--json", root + "/ex.dll"}, 0,
         {"\"kind\":\"library\"", "\"lcids\":["}},
        {"inspect of nothing", "medium-inspect.schema.json", {"inspect", "--json", root + "/nothing"}, 2,
         {"\"severity\":\"error\",\"code\":\"inspect\""}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        unlink((root + "/log.json").c_str());
        std::string printed;
        const bool isBuild = c.words[0] == "build";
        const int code = RunCommand(isBuild ? medium::BuildCommand : medium::InspectCommand, c.words, &printed);
        EXPECT_EQ(code, c.code) << printed;
        const std::string file = root + "/log.json";
        if (!isBuild)
            ASSERT_TRUE(WriteFile(file, Bytes(printed.begin(), printed.end())));
        const std::string json = Slurp(file);
        EXPECT_EQ(SchemaCheck(c.schema, file), 0) << json;
        for (const std::string &h : c.has)
            EXPECT_NE(json.find(h), std::string::npos) << h << "\n--- in:\n" << json;
        EXPECT_EQ(json.find("\"lcids\":\""), std::string::npos) << "a list, not a string";
    }
    // The schema check itself refuses what breaks the schema.
    const std::string bad = "{\"tool\":\"medium build\",\"status\":\"0\"}";
    ASSERT_TRUE(WriteFile(root + "/bad.json", Bytes(bad.begin(), bad.end())));
    EXPECT_EQ(SchemaCheck("medium-build-log.schema.json", root + "/bad.json"), 1);
    const std::string cmd = "rm -rf '" + root + "'";
    EXPECT_EQ(system(cmd.c_str()), 0);
}

}  // namespace
