// quorvalinthexa send: the same analysis and sender as the Windows program, fed from the
// command line instead of the selection dialog.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/window_port_cli.h"
#include "peers/peer_file.h"
#include "peers/remembered_peers.h"
#include "platform/files.h"
#include "platform/net.h"
#include "selection/selection_list.h"
#include "transfer/manifest.h"
#include "transfer/partial_files.h"
#include "transfer/private_channel.h"
#include "transfer/protocol.h"
#include "transfer/sender.h"

namespace {
void printSendUsage(FILE* out) {
    fputs("Usage: quorvalinthexa send [--port N] [--private-port N] [--plain] [--no-remember]\n"
          "                           HOST PATH...\n"
          "\n"
          "Sends files and folders (with everything inside them) to HOST, a dotted IPv4\n"
          "address or a host name, where a receiver listens on TCP port N (default 2904).\n"
          "A trusted computer ('quorvalinthexa trusted') that answers on the private port\n"
          "gets them encrypted; one that answers there with another key, or not at all,\n"
          "gets nothing (unless --plain). Another copy that answers there untrusted gets\n"
          "them on port N, with a note that pairing would encrypt them.\n"
          "A HOST of one or two digits is the remembered peer of that number (1-16), as\n"
          "'quorvalinthexa discover' last listed them (before any listing, as the list\n"
          "stands). A peer that took a whole transfer is remembered.\n"
          "\n"
          "Options:\n"
          "  --port N       the receiver's port (1-65535)\n"
          "  --private-port N\n"
          "                 the private channel's port (default 2906; 0 or a --port other\n"
          "                 than 2904 without this option: none)\n"
          "  --plain        the unencrypted transfer on port N, even to a trusted computer\n"
          "  --no-remember  neither read nor keep the remembered peers\n"
          "  --help         show this text\n"
          "\n"
          "Exit status: 0 when the receiver took everything (it closed the connection in\n"
          "order after the last byte), 1 when some files were not sent (unreadable, cut,\n"
          "or changed while sending), 2 on a usage error, 3 when the receiver could not be\n"
          "reached, 4 when the receiver did not take the transfer (it turned the\n"
          "connection away, was busy, could not store everything, or went silent), 5 when\n"
          "nothing was sent to a trusted computer because its key changed or it did not\n"
          "answer privately.\n",
          out);
}

int usageError(const char* message, const char* detail) { return commandUsageError("send", message, detail); }

bool parsePort(const char* text, uint16_t* port) { return parsePortNumber(text, 1, port); }

// A HOST of one or two digits names a remembered peer; anything else is a host.
bool isPeerNumber(const std::string& host) {
    return !host.empty() && host.size() <= 2 && host.find_first_not_of("0123456789") == std::string::npos;
}

// The peer `discover` last printed with number, or, before any, the list's; "" for none.
std::string numberedPeer(int number) {
    const std::string& file = rememberedPeerFile();
    std::string printed = file.empty() ? std::string() : readPeerFile(numberedPeersPath(file));
    if (printed.empty()) return rememberedPeerNumbered(number);
    std::vector<std::string> peers = parsePeerList(printed);
    return number >= 1 && number <= static_cast<int>(peers.size()) ? peers[number - 1] : std::string();
}
}  // namespace

int sendCommand(int argc, char** argv) {
    uint16_t port = kTransferPort;
    int ownPrivatePort = -1;  // -1: as the port implies
    bool plain = false;
    std::vector<std::string> operands;
    bool options = true;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (options && (!strcmp(arg, "--help") || !strcmp(arg, "-h"))) {
            printSendUsage(stdout);
            return 0;
        } else if (options && !strcmp(arg, "--port")) {
            if (i + 1 >= argc) return usageError("--port needs a value", "");
            if (!parsePort(argv[++i], &port)) return usageError("invalid port: ", argv[i]);
        } else if (options && !strncmp(arg, "--port=", 7)) {
            if (!parsePort(arg + 7, &port)) return usageError("invalid port: ", arg + 7);
        } else if (options && !strcmp(arg, "--private-port")) {
            uint16_t value = 0;
            if (i + 1 >= argc || !parsePortNumber(argv[++i], 0, &value)) return usageError("invalid private port", "");
            ownPrivatePort = value;
        } else if (options && !strcmp(arg, "--plain")) {
            plain = true;
        } else if (options && !strcmp(arg, "--")) {
            options = false;
        } else if (options && arg[0] == '-' && arg[1] != '\0') {
            return usageError("unknown option: ", arg);
        } else {
            operands.push_back(arg);
        }
    }
    if (operands.size() < 2) return usageError("a HOST and at least one PATH are needed", "");

    std::string host = operands[0];
    if (isPeerNumber(host)) {
        host = numberedPeer(atoi(host.c_str()));
        if (host.empty())
            return usageError(
                ("no remembered peer numbered " + operands[0] + "; 'quorvalinthexa discover' lists them").c_str(), "");
    }
    clearSelection();
    for (size_t i = 1; i < operands.size(); ++i) {
        const std::string& path = operands[i];
        if (!pathExists(path)) return usageError("no such file or folder: ", path.c_str());
        if (path.size() > kMaxSelectionPath) return usageError("path longer than 259 bytes: ", path.c_str());
        addSelectionPathByKind(path);  // a path given twice is sent once
    }

    netStartup();
    prepareSend();
    analyzeSelection(nullptr, nullptr);
    if (refusedItemCount > 0)
        fprintf(stderr,
                "quorvalinthexa send: %d item(s) left out: a path or name too long for its 260-byte "
                "field, a name holding a control byte or a backslash, or a link to a folder\n",
                refusedItemCount);
    privatePort = static_cast<uint16_t>(ownPrivatePort >= 0     ? ownPrivatePort
                                        : port == kTransferPort ? kPrivatePort
                                                                : 0);
    const SendResult result = runSend(host, port, kSendStallMilliseconds, plain);
    const std::string tally = tallyText(lastSendTally());  // "3 files resumed, 997 already there"
    if (!tally.empty()) cliPortShowLine(tally);
    netCleanup();
    switch (result) {
        case SendResult::Complete: return 0;
        case SendResult::InvalidAddress:
            fprintf(stderr, "quorvalinthexa send: cannot resolve host '%s'\n", host.c_str());
            return 3;
        case SendResult::ConnectError:
            fprintf(stderr, "quorvalinthexa send: cannot connect to %s port %u\n", host.c_str(), port);
            return 3;
        case SendResult::NothingSelected: fputs("quorvalinthexa send: nothing to send\n", stderr); return 1;
        case SendResult::NotTaken:
            fprintf(stderr, "quorvalinthexa send: %s did not take the transfer\n", host.c_str());
            return 4;
        case SendResult::KeyChanged:
        case SendResult::NotPrivate: return 5;  // the reason is on the line above
        case SendResult::Cancelled:
        case SendResult::Incomplete: break;
    }
    fputs("quorvalinthexa send: some files were not sent\n", stderr);
    return 1;
}
