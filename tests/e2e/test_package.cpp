// A medium made with nothing but the Debian package (tests/package/
// make-medium.sh: the documented example library, the packaged stub, the
// sample payloads), and the same medium with its setup.exe signed after
// `medium build`: both run, start the bootstrap with the documented command
// line and deliver the payloads byte for byte. CORVANE_E2E_PACKAGE_MEDIA
// names the folder with medium/ and signed/.
#include "tests/e2e/e2e_support.h"

namespace {

TEST(PackagedMedium, RunsAndDeliversThePayloadsSignedOrNot) {
    E2E_REQUIRE_LAUNCHER();
    const std::string made = rig::WinPath(rig::EnvOr("CORVANE_E2E_PACKAGE_MEDIA", ""));
    ASSERT_FALSE(made.empty()) << "CORVANE_E2E_PACKAGE_MEDIA is not set";
    for (const char *variant : {"medium", "signed"}) {
        SCOPED_TRACE(variant);
        const e2e::Case c = e2e::PrepareCase(0, variant);
        const std::string from = rig::WithBackslash(rig::JoinPath(made, variant));
        for (const char *name : {"setup.exe", "SETUP.INS", "_SETUP.DLL"}) {
            ASSERT_TRUE(rig::CopyFileTo(from + name, c.medium + name)) << from + name;
        }
        std::string unsignedExe, signedExe;
        ASSERT_TRUE(rig::ReadBytes(rig::JoinPath(made, "medium\\setup.exe"), unsignedExe));
        ASSERT_TRUE(rig::ReadBytes(c.Launcher(), signedExe));
        if (std::string(variant) == "signed") {
            EXPECT_GT(signedExe.size(), unsignedExe.size()) << "the signature is missing";
        }

        e2e::Launch launch;
        launch.timeoutMs = 30000;
        const e2e::Result r = e2e::RunLauncher(c, launch);
        ASSERT_TRUE(r.launched) << e2e::Describe(r);
        EXPECT_TRUE(r.run.boxes.empty()) << e2e::Describe(r);
        EXPECT_TRUE(r.run.splashSeen) << "the example library's text splash";

        e2e::Command expected;
        expected.directory = c.temp;
        expected.copy = " -f" + rig::QuoteIfSpaces(c.medium + "SETUP.INS");
        expected.splash = true;
        EXPECT_EQ(r.report.at("cmdline"), e2e::ExpectedCommand(expected));
        // The launcher's current directory, not the work directory.
        EXPECT_EQ(rig::WithBackslash(r.report.at("cwd")), c.root);
        const e2e::Originals &f = e2e::Files();
        EXPECT_TRUE(e2e::HoldsExactly(c.temp, {{e2e::kBootstrapFile, f.bootstrap},
                                               {e2e::kEngineFile, f.engine},
                                               {e2e::kCompanionFile, f.companion}}));
    }
}

}  // namespace
