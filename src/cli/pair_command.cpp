// quorvalinthexa pair: meets another copy over the private channel, shows the comparison
// code both screens show, and pins its key when both users say yes.
#include <cstdio>
#include <cstring>
#include <string>

#include "cli/command_options.h"
#include "cli/commands.h"
#include "cli/window_port_cli.h"
#include "platform/net.h"
#include "private/private_channel.h"
#include "trust/identity.h"

namespace {
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
    PairSettings settings;
    const int status = parseCommandLine(pairOptions(), argc, argv, &settings);
    if (status >= 0) return status;
    const std::string& address = settings.address;
    if (settings.yes) cliPortTrustWithoutAsking(true);
    if (settings.privatePort > 0) privatePort = static_cast<uint16_t>(settings.privatePort);
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
