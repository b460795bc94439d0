// langtable: see README.md.
#include <stdio.h>

#include "tools/langtable/ltcli.h"

int main(int argc, char **argv)
{
    return lt::ToolMain(argc, argv, stdout, stderr);
}
