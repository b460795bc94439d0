// Putting a medium in place all or nothing: CommitFiles with a fault at
// each of its steps, and `medium build` against the faults a real output
// folder has (an immutable file, a read-only folder, a full disk, a signal
// during the commit), each with an old medium there and without one. In
// every failure the folder ends as it began, byte for byte, and files that
// are not the medium's are never touched.
#include <gtest/gtest.h>

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <signal.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "tests/host/host_files.h"
#include "tests/host/stub_fixture.h"
#include "tools/lib/commit.h"
#include "tools/lib/fileio.h"
#include "tools/medium/cli.h"
#include "tools/medium/library_cli.h"

namespace {

using Bytes = std::vector<uint8_t>;
// A folder's regular files, name to bytes (sub-folders by name only).
using Snapshot = std::map<std::string, Bytes>;

Snapshot Snap(const std::string &dir)
{
    Snapshot s;
    DIR *d = opendir(dir.c_str());
    if (!d)
        return s;
    while (struct dirent *e = readdir(d)) {
        const std::string name = e->d_name;
        if (name == "." || name == "..")
            continue;
        struct stat st;
        if (lstat((dir + "/" + name).c_str(), &st) == 0 && S_ISDIR(st.st_mode))
            s[name + "/"] = Bytes();
        else
            s[name] = ReadFile(dir + "/" + name);
    }
    closedir(d);
    return s;
}

Bytes Text(const std::string &s)
{
    return Bytes(s.begin(), s.end());
}

std::string TempFolder()
{
    char tmpl[] = "/tmp/medium-commit-XXXXXX";
    return mkdtemp(tmpl) ? tmpl : "";
}

void RemoveTree(const std::string &dir)
{
    const std::string cmd = "chattr -R -i '" + dir + "' 2>/dev/null; rm -rf '" + dir + "'";
    EXPECT_EQ(system(cmd.c_str()), 0);
}

// Sets or clears the immutable flag (as `chattr +i`); false where the file
// system or the user cannot.
bool SetImmutable(const std::string &path, bool on)
{
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK);
    if (fd < 0)
        return false;
    int flags = 0;
    bool ok = ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
    ok = ok && ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    close(fd);
    return ok;
}

