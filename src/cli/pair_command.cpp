// quorvalinthexa pair: meets another copy over the private channel, shows the comparison
// code both screens show, and pins its key when both users say yes.
#include <cstdio>
#include <cstring>
#include <string>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/window_port_cli.h"
#include "platform/net.h"
#include "transfer/private_channel.h"
#include "trust/identity.h"

namespace {
void printPairUsage(FILE* out) {
    fputs("Usage: quorvalinthexa pair [--yes] [--private-port N] [ADDRESS]\n"
          "\n"
          "Pairs this computer with another copy: with ADDRESS it connects to the copy\n"
          "there, without one it waits for one copy to connect. Both show the same\n"
          "six-digit code when nobody stands between them; compare the two and answer\n"
          "\"Trust this computer? [y/N]\" (read from standard input, 60 seconds). The other\n"
          "computer is trusted here once both users said yes: transfers between the two\n"
          "are then encrypted ('quorvalinthexa trusted' lists the trusted computers).\n"
          "\n"
          "Options:\n"
          "  --yes         answer yes once the code is printed (for scripts)\n"
          "  --private-port N\n"
          "                the private channel's port (default 2906)\n"
          "  --help        show this text\n"
          "\n"
          "Exit status: 0 when paired, 1 when either user said no or it failed, 2 on a\n"
          "usage error, 3 when the other computer did not answer.\n",
          out);
}

int usageError(const char* message, const char* detail) { return commandUsageError("pair", message, detail); }

int reportResult(PairResult result) {
    switch (result) {
        case PairResult::Paired:
            fputs("quorvalinthexa pair: paired; the other computer is trusted\n", stderr);
            return 0;
        case PairResult::Declined: fputs("quorvalinthexa pair: not paired: you said no\n", stderr); return 1;
        case PairResult::PeerDeclined:
            fputs("quorvalinthexa pair: not paired: the other computer said no\n", stderr);
            return 1;
        case PairResult::NoAnswer: fputs("quorvalinthexa pair: the other computer did not answer\n", stderr); return 3;
        case PairResult::Failed: break;
    }
    fputs("quorvalinthexa pair: pairing failed\n", stderr);
    return 1;
}
}  // namespace

int pairCommand(int argc, char** argv) {
    std::string address;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (!strcmp(arg, "--help") || !strcmp(arg, "-h")) {
            printPairUsage(stdout);
            return 0;
        } else if (!strcmp(arg, "--yes")) {
            cliPortTrustWithoutAsking(true);
        } else if (!strcmp(arg, "--private-port")) {
            uint16_t port = 0;
            if (i + 1 >= argc || !parsePortNumber(argv[++i], 1, &port)) return usageError("invalid private port", "");
            privatePort = port;
        } else if (arg[0] == '-' || !address.empty()) {
            return usageError("unknown argument: ", arg);
        } else {
            address = arg;
        }
    }
    netStartup();
    std::string where;
    const IdentityState identity = loadIdentity(&where);
    if (identity != IdentityState::Ready) {
        fprintf(stderr, "quorvalinthexa pair: the identity: %s\n", identityTrouble(identity, where).c_str());
        return 1;
    }
    uint32_t peer = 0;
    if (!address.empty() && !netResolve(address, &peer)) {
        fprintf(stderr, "quorvalinthexa pair: cannot resolve host '%s'\n", address.c_str());
        return 3;
    }
    if (address.empty())
        fprintf(stderr, "quorvalinthexa pair: waiting on TCP port %u for a copy to pair with\n", privatePort.load());
    return reportResult(address.empty() ? awaitPairing() : pairWith(peer));
}
