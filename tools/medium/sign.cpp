#include "tools/medium/sign.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

namespace medium {

bool RunCommand(const std::vector<std::string> &argv, const std::string &dir, std::string *why)
{
    if (argv.empty() || argv[0].empty()) {
        *why = "no program to run";
        return false;
    }
    std::vector<char *> args;
    for (const std::string &a : argv)
        args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    // The child reports a failed chdir or exec through this pipe (closed on
    // a successful exec), so "not found" is told apart from "exited with 127".
    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0) {
        *why = std::string("cannot start it (") + strerror(errno) + ")";
        return false;
    }
    fflush(nullptr);
    const pid_t pid = fork();
    if (pid < 0) {
        *why = std::string("cannot start it (") + strerror(errno) + ")";
        close(report[0]);
        close(report[1]);
        return false;
    }
    if (pid == 0) {
        close(report[0]);
        int failure[2] = {0, 0};   // stage (1 folder, 2 program), errno
        if (chdir(dir.c_str()) != 0 || dup2(2, 1) < 0) {
            failure[0] = 1;
            failure[1] = errno;
        } else {
            execvp(args[0], args.data());
            failure[0] = 2;
            failure[1] = errno;
        }
        ssize_t ignored = write(report[1], failure, sizeof failure);
        (void)ignored;
        _exit(127);
    }
    close(report[1]);
    int failure[2] = {0, 0};
    ssize_t got;
    do {
        got = read(report[0], failure, sizeof failure);
    } while (got < 0 && errno == EINTR);
    close(report[0]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (got == (ssize_t)sizeof failure) {
        if (failure[0] == 1)
            *why = dir + ": cannot run the command there (" + strerror(failure[1]) + ")";
        else if (failure[1] == ENOENT)
            *why = argv[0] + ": not found; install it or give its full path";
        else
            *why = argv[0] + ": cannot run it (" + strerror(failure[1]) + ")";
        return false;
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0)
        return true;
    if (WIFEXITED(status))
        *why = argv[0] + " exited with " + std::to_string(WEXITSTATUS(status));
    else if (WIFSIGNALED(status))
        *why = argv[0] + " was killed by signal " + std::to_string(WTERMSIG(status));
    else
        *why = argv[0] + " ended abnormally";
    return false;
}

}  // namespace medium
