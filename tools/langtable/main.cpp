// langtable: see README.md.
#include <stdio.h>

#include "tools/langtable/ltcli.h"
#include "tools/lib/fileio.h"

int main(int argc, char **argv)
{
    tk::InstallTempCleanup();
    return lt::ToolMain(argc, argv, stdout, stderr);
}
