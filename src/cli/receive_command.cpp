#include <cstdio>

#include "cli/commands.h"

int receiveCommand(int, char**) {
    fputs("quorvalinthexa: receive is not available in this build\n", stderr);
    return 1;
}
