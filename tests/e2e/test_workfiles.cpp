// The payload files in the work directory: a name planted as a link to a
// file elsewhere is neither written through nor deleted (deleting a link can
// remove its target); a work directory as long as the launcher's path buffer
// works (the platform's 128-byte OpenFile structure no longer limits it).
#include "tests/e2e/e2e_support.h"

namespace {

using e2e::Case;

// The folder plant-links.sh prepared: temp\ with links under the payload
// names, probe\ with one under the probe's, outside\ with their targets.
std::string Planted() {
    const std::string links = rig::EnvOr("CORVANE_E2E_LINKS", "");
    return links.empty() ? links : rig::WithBackslash(rig::WinPath(links));
}

::testing::AssertionResult VictimsIntact(const std::string &planted) {
    for (const char *name : {"_INS0366._MP", "_INS0466._MP", "_INS0166._MP", "_INS0566._MP"}) {
        std::string text;
        if (!rig::ReadBytes(planted + "outside\\" + name + ".victim", text))
            return ::testing::AssertionFailure() << name << ": the file outside is gone";
        if (text != std::string("precious ") + name + "\n")
            return ::testing::AssertionFailure() << name << ": the file outside was written: " << text;
    }
    return ::testing::AssertionSuccess();
}

TEST(WorkFiles, LinksUnderThePayloadNamesAreNeitherWrittenNorDeleted) {
    E2E_REQUIRE_LAUNCHER();
    const std::string planted = Planted();
    ASSERT_FALSE(planted.empty()) << "CORVANE_E2E_LINKS: the folder plant-links.sh prepared";
    ASSERT_TRUE(VictimsIntact(planted)) << "the links read their targets";

    const Case c = e2e::PrepareCase(e2e::kFullMedium);
    e2e::Launch launch;
    launch.arguments = "-s";
    launch.env["TEMP"] = planted + "temp";
    launch.waitForExit = true;
    launch.timeoutMs = 30000;
    const e2e::Result r = e2e::RunLauncher(c, launch);
    ASSERT_TRUE(r.run.started) << r.run.error;
    EXPECT_FALSE(r.launched) << e2e::Describe(r);
    ASSERT_EQ(r.run.boxes.size(), 1u) << e2e::Describe(r);
    EXPECT_EQ(r.run.boxes[0].text, e2e::ExpectedText(c, 7064));
    EXPECT_EQ(r.run.exitCode, 7064u) << e2e::Describe(r);
    EXPECT_TRUE(VictimsIntact(planted));
}

TEST(WorkFiles, ALinkUnderTheProbeNameSkipsThatFolder) {
    E2E_REQUIRE_LAUNCHER();
    const std::string planted = Planted();
    ASSERT_FALSE(planted.empty()) << "CORVANE_E2E_LINKS: the folder plant-links.sh prepared";
    const std::string windows = e2e::WindowsDirectory();
    e2e::DeleteLauncherFilesIn(windows);

    const Case c = e2e::PrepareCase(e2e::kFullMedium);
    e2e::Launch launch;
    launch.arguments = "-s";
    launch.env["TEMP"] = planted + "probe";
    const e2e::Result r = e2e::RunLauncher(c, launch);
    ASSERT_TRUE(r.run.started) << r.run.error;
    EXPECT_TRUE(r.run.boxes.empty()) << e2e::Describe(r);
    ASSERT_TRUE(r.launched) << e2e::Describe(r);
    EXPECT_EQ(r.report.at("module"), windows + e2e::kBootstrapFile) << "the Windows directory, next";
    EXPECT_TRUE(VictimsIntact(planted));
    e2e::DeleteLauncherFilesIn(windows);
}

TEST(WorkFiles, ATempOf200CharactersIsTheWorkDirectory) {
    E2E_REQUIRE_LAUNCHER();
    const Case c = e2e::PrepareCase(e2e::kFullMedium);
    ASSERT_LT(c.root.size(), 150u);
    // Folders of at most 60 characters down to 200 in all, without the
    // trailing backslash.
    std::string temp = c.root.substr(0, c.root.size() - 1);
    while (temp.size() < 200) {
        const size_t room = 200 - temp.size() - 1;
        temp += "\\" + e2e::FillerName(room < 60 ? room : 60, false);
        ASSERT_TRUE(rig::MakeDirs(temp)) << temp;
    }
    ASSERT_EQ(temp.size(), 200u);

    e2e::Launch launch;
    launch.arguments = "-s";
    launch.env["TEMP"] = temp;
    const e2e::Result r = e2e::RunLauncher(c, launch);
    ASSERT_TRUE(r.run.started) << r.run.error;
    EXPECT_TRUE(r.run.boxes.empty()) << e2e::Describe(r);
    ASSERT_TRUE(r.launched) << e2e::Describe(r);
    EXPECT_EQ(r.report.at("module"), temp + "\\" + e2e::kBootstrapFile);
    const e2e::Originals &f = e2e::Files();
    EXPECT_TRUE(e2e::HoldsExactly(temp + "\\", {{e2e::kBootstrapFile, f.bootstrap},
                                                {e2e::kEngineFile, f.engine},
                                                {e2e::kCompanionFile, f.companion}}));
}

}  // namespace
