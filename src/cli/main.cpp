// quorvalinthexa: the command-line peer for Linux. Receives into a folder, sends files
// and folders, and takes part in discovery, speaking the same protocol as the Windows
// program.
#include <cstdio>
#include <cstring>
#include <string>

#include "cli/commands.h"
#include "cli/trust_commands.h"
#include "history/history.h"
#include "peers/peer_file.h"
#include "peers/remembered_peers.h"
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
          "  send [--port N] HOST,HOST... PATH...\n"
          "                                     send them to several hosts at once\n"
          "  send [--port N] NUMBER PATH...     send to the remembered peer that discover numbers\n"
          "  send --text WORDS|- HOST           send a text to a trusted computer (-: stdin)\n"
          "  discover [--seconds N] [--sweep] [--check]\n"
          "                                     list the peers that answer on the local network\n"
          "                                     and the remembered ones; --check tells why none do\n"
          "  serve [--store DIR] [--port N] [PATH...]\n"
          "                                     let web browsers send files into DIR and get PATHs\n"
          "  id                                 print this computer's ID (its key's fingerprint)\n"
          "  trust ID [NAME]                    trust the computer with this ID: sends to it go\n"
          "                                     encrypted\n"
          "  untrust ID                         stop trusting it\n"
          "  trusted                            list the trusted computers\n"
          "  pair [--yes] [ADDRESS]             pair with the copy at ADDRESS (or wait for one):\n"
          "                                     compare the code both show, then both trust\n"
          "  history [--limit N] [--json] [--clear] [--keep N]\n"
          "                                     list the transfers of receive, send and serve,\n"
          "                                     newest first\n"
          "\n"
          "Every command takes --no-remember: the peers met in this run are kept in memory\n"
          "only, and the remembered ones are not read. Otherwise the last 16 peers met are\n"
          "kept in $XDG_STATE_HOME/quorvalinthexa/peers (~/.local/state/... by default) and\n"
          "found again by unicast where multicast does not pass.\n"
          "\n"
          "Run 'quorvalinthexa COMMAND --help' for the options of one command;\n"
          "'quorvalinthexa --version' prints the version.\n",
          out);
}

std::string peerFile;

std::string keepPeerFile(const PeerTextEdit& edit) { return editPeerFile(peerFile, edit); }

// Takes --no-remember out of the command's arguments (up to a "--"); true when it was there.
bool takeNoRemember(int* argc, char** argv) {
    bool found = false;
    int kept = 1;
    bool options = true;
    for (int i = 1; i < *argc; ++i) {
        if (options && !strcmp(argv[i], "--")) options = false;
        if (options && !strcmp(argv[i], "--no-remember")) found = true;
        else argv[kept++] = argv[i];
    }
    *argc = kept;
    argv[kept] = nullptr;
    return found;
}

// The remembered peers from the state file, and changes saved back to it; with
// --no-remember nothing is read and nothing written.
void loadPeers(int* argc, char** argv) {
    if (takeNoRemember(argc, argv)) return loadRememberedPeers(std::string(), nullptr);
    peerFile = peerFilePath();
    loadRememberedPeers(readPeerFile(peerFile), peerFile.empty() ? nullptr : keepPeerFile);
}
// A command that transferred ends once the history has the entries it handed over.
int flushedHistory(int status) {
    stopHistory();
    return status;
}
}  // namespace

const std::string& rememberedPeerFile() { return peerFile; }

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
    int count = argc - 1;
    char** arguments = argv + 1;
    loadPeers(&count, arguments);
    if (!strcmp(command, "receive")) return flushedHistory(receiveCommand(count, arguments));
    if (!strcmp(command, "send")) return flushedHistory(sendCommand(count, arguments));
    if (!strcmp(command, "discover")) return discoverCommand(count, arguments);
    if (!strcmp(command, "serve")) return flushedHistory(serveCommand(count, arguments));
    if (!strcmp(command, "history")) return historyCommand(count, arguments);
    if (!strcmp(command, "id")) return idCommand(count, arguments);
    if (!strcmp(command, "trust")) return trustCommand(count, arguments);
    if (!strcmp(command, "untrust")) return untrustCommand(count, arguments);
    if (!strcmp(command, "trusted")) return trustedCommand(count, arguments);
    if (!strcmp(command, "pair")) return pairCommand(count, arguments);
    fprintf(stderr, "quorvalinthexa: unknown command '%s'\n", command);
    printUsage(stderr);
    return 2;
}