// CommitFiles with one step failing (or a signal arriving) at a time, over
// an output folder with the whole old medium, a part of it, or none.
TEST(CommitFiles, EachFailedStepLeavesTheFolderAsItWas)
{
    const std::vector<std::string> names = {"setup.exe", "SETUP.INS", "_SETUP.DLL"};
    const struct {
        const char *what;
        std::vector<std::string> old;   // which of `names` the folder has
    } folders[] = {
        {"a whole old medium", names},
        {"part of one", {"SETUP.INS"}},
        {"none", {}},
    };
    const struct {
        const char *what;
        const char *step;   // the steps that fail or raise ("link,copy")
        const char *name;   // on this file
        int error;          // 0: SIGTERM arrives there instead
        bool done;          // the commit still succeeds
    } faults[] = {
        {"no hard links: copied instead", "link", "old.SETUP.INS", EPERM, true},
        {"no hard link, no copy (disk full)", "link,copy", "old.SETUP.INS", ENOSPC, false},
        {"the first rename", "rename", "setup.exe", EPERM, false},
        {"a middle rename (an immutable file)", "rename", "SETUP.INS", EPERM, false},
        {"the last rename", "rename", "_SETUP.DLL", EROFS, false},
        {"a signal before the second rename", "rename", "SETUP.INS", 0, false},
        {"a signal at the last rename", "rename", "_SETUP.DLL", 0, false},
    };
    for (const auto &folder : folders) {
        for (const auto &fault : faults) {
            SCOPED_TRACE(std::string(folder.what) + ", " + fault.what);
            const std::string root = TempFolder();
            ASSERT_NE(root, "");
            const std::string dir = root + "/out", stage = dir + "/.stage";
            ASSERT_EQ(mkdir(dir.c_str(), 0777), 0);
            ASSERT_EQ(mkdir(stage.c_str(), 0777), 0);
            ASSERT_TRUE(WriteFile(dir + "/notes.txt", Text("not the medium's")));
            for (const std::string &n : folder.old)
                ASSERT_TRUE(WriteFile(dir + "/" + n, Text("old " + n)));
            for (const std::string &n : names)
                ASSERT_TRUE(WriteFile(stage + "/" + n, Text("new " + n)));
            Snapshot before = Snap(dir);

            tk::SetCommitFaults([&](const char *step, const std::string &path) {
                const bool here = strstr(fault.step, step) != nullptr &&
                                  path.size() > strlen(fault.name) &&
                                  path.compare(path.size() - strlen(fault.name), std::string::npos, fault.name) == 0 &&
                                  path[path.size() - strlen(fault.name) - 1] == '/';
                if (here && fault.error == 0)
                    raise(SIGTERM);
                return here ? fault.error : 0;
            });
            tk::CommitOutcome outcome;
            bool done;
            int pending;
            {
                tk::SignalsHeld held;   // the raised signal waits here, then is taken
                done = tk::CommitFiles(stage, dir, names, &outcome);
                pending = tk::SignalsHeld::Pending();
                if (pending) {
                    sigset_t set;
                    sigemptyset(&set);
                    sigaddset(&set, pending);
                    int sig = 0;
                    sigwait(&set, &sig);
                }
            }
            tk::SetCommitFaults(nullptr);

            // A fault in keeping an old file cannot happen without one.
            bool hasOld = false;
            for (const std::string &n : folder.old)
                hasOld = hasOld || strstr(fault.name, n.c_str()) != nullptr;
            const bool expectDone = fault.done || (strncmp(fault.name, "old.", 4) == 0 && !hasOld);
            EXPECT_EQ(done, expectDone);
            EXPECT_EQ(outcome.done, expectDone);
            EXPECT_TRUE(outcome.restored);
            EXPECT_EQ(outcome.signal, fault.error == 0 ? SIGTERM : 0);
            EXPECT_EQ(pending, fault.error == 0 ? SIGTERM : 0);
            Snapshot after = Snap(dir);
            Snapshot staged = Snap(stage);
            if (expectDone) {
                for (const std::string &n : names)
                    EXPECT_EQ(after[n], Text("new " + n)) << n;
                EXPECT_EQ(after["notes.txt"], Text("not the medium's"));
                EXPECT_TRUE(staged.empty()) << "no old copies left: " << staged.begin()->first;
            } else {
                EXPECT_EQ(after, before);
                if (fault.error != 0)
                    EXPECT_EQ(outcome.file, dir + "/" + (fault.name + (strncmp(fault.name, "old.", 4) == 0 ? 4 : 0)));
                for (const auto &s : staged)
                    EXPECT_EQ(s.first.rfind("old.", 0), std::string::npos) << "left behind: " << s.first;
            }
            RemoveTree(root);
        }
    }
}

// When undoing fails too, the old files are kept in the staging folder and
// the outcome says where: nothing old is deleted.
TEST(CommitFiles, AFailedUndoKeepsTheOldFiles)
{
    const std::string root = TempFolder();
    ASSERT_NE(root, "");
    const std::string dir = root + "/out", stage = dir + "/.stage";
    ASSERT_EQ(mkdir(dir.c_str(), 0777), 0);
    ASSERT_EQ(mkdir(stage.c_str(), 0777), 0);
    for (const char *n : {"a", "b"}) {
        ASSERT_TRUE(WriteFile(dir + "/" + n, Text(std::string("old ") + n)));
        ASSERT_TRUE(WriteFile(stage + "/" + n, Text(std::string("new ") + n)));
    }
    tk::SetCommitFaults([&](const char *step, const std::string &path) {
        if (strcmp(step, "rename") == 0 && path == dir + "/b")
            return EIO;
        if (strcmp(step, "restore") == 0)
            return EIO;
        return 0;
    });
    tk::CommitOutcome outcome;
    EXPECT_FALSE(tk::CommitFiles(stage, dir, {"a", "b"}, &outcome));
    tk::SetCommitFaults(nullptr);
    EXPECT_FALSE(outcome.restored);
    EXPECT_EQ(outcome.keptIn, stage);
    EXPECT_EQ(ReadFile(stage + "/old.a"), Text("old a"));
    EXPECT_EQ(ReadFile(stage + "/old.b"), Text("old b"));
    RemoveTree(root);
}

