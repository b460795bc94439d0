// medium_runner.exe: runs a medium's setup.exe as a user would, answers its
// message boxes, and tells what happened: the boxes, the command line the
// bootstrap received, the work directory and the files expanded there, and
// when the launcher ended.
//
//   medium_runner SETUP.EXE [ARGUMENTS...]
//
// CORVANE_SPLASH_SIGNAL, when set, names a file that the runner creates once
// it sees the launcher's splash, so that a script can photograph it.
//
// Exit status: 0 when the bootstrap was launched and the launcher ended by
// itself with code 0; 1 when no launch happened; 2 on a wrong command line;
// 3 when the launcher had to be stopped or ended with another code.
#include "tests/e2e/library_info.h"
#include "tests/e2e/rig.h"

#include <stdio.h>
#include <stdlib.h>

namespace {

std::string Arguments(int argc, char **argv) {
    std::string out;
    for (int i = 2; i < argc; ++i) {
        if (!out.empty())
            out += ' ';
        out += argv[i];
    }
    return out;
}

// The -x argument of the launched command line: the work directory.
std::string WorkDirectoryOf(const std::string &cmdline) {
    const size_t at = cmdline.rfind(" -x");
    if (at == std::string::npos)
        return "";
    std::string dir = cmdline.substr(at + 3);
    if (dir.size() >= 2 && dir.front() == '"' && dir.back() == '"')
        dir = dir.substr(1, dir.size() - 2);
    return dir;
}

unsigned long FileSize(const std::string &path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
        return 0;
    return data.nFileSizeLow;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: medium_runner SETUP.EXE [ARGUMENTS...]\n");
        return 2;
    }
    const std::string setup = rig::WinPath(argv[1]);
    char temp[MAX_PATH] = "";
    GetEnvironmentVariableA("TEMP", temp, sizeof temp);
    const std::string report = rig::JoinPath(temp, "corvane-medium-runner-report.txt");
    DeleteFileA(report.c_str());

    rig::RunOptions o;
    o.program = setup;
    o.arguments = Arguments(argc, argv);
    o.setEnv["CORVANE_REPORT"] = report;
    o.timeoutMs = 180000;  // the latest a launcher with a splash ends is 135 s
    const std::string splashSignal = rig::EnvOr("CORVANE_SPLASH_SIGNAL", "");
    bool signalled = false;
    o.stopWhen = [&](const rig::Run &watched) {
        if (watched.splashSeen && !signalled && !splashSignal.empty()) {
            signalled = true;
            rig::WriteBytes(rig::WinPath(splashSignal), "splash\n");
        }
        return false;
    };

    printf("launcher:        %s (%lu bytes)\n", setup.c_str(), FileSize(setup));
    printf("arguments:       %s\n", o.arguments.empty() ? "(none)" : o.arguments.c_str());
    printf("TEMP:            %s\n", temp);
    // The launcher keeps no log: its resource module, run here in the same
    // locale, tells what it makes of the medium's library.
    const size_t slash = setup.find_last_of("\\/");
    const std::string library = (slash == std::string::npos ? std::string() : setup.substr(0, slash + 1)) + "_SETUP.DLL";
    printf("library:         %s\n", library.c_str());
    printf("  resources:     %s\n", libinfo::Describe(libinfo::Inspect(library)).c_str());
    fflush(stdout);
    const rig::Run run = rig::RunAndWatch(o);
    if (!run.started) {
        printf("the launcher did not start: %s\n", run.error.c_str());
        return 1;
    }
    for (const rig::Box &box : run.boxes)
        printf("message box:     at +%lu ms [%s] %s\n", static_cast<unsigned long>(box.tick - run.startTick), box.caption.c_str(),
               box.text.c_str());
    if (run.boxes.empty())
        printf("message boxes:   none\n");
    printf("splash seen:     %s\n", run.splashSeen ? "yes" : "no");

    std::map<std::string, std::string> fields;
    const bool launched = rig::ReadReport(report, fields);
    DWORD launchTick = 0;
    if (launched) {
        launchTick = DWORD(strtoul(fields["tick"].c_str(), nullptr, 10));
        const std::string work = WorkDirectoryOf(fields["cmdline"]);
        printf("bootstrap:       %s, started %lu ms after the launcher\n", fields["module"].c_str(),
               static_cast<unsigned long>(launchTick - run.startTick));
        printf("command line:    %s\n", fields["cmdline"].c_str());
        printf("work directory:  %s\n", work.c_str());
        for (const std::string &name : rig::ListNames(work))
            if (name.size() > 4 && _strnicmp(name.c_str(), "_INS", 4) == 0)
                printf("  extracted:     %-14s %8lu bytes\n", name.c_str(),
                       FileSize(rig::JoinPath(work, name)));
    } else {
        printf("bootstrap:       NOT LAUNCHED (no report in %s)\n", report.c_str());
    }
    if (run.exited) {
        printf("launcher ended:  %lu ms after its start", static_cast<unsigned long>(run.exitTick - run.startTick));
        if (launched)
            printf(", %lu ms after the launch", static_cast<unsigned long>(run.exitTick - launchTick));
        printf(", exit code %lu\n", static_cast<unsigned long>(run.exitCode));
    } else {
        printf("launcher ended:  NO, stopped after %lu ms\n", static_cast<unsigned long>(o.timeoutMs));
    }
    if (launched)
        rig::WaitOrEnd(DWORD(strtoul(fields["pid"].c_str(), nullptr, 10)), 15000);
    DeleteFileA(report.c_str());
    if (!launched)
        return 1;
    return run.exited && run.exitCode == 0 ? 0 : 3;
}
