#include <cstdio>

#include "cli/commands.h"

int discoverCommand(int, char**) {
    fputs("quorvalinthexa: discover is not available in this build\n", stderr);
    return 1;
}
