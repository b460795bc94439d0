#include "tools/lib/commit.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tools/lib/fileio.h"

namespace tk {

namespace {

std::function<int(const char *, const std::string &)> g_faults;

// The injected fault for `step` on `path`, else 0.
int Fault(const char *step, const std::string &path)
{
    return g_faults ? g_faults(step, path) : 0;
}

// A system call's result as 0 or the errno it failed with.
int Step(int result)
{
    return result == 0 ? 0 : errno ? errno : EIO;
}

int Link(const std::string &from, const std::string &to)
{
    if (int e = Fault("link", to))
        return e;
    return Step(link(from.c_str(), to.c_str()));
}

int Rename(const char *step, const std::string &from, const std::string &to)
{
    if (int e = Fault(step, to))
        return e;
    return Step(rename(from.c_str(), to.c_str()));
}

int Remove(const std::string &path)
{
    if (int e = Fault("remove", path))
        return e;
    return Step(unlink(path.c_str()));
}

// Flushes the file or folder at `path` to disk; 0 or the errno.
int Flush(const std::string &path, int flags)
{
    const int fd = open(path.c_str(), flags | O_CLOEXEC);
    if (fd < 0)
        return errno;
    const int e = fsync(fd) == 0 || errno == EINVAL ? 0 : errno;
    close(fd);
    return e;
}

// A copy of `from` at `to` (new), same mode, on disk; for file systems
// without hard links.
int Copy(const std::string &from, const std::string &to)
{
    if (int e = Fault("copy", to))
        return e;
    struct stat st;
    const int in = open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return errno;
    if (fstat(in, &st) != 0) {
        const int e = errno;
        close(in);
        return e;
    }
    const int out = open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, st.st_mode & 07777);
    if (out < 0) {
        const int e = errno;
        close(in);
        return e;
    }
    int e = 0;
    char buf[65536];
    for (;;) {
        const ssize_t n = read(in, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            e = n < 0 ? errno : 0;
            break;
        }
        for (ssize_t done = 0; done < n && e == 0;) {
            const ssize_t w = write(out, buf + done, (size_t)(n - done));
            if (w < 0 && errno != EINTR)
                e = errno;
            else if (w > 0)
                done += w;
        }
        if (e)
            break;
    }
    if (e == 0 && fsync(out) != 0)
        e = errno;
    if (close(out) != 0 && e == 0)
        e = errno;
    close(in);
    if (e)
        unlink(to.c_str());
    return e;
}

struct Entry {
    std::string name;
    std::string target;   // DIR/NAME
    std::string backup;   // STAGE/old.NAME, when there was an old file
    bool placed = false;  // the new file has the target's name
};

// Undoes the placed entries, last first. False when one could not be undone.
bool Undo(std::vector<Entry> *entries)
{
    bool all = true;
    for (size_t i = entries->size(); i-- > 0;) {
        Entry &e = (*entries)[i];
        if (!e.placed)
            continue;
        const int err = e.backup.empty() ? Remove(e.target) : Rename("restore", e.backup, e.target);
        if (err == 0)
            e.placed = false;
        else
            all = false;
    }
    return all;
}

}  // namespace

void SetCommitFaults(std::function<int(const char *step, const std::string &path)> faults)
{
    g_faults = std::move(faults);
}

bool CommitFiles(const std::string &stage, const std::string &dir, const std::vector<std::string> &names,
                 CommitOutcome *out)
{
    *out = CommitOutcome();
    SignalsHeld held;
    std::vector<Entry> entries;
    for (const std::string &name : names) {
        Entry e;
        e.name = name;
        e.target = dir + "/" + name;
        entries.push_back(e);
    }
    auto fail = [&](const Entry &e, int err) {
        out->file = e.target;
        out->why = strerror(err);
        return false;
    };
    auto dropBackups = [&]() {
        for (Entry &e : entries) {
            if (!e.backup.empty())
                unlink(e.backup.c_str());
            e.backup.clear();
        }
    };

    // The new files reach the disk before they take the old names, so a
    // crash cannot leave a name on an empty file.
    for (const Entry &e : entries) {
        if (int err = Flush(stage + "/" + e.name, O_RDONLY))
            return fail(e, err);
    }
    // A second name for every old file: nothing in `dir` changes yet.
    for (Entry &e : entries) {
        struct stat st;
        if (lstat(e.target.c_str(), &st) != 0) {
            if (errno == ENOENT)
                continue;
            const int err = errno;
            dropBackups();
            return fail(e, err);
        }
        if (S_ISDIR(st.st_mode)) {
            dropBackups();
            return fail(e, EISDIR);
        }
        const std::string backup = stage + "/old." + e.name;
        int err = Link(e.target, backup);
        if (err != 0 && S_ISREG(st.st_mode))
            err = Copy(e.target, backup);
        if (err != 0) {
            dropBackups();
            return fail(e, err);
        }
        e.backup = backup;
    }

    int failed = 0;
    for (Entry &e : entries) {
        if (SignalsHeld::Pending())
            break;
        failed = Rename("rename", stage + "/" + e.name, e.target);
        if (failed) {
            out->file = e.target;
            out->why = strerror(failed);
            break;
        }
        e.placed = true;
    }
    out->signal = SignalsHeld::Pending();
    if (failed || out->signal) {
        if (!Undo(&entries)) {
            out->restored = false;
            out->keptIn = stage;
            return false;
        }
        Flush(dir, O_RDONLY | O_DIRECTORY);
        dropBackups();
        return false;
    }
    Flush(dir, O_RDONLY | O_DIRECTORY);
    dropBackups();
    out->done = true;
    return true;
}

}  // namespace tk
