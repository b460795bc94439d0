// medium inspect's report as text for the host tests' messages and checks:
// the findings as the command prints them, the whole inspection as JSON.
#pragma once

#include <stdio.h>

#include <string>
#include <vector>

#include "tests/host/host_files.h"
#include "tools/medium/inspect.h"

// One line a finding; the notes too unless `notes` is false.
inline std::string FindingsText(const std::vector<tk::Finding> &findings, bool notes = true)
{
    std::string s;
    for (const tk::Finding &f : findings)
        if (notes || f.severity != tk::Severity::Note)
            s += tk::FindingLine(f) + "\n";
    return s;
}

// What `medium inspect --json` prints for `in`.
inline std::string InspectionJson(const medium::Inspection &in)
{
    FILE *f = tmpfile();
    medium::PrintInspectionJson(f, in);
    return ReadBackAndClose(f);
}
