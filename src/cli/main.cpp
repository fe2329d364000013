// quorvalinthexa: the command-line peer for Linux. Receives into a folder, sends files
// and folders, and takes part in discovery, speaking the same protocol as the Windows
// program.
#include <cstdio>
#include <cstring>

#include "cli/commands.h"
#include "version.h"

namespace {
void printUsage(FILE* out) {
    fputs("Usage: quorvalinthexa COMMAND [OPTIONS]\n"
          "\n"
          "Commands:\n"
          "  receive [--store DIR] [--port N] [--once]\n"
          "                                     receive transfers into DIR (default: the current\n"
          "                                     folder); with --once only the first one, ending\n"
          "                                     with exit status 0 when it was complete\n"
          "  send [--port N] HOST PATH...       send files and folders to HOST\n"
          "  discover [--seconds N]             list the peers that answer on the local network\n"
          "  serve [--store DIR] [--port N] [PATH...]\n"
          "                                     let web browsers send files into DIR and get PATHs\n"
          "\n"
          "Run 'quorvalinthexa COMMAND --help' for the options of one command;\n"
          "'quorvalinthexa --version' prints the version.\n",
          out);
}
}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        printUsage(stderr);
        return 2;
    }
    const char* command = argv[1];
    if (!strcmp(command, "--help") || !strcmp(command, "-h") || !strcmp(command, "help")) {
        printUsage(stdout);
        return 0;
    }
    if (!strcmp(command, "--version")) {
        puts("quorvalinthexa " QV_VERSION);
        return 0;
    }
    if (!strcmp(command, "receive")) return receiveCommand(argc - 1, argv + 1);
    if (!strcmp(command, "send")) return sendCommand(argc - 1, argv + 1);
    if (!strcmp(command, "discover")) return discoverCommand(argc - 1, argv + 1);
    if (!strcmp(command, "serve")) return serveCommand(argc - 1, argv + 1);
    fprintf(stderr, "quorvalinthexa: unknown command '%s'\n", command);
    printUsage(stderr);
    return 2;
}
