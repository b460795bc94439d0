// Manifests: the launcher's own, and the ways one goes wrong.
#include <gtest/gtest.h>

#include <string>

#include "tests/host/host_files.h"
#include "tools/lib/manifest.h"

namespace {

std::string Text(const tk::Problems &p)
{
    std::string s;
    for (const tk::Finding &x : p)
        s += (x.severity == tk::Severity::Error ? "error: " : "warning: ") + x.text + "\n";
    return s;
}

std::string Manifest(const std::string &level, const std::string &extra = "")
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
           "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">\n"
           "<trustInfo xmlns=\"urn:schemas-microsoft-com:asm.v3\"><security><requestedPrivileges>\n" +
           level + "\n</requestedPrivileges></security></trustInfo>" + extra + "</assembly>\n";
}

std::string Repeat(const std::string &s, int n)
{
    std::string out;
    for (int i = 0; i < n; i++)
        out += s;
    return out;
}

TEST(Manifest, TheLaunchersOwn)
{
    std::vector<uint8_t> m = ReadFile(std::string(CORVANE_SOURCE_DIR) + "/resources/setup.manifest");
    ASSERT_FALSE(m.empty());
    tk::ManifestInfo info;
    tk::Problems p;
    tk::CheckManifest(m.data(), m.size(), &info, &p);
    EXPECT_TRUE(p.empty()) << Text(p);
    EXPECT_TRUE(info.wellFormed);
    EXPECT_EQ(info.executionLevel, "requireAdministrator");
    EXPECT_EQ(info.uiAccess, "false");
}

TEST(Manifest, Cases)
{
    const std::string ok = "<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>";
    const struct {
        const char *name;
        std::string text;
        bool wellFormed;
        const char *level;
        const char *problem;   // null: none; "warning:" or "error:" starts the line
    } cases[] = {
        {"asInvoker", Manifest(ok), true, "asInvoker", nullptr},
        {"v2 namespace", Manifest("<requestedExecutionLevel xmlns=\"urn:schemas-microsoft-com:asm.v2\" "
                                  "level=\"highestAvailable\"/>"), true, "highestAvailable", nullptr},
        {"a byte changed in the level", Manifest("<requestedExecutionLevel level=\"a)Invoker\"/>"), true, "a)Invoker",
         "error: the manifest's requestedExecutionLevel has level \"a)Invoker\" (line 4, column 1)"},
        {"level in the wrong case", Manifest("<requestedExecutionLevel level=\"AsInvoker\"/>"), true, "AsInvoker",
         "error: the manifest's requestedExecutionLevel has level"},
        {"no level attribute", Manifest("<requestedExecutionLevel/>"), true, "", "error: the manifest's requestedExecutionLevel has level \"\""},
        {"uiAccess not a boolean", Manifest("<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"yes\"/>"), true,
         "asInvoker", "error: the manifest's requestedExecutionLevel has uiAccess \"yes\""},
        {"level requested twice", Manifest(ok + ok), true, "asInvoker", "error: the manifest requests an execution level twice"},
        {"no level requested", Manifest(""), true, "", "warning: the manifest requests no execution level"},
        {"element in another namespace is not the level", Manifest("<requestedExecutionLevel xmlns=\"urn:x\" level=\"x\"/>"),
         true, "", "warning: the manifest requests no execution level"},
        {"tag not closed", Manifest("<requestedExecutionLevel level=\"asInvoker\">"), false, "asInvoker",
         "error: the manifest is not well-formed XML: mismatched tag (line 5, column 3)"},
        {"cut short", Manifest(ok).substr(0, 120), false, "", "error: the manifest is not well-formed XML"},
        {"wrong root", "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v3\" manifestVersion=\"1.0\"/>", true, "",
         "error: the manifest's root element is not an assembly of urn:schemas-microsoft-com:asm.v1"},
        {"wrong manifestVersion", "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"2.0\"/>", true,
         "", "error: the manifest's assembly has manifestVersion \"2.0\""},
        {"an entity that expands", "<!DOCTYPE a [<!ENTITY x \"xxxxxxxx\"><!ENTITY y \"&x;&x;&x;&x;\">]><a>&y;</a>", false,
         "", "error: the manifest holds a document type declaration"},
        {"nested too deep", Repeat("<a>", 70), false, "", "error: the manifest holds elements nested deeper than 64"},
        {"empty", "", false, "", "error: the manifest is not well-formed XML: no element found"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        tk::ManifestInfo info;
        tk::Problems p;
        tk::CheckManifest(reinterpret_cast<const uint8_t *>(c.text.data()), c.text.size(), &info, &p);
        EXPECT_EQ(info.wellFormed, c.wellFormed);
        EXPECT_EQ(info.executionLevel, c.level);
        if (!c.problem)
            EXPECT_TRUE(p.empty()) << Text(p);
        else
            EXPECT_NE(Text(p).find(c.problem), std::string::npos) << Text(p);
    }
}

TEST(Manifest, SizeBounded)
{
    std::string big = Manifest("<requestedExecutionLevel level=\"asInvoker\"/>", std::string(tk::kMaxManifestBytes, ' '));
    tk::ManifestInfo info;
    tk::Problems p;
    tk::CheckManifest(reinterpret_cast<const uint8_t *>(big.data()), big.size(), &info, &p);
    EXPECT_FALSE(info.wellFormed);
    EXPECT_NE(Text(p).find("more than the 1048576 read"), std::string::npos) << Text(p);
}

}  // namespace
