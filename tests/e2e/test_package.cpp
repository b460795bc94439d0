// A medium made with nothing but the Debian package (tests/package/
// make-medium.sh: the documented example library, the packaged stub, the
// sample payloads), the same medium with its setup.exe signed after
// `medium build`, and the medium a project started by `medium new` gives
// (built, signed with every program inside, sealed and checked by `medium
// build project.toml`): all run, start
// the bootstrap with the documented command line and deliver the payloads
// byte for byte. CORVANE_E2E_PACKAGE_MEDIA names the folder with medium/,
// signed/ and project/medium/.
#include "tests/e2e/e2e_support.h"

namespace {

TEST(PackagedMedium, RunsAndDeliversThePayloadsSignedOrNot) {
    E2E_REQUIRE_LAUNCHER();
    const std::string made = rig::WinPath(rig::EnvOr("CORVANE_E2E_PACKAGE_MEDIA", ""));
    ASSERT_FALSE(made.empty()) << "CORVANE_E2E_PACKAGE_MEDIA is not set";
    for (const char *variant : {"medium", "signed", "project\\medium"}) {
        SCOPED_TRACE(variant);
        const bool project = std::string(variant) != "medium" && std::string(variant) != "signed";
        const e2e::Case c = e2e::PrepareCase(0, project ? "project" : variant);
        const std::string from = rig::WithBackslash(rig::JoinPath(made, variant));
        for (const char *name : {"setup.exe", "SETUP.INS", "_SETUP.DLL"}) {
            ASSERT_TRUE(rig::CopyFileTo(from + name, c.medium + name)) << from + name;
        }
        std::string unsignedExe, signedExe;
        ASSERT_TRUE(rig::ReadBytes(rig::JoinPath(made, "medium\\setup.exe"), unsignedExe));
        ASSERT_TRUE(rig::ReadBytes(c.Launcher(), signedExe));
        if (std::string(variant) != "medium") {
            EXPECT_GT(signedExe.size(), unsignedExe.size()) << "the signature is missing";
        }

        e2e::Launch launch;
        launch.timeoutMs = 30000;
        const e2e::Result r = e2e::RunLauncher(c, launch);
        ASSERT_TRUE(r.launched) << e2e::Describe(r);
        EXPECT_TRUE(r.run.boxes.empty()) << e2e::Describe(r);
        // The example library has a text splash; the starter project's has none.
        EXPECT_EQ(r.run.splashSeen, !project);

        e2e::Command expected;
        expected.directory = c.temp;
        expected.copy = " -f" + rig::QuoteIfSpaces(c.medium + "SETUP.INS");
        expected.splash = !project;
        EXPECT_EQ(r.report.at("cmdline"), e2e::ExpectedCommand(expected));
        // The launcher's current directory, not the work directory.
        EXPECT_EQ(rig::WithBackslash(r.report.at("cwd")), c.root);
        // The project signs the programs inside: they arrive with their
        // signatures, as `medium extract` gives them.
        const e2e::Originals &f = e2e::Files();
        const std::string extracted = rig::WithBackslash(rig::JoinPath(made, "project\\extracted"));
        EXPECT_TRUE(e2e::HoldsExactly(
            c.temp, {{e2e::kBootstrapFile, project ? extracted + e2e::kBootstrapFile : f.bootstrap},
                     {e2e::kEngineFile, project ? extracted + e2e::kEngineFile : f.engine},
                     {e2e::kCompanionFile, f.companion}}));
    }
}

}  // namespace
