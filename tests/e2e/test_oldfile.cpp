// An old "_INS0366._MP" from an earlier run, held open by another program
// (here the driver): the launcher waits up to 20 s for it to go, without
// spinning a core, and then either replaces it or, still held, shows box
// 7064 and launches nothing; the platform's quiet fallback to another file
// name ("_INS0366._M_") must not lead to starting the old bootstrap. The same
// holds when the tick count wraps during the wait (the probe shifts the
// launcher's tick count so that it wraps a few seconds after the start).
#include "tests/e2e/e2e_support.h"

namespace {

using e2e::Case;

const char kOldContent[] = "stale bootstrap of an earlier run\r\n";

struct OldFileRow {
    const char *name;
    DWORD wrapAfterMs;  // 0: the tick count does not wrap
};

// Failure messages name the row.
void PrintTo(const OldFileRow &row, std::ostream *os) {
    *os << row.name;
}

// The old bootstrap, held open so that it can be neither deleted nor
// replaced. Released by Release() or at the end.
class HeldFile {
public:
    explicit HeldFile(const std::string &path) {
        EXPECT_TRUE(rig::WriteBytes(path, kOldContent));
        handle_ = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
        EXPECT_NE(handle_, INVALID_HANDLE_VALUE);
        EXPECT_FALSE(DeleteFileA(path.c_str())) << "a held file must not be deletable";
    }
    ~HeldFile() { Release(); }
    void Release() {
        if (handle_ != INVALID_HANDLE_VALUE) {
            CloseHandle(handle_);
            handle_ = INVALID_HANDLE_VALUE;
            releaseTick_ = GetTickCount();
        }
    }
    bool Held() const { return handle_ != INVALID_HANDLE_VALUE; }
    DWORD ReleaseTick() const { return releaseTick_; }

private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
    DWORD releaseTick_ = 0;
};

e2e::Launch ProbedLaunch(const Case &c, const OldFileRow &row) {
    e2e::Launch launch;
    launch.arguments = "-s";
    launch.injectDlls.push_back(e2e::Files().probe);
    launch.env["CORVANE_PROBE_CPU"] = "1";
    if (row.wrapAfterMs != 0) {
        // Launcher tick = real tick + shift, which is 0 wrapAfterMs from now.
        const DWORD shift = 0u - (GetTickCount() + row.wrapAfterMs);
        launch.env["CORVANE_PROBE_TICK_SHIFT"] = std::to_string(shift);
    }
    (void)c;
    return launch;
}

void ExpectProbe(const e2e::Result &r, const OldFileRow &row) {
    if (row.wrapAfterMs != 0) {
        EXPECT_GT(r.HookCount("GetTickCount"), 0)
            << "the launcher imports no GetTickCount the probe could shift" << e2e::Describe(r);
    }
}

class ReleasedTable : public ::testing::TestWithParam<OldFileRow> {};

TEST_P(ReleasedTable, TheLauncherWaitsForItThenReplacesIt) {
    E2E_REQUIRE_LAUNCHER();
    const OldFileRow &row = GetParam();
    const Case c = e2e::PrepareCase(e2e::kFullMedium);
    HeldFile held(c.temp + e2e::kBootstrapFile);
    const DWORD holdMs = 6000;
    e2e::Launch launch = ProbedLaunch(c, row);
    HeldFile *file = &held;
    launch.stopWhen = [file, holdMs](const rig::Run &run) {
        if (file->Held() && GetTickCount() - run.startTick >= holdMs)
            file->Release();
        return false;
    };
    const e2e::Result r = e2e::RunLauncher(c, launch);
    ASSERT_TRUE(r.run.started) << r.run.error;
    ExpectProbe(r, row);
    EXPECT_TRUE(r.run.boxes.empty()) << e2e::Describe(r);
    ASSERT_TRUE(r.launched) << e2e::Describe(r);
    EXPECT_GE(int32_t(r.LaunchTick() - held.ReleaseTick()), 0) << "launched before the old file was released";
    EXPECT_EQ(r.report.at("module"), c.temp + e2e::kBootstrapFile);
    const e2e::Originals &f = e2e::Files();
    EXPECT_TRUE(e2e::HoldsExactly(c.temp, {{e2e::kBootstrapFile, f.bootstrap},
                                           {e2e::kEngineFile, f.engine},
                                           {e2e::kCompanionFile, f.companion}}));
    // While it waits the launcher keeps a core free: a busy loop of tries
    // takes 40 % and more of a core here, a loop that sleeps between them 3 %.
    DWORD covered = 0;
    const long cpu = r.CpuBetween(held.ReleaseTick() - 4000, held.ReleaseTick(), &covered);
    ASSERT_GE(cpu, 0) << "no CPU samples over the wait" << e2e::Describe(r);
    ASSERT_GE(covered, 1000u) << "the samples span too little of the wait" << e2e::Describe(r);
    e2e::Measure("launcher CPU over the last part of the wait", cpu, "ms");
    e2e::Measure("span of that part", long(covered), "ms");
    e2e::Measure("launch after the release", int32_t(r.LaunchTick() - held.ReleaseTick()), "ms");
    EXPECT_LT(cpu * 4, long(covered)) << "CPU milliseconds used in the last part of the wait";
}

class HeldTable : public ::testing::TestWithParam<OldFileRow> {};

TEST_P(HeldTable, AfterTwentySecondsBox7064AndNoLaunch) {
    E2E_REQUIRE_LAUNCHER();
    const OldFileRow &row = GetParam();
    const Case c = e2e::PrepareCase(e2e::kFullMedium);
    HeldFile held(c.temp + e2e::kBootstrapFile);
    e2e::Launch launch = ProbedLaunch(c, row);
    launch.timeoutMs = 60000;
    const e2e::Result r = e2e::RunLauncher(c, launch);
    held.Release();
    ASSERT_TRUE(r.run.started) << r.run.error;
    ExpectProbe(r, row);
    EXPECT_TRUE(r.run.exited) << e2e::Describe(r);
    EXPECT_EQ(r.run.exitCode, 7064u);
    EXPECT_FALSE(r.launched) << "the old bootstrap was started" << e2e::Describe(r);
    ASSERT_EQ(r.run.boxes.size(), 1u) << e2e::Describe(r);
    EXPECT_EQ(r.run.boxes[0].caption, e2e::ExpectedCaption(c));
    EXPECT_EQ(r.run.boxes[0].text, e2e::ExpectedText(c, 7064));
    const DWORD boxAfter = r.run.boxes[0].tick - r.run.startTick;
    EXPECT_GE(boxAfter, 19900u) << "the wait was cut short" << e2e::Describe(r);
    // After the 20 s wait, and well before a second one would end.
    EXPECT_LT(boxAfter, 40000u) << e2e::Describe(r);
    // Only the old file is left, unchanged; no file under another name.
    const std::string old = c.root + "old-bootstrap.bin";
    ASSERT_TRUE(rig::WriteBytes(old, kOldContent));
    EXPECT_TRUE(e2e::HoldsExactly(c.temp, {{e2e::kBootstrapFile, old}}));
    DWORD covered = 0;
    const long cpu = r.CpuBetween(r.run.startTick + 4000, r.run.startTick + 16000, &covered);
    ASSERT_GE(cpu, 0) << "no CPU samples over the wait" << e2e::Describe(r);
    ASSERT_GE(covered, 4000u) << "the samples span too little of the wait" << e2e::Describe(r);
    e2e::Measure("launcher CPU over the sampled part of the wait", cpu, "ms");
    e2e::Measure("box 7064 after the start", boxAfter, "ms");
    EXPECT_LT(cpu * 4, long(covered)) << "CPU milliseconds used in the sampled part of the wait";
}

const OldFileRow kRows[] = {
    {"SteadyTickCount", 0},
    {"TickCountWrapsDuringTheWait", 3000},
};
auto RowName = [](const ::testing::TestParamInfo<OldFileRow> &p) { return std::string(p.param.name); };
INSTANTIATE_TEST_SUITE_P(OldBootstrapReleased, ReleasedTable, ::testing::ValuesIn(kRows), RowName);
INSTANTIATE_TEST_SUITE_P(OldBootstrapHeld, HeldTable, ::testing::ValuesIn(kRows), RowName);

}  // namespace