// `medium build` from flags into an output folder that fails in one way,
// with and without an old medium in it.
class MediumCommitTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        root_ = TempFolder();
        ASSERT_NE(root_, "");
        out_ = root_ + "/out";
        const std::string fixtures = std::string(CORVANE_SOURCE_DIR) + "/tests/fixtures/medium/";
        ASSERT_TRUE(WriteFile(root_ + "/stub.exe", StubFixture()));
        ASSERT_TRUE(WriteFile(root_ + "/boot.exe", ReadFile(fixtures + "small.exe")));
        ASSERT_TRUE(WriteFile(root_ + "/engine.exe", Text("engine")));
        ASSERT_TRUE(WriteFile(root_ + "/SETUP.INS", Text("script one")));
        // A companion that does not compress: it fills a small disk.
        Bytes big(400 * 1024);
        uint32_t x = 12345;
        for (uint8_t &b : big) {
            x = x * 1103515245u + 12345u;
            b = (uint8_t)(x >> 24);
        }
        ASSERT_TRUE(WriteFile(root_ + "/big.bin", big));
        ASSERT_TRUE(WriteFile(root_ + "/small.bin", Text("companion")));
        ASSERT_EQ(WriteExampleLibrary(root_ + "/ex.dll"), 0);
    }
    void TearDown() override
    {
        for (size_t i = mounts_.size(); i-- > 0;)
            umount2(mounts_[i].c_str(), MNT_DETACH);
        RemoveTree(root_);
    }
    // `medium build` with its output quiet; the exit code.
    int Build(const char *companion, const char *script = "SETUP.INS")
    {
        std::vector<std::string> words = {"build",       "--stub",      root_ + "/stub.exe", "--bootstrap",
                                          root_ + "/boot.exe", "--engine", root_ + "/engine.exe", "--companion",
                                          root_ + "/" + companion, "--script", root_ + "/" + script, "--library",
                                          root_ + "/ex.dll", "--out", out_, "--piece-size", "65536"};
        std::vector<char *> argv;
        for (std::string &w : words)
            argv.push_back(&w[0]);
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        const int code = medium::BuildCommand((int)argv.size(), argv.data());
        testing::internal::GetCapturedStdout();
        err_ = testing::internal::GetCapturedStderr();
        return code;
    }
    // A small tmpfs as the output folder; false where this machine cannot.
    bool MountSmallDisk(const char *size)
    {
        mkdir(out_.c_str(), 0777);
        const std::string options = std::string("size=") + size;
        if (mount("tmpfs", out_.c_str(), "tmpfs", 0, options.c_str()) != 0)
            return false;
        mounts_.push_back(out_);
        return true;
    }

public:   // the cases' lambdas break the folder
    std::string root_, out_, err_;
    std::vector<std::string> mounts_;
};

