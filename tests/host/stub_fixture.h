// The one stand-in for the launcher stub in the medium tool's host tests:
// tests/fixtures/medium/small.exe (or the x86-64 small64.exe, as the
// launcher's twin) carrying small.dll's resources without its payload piece,
// the piece count strings 7100, 7200 and 7300 ("1") and the launcher's
// manifest, as the CMake-built stub carries them.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "tests/host/host_files.h"
#include "tools/lib/pe_image.h"
#include "tools/lib/reslist.h"
#include "tools/lib/stringtable.h"
#include "tools/medium/library_cli.h"

// The programs a stub is made from: PE32 (i386) and PE32+ (x86-64).
constexpr const char *kStubPrograms[] = {"small.exe", "small64.exe"};

inline std::vector<uint8_t> StubFixture(const char *program = "small.exe")
{
    const std::string dir = std::string(CORVANE_SOURCE_DIR) + "/tests/fixtures/medium/";
    const std::vector<uint8_t> dll = ReadFile(dir + "small.dll");
    tk::ResList res;
    std::string err;
    EXPECT_TRUE(tk::ReadResources(dll.data(), dll.size(), &res, &err)) << err;
    EXPECT_EQ(tk::ResRemove(&res, 3000, 7100), 1u);   // a stub has no payloads
    for (uint16_t id : {7100, 7200, 7300})
        EXPECT_TRUE(tk::SetString(&res, id, 0x409, u"1", &err)) << err;
    tk::ResEntry manifest;
    manifest.type = tk::ResNumber(tk::kRtManifest);
    manifest.name = tk::ResNumber(1);
    manifest.lang = 0x409;
    manifest.data = ReadFile(std::string(CORVANE_SOURCE_DIR) + "/resources/setup.manifest");
    tk::ResPut(&res, manifest);
    const std::vector<uint8_t> exe = ReadFile(dir + program);
    std::vector<uint8_t> stub;
    std::vector<std::string> warnings;
    EXPECT_TRUE(tk::ReplaceResources(exe.data(), exe.size(), res, &stub, &warnings, &err)) << err;
    return stub;
}

// The documented example library (docs/examples/library/library.txt) built
// at `path` by `medium library`, its report kept quiet; the exit code.
inline int WriteExampleLibrary(const std::string &path)
{
    FILE *quiet = tmpfile();
    const int code = medium::RunLibraryCommand(
        {std::string(CORVANE_SOURCE_DIR) + "/docs/examples/library/library.txt", "-o", path}, quiet, quiet);
    if (quiet)
        fclose(quiet);
    return code;
}
