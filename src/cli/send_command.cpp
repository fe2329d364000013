#include <cstdio>

#include "cli/commands.h"

int sendCommand(int, char**) {
    fputs("quorvalinthexa: send is not available in this build\n", stderr);
    return 1;
}