TEST_F(MediumCommitTest, AFailedBuildLeavesTheOutputFolderAsItWas)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root (immutable files, mounts)";
    const struct {
        const char *what;
        bool oldMedium;
        // Breaks the folder after the old medium (if any) is built; false:
        // this machine cannot, the case is skipped.
        std::function<bool(MediumCommitTest &)> breakIt;
        const char *companion;
        const char *error;
    } cases[] = {
        {"an immutable SETUP.INS", true,
         [](MediumCommitTest &t) { return SetImmutable(t.out_ + "/SETUP.INS", true); }, "small.bin",
         "SETUP.INS: cannot put in place (Operation not permitted)"},
        {"an immutable SETUP.INS alone", false,
         [](MediumCommitTest &t) {
             return WriteFile(t.out_ + "/SETUP.INS", Text("a lone script")) &&
                    SetImmutable(t.out_ + "/SETUP.INS", true);
         },
         "small.bin", "SETUP.INS: cannot put in place (Operation not permitted)"},
        {"an immutable folder", true, [](MediumCommitTest &t) { return SetImmutable(t.out_, true); }, "small.bin",
         "cannot create a folder to build in"},
        {"an empty immutable folder", false, [](MediumCommitTest &t) { return SetImmutable(t.out_, true); },
         "small.bin", "cannot create a folder to build in"},
        {"a read-only file system", true,
         [](MediumCommitTest &t) {
             return mount(nullptr, t.out_.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
         },
         "small.bin", "cannot create a folder to build in"},
        {"a full disk", true, [](MediumCommitTest &) { return true; }, "big.bin", "No space left on device"},
        {"an empty full disk", false, [](MediumCommitTest &) { return true; }, "big.bin",
         "No space left on device"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(MountSmallDisk("300k")) << "tmpfs: " << strerror(errno);
        ASSERT_TRUE(WriteFile(out_ + "/notes.txt", Text("not the medium's")));
        if (c.oldMedium)
            ASSERT_EQ(Build("small.bin"), medium::kExitOk) << err_;
        // Every file of the new medium differs from the old one's.
        ASSERT_TRUE(WriteFile(root_ + "/SETUP.INS", Text("script two")));
        ASSERT_TRUE(WriteFile(root_ + "/engine.exe", Text("engine two")));
        if (!c.breakIt(*this)) {
            ADD_FAILURE() << "cannot break the folder on this machine: " << strerror(errno);
        } else {
            const Snapshot before = Snap(out_);
            EXPECT_EQ(before.count("setup.exe"), c.oldMedium ? 1u : 0u);
            EXPECT_EQ(Build(c.companion), medium::kExitIo) << err_;
            EXPECT_NE(err_.find(c.error), std::string::npos) << err_;
            EXPECT_EQ(Snap(out_), before) << err_;
        }
        SetImmutable(out_ + "/SETUP.INS", false);
        SetImmutable(out_, false);
        ASSERT_EQ(umount2(out_.c_str(), MNT_DETACH), 0);
        mounts_.pop_back();
        ASSERT_TRUE(WriteFile(root_ + "/SETUP.INS", Text("script one")));
        ASSERT_TRUE(WriteFile(root_ + "/engine.exe", Text("engine")));
    }
}

// SIGTERM during the commit (raised at one of its renames): the old medium
// is back, or nothing new is left, the staging folder is gone, and the tool
// then dies of the signal.
TEST_F(MediumCommitTest, ASignalDuringTheCommitUndoesIt)
{
    for (bool oldMedium : {true, false}) {
        for (const char *at : {"setup.exe", "SETUP.INS", "_SETUP.DLL"}) {
            SCOPED_TRACE(std::string(oldMedium ? "old medium, " : "no old medium, ") + "at " + at);
            ASSERT_EQ(mkdir(out_.c_str(), 0777), 0);
            ASSERT_TRUE(WriteFile(out_ + "/notes.txt", Text("not the medium's")));
            if (oldMedium)
                ASSERT_EQ(Build("small.bin"), medium::kExitOk) << err_;
            const Snapshot before = Snap(out_);
            const std::string target = out_ + "/" + at;
            fflush(nullptr);
            const pid_t child = fork();
            ASSERT_GE(child, 0);
            if (child == 0) {
                tk::SetCommitFaults([&](const char *step, const std::string &path) {
                    if (strcmp(step, "rename") == 0 && path == target)
                        raise(SIGTERM);
                    return 0;
                });
                Build("engine.exe");
                _exit(99);   // not reached: the signal ends the tool
            }
            int status = 0;
            ASSERT_EQ(waitpid(child, &status, 0), child);
            EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << "status " << status;
            EXPECT_EQ(Snap(out_), before);
            RemoveTree(out_);
        }
    }
}

}  // namespace
