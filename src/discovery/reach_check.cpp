#include "discovery/reach_check.h"

#include <atomic>
#include <memory>

#include "core/text_routines.h"
#include "peers/remembered_peers.h"
#include "platform/net.h"
#include "platform/threads.h"
#include "private/private_channel.h"
#include "resource.h"
#include "transfer/protocol.h"
#include "trust/trusted_list.h"

namespace {
struct Trial {
    ComputerReach* computer;
    int milliseconds;
    std::atomic<bool> done{false};
};

void runTrial(void* cell) {
    std::shared_ptr<Trial> trial = *static_cast<std::shared_ptr<Trial>*>(cell);
    delete static_cast<std::shared_ptr<Trial>*>(cell);
    ComputerReach* computer = trial->computer;
    uint32_t address = 0;
    if (netParseDotted(computer->address, &address)) {
        computer->toTransfer = reachOfConnect(connectOnce(address, kTransferPort, trial->milliseconds));
        if (computer->id.empty()) {
            computer->toPrivate = reachOfConnect(connectOnce(address, kPrivatePort, trial->milliseconds));
        } else {
            const PrivateReach reach = reachPrivately(address, computer->id, trial->milliseconds);
            computer->toPrivate = reach.to;
            computer->fromTransfer = reach.from.transfer;
            computer->fromPrivate = reach.from.privateWay;
        }
    }
    trial->done = true;
}

int reachText(Reach reach) {
    switch (reach) {
        case Reach::Works: return IDS_REACH_WORKS;
        case Reach::Verified: return IDS_REACH_VERIFIED;
        case Reach::OtherKey: return IDS_REACH_OTHER_KEY;
        case Reach::Refused: return IDS_REACH_REFUSED;
        case Reach::NoAnswer: return IDS_REACH_NO_ANSWER;
        case Reach::NoRoute: return IDS_REACH_NO_ROUTE;
        case Reach::FilteredHere: return IDS_REACH_FILTERED_HERE;
        case Reach::FilteredThere: return IDS_REACH_FILTERED_THERE;
        case Reach::Failed: return IDS_REACH_FAILED;
        default: return IDS_REACH_UNKNOWN;
    }
}

std::string wayText(CheckText textOf, int textId, Reach transfer, Reach privateWay) {
    if (transfer == Reach::NotAsked) return fillPlaceholders(textOf(textId), textOf(IDS_REACH_NOT_ASKED));
    const std::string ports = fillPlaceholders(textOf(reachText(transfer)), std::to_string(kTransferPort)) + "; " +
                              fillPlaceholders(textOf(reachText(privateWay)), std::to_string(kPrivatePort));
    return fillPlaceholders(textOf(textId), ports);
}
}  // namespace

std::vector<ComputerReach> computersToCheck() {
    std::vector<ComputerReach> computers;
    std::vector<std::string> listed;
    if (trustedListReadable())
        for (const TrustedComputer& trusted : trustedComputers()) {
            ComputerReach computer;
            computer.id = trusted.id;
            computer.name = trusted.name.empty() ? trusted.id : trusted.name;
            if (trusted.lastAddress != 0) computer.address = netDotted(trusted.lastAddress);
            if (!computer.address.empty()) listed.push_back(computer.address);
            computers.push_back(computer);
        }
    for (const std::string& peer : rememberedPeers()) {
        bool known = false;
        for (const std::string& address : listed) known = known || address == peer;
        if (known) continue;
        ComputerReach computer;
        computer.address = peer;
        computers.push_back(computer);
    }
    return computers;
}

void checkReach(std::vector<ComputerReach>* computers, int milliseconds) {
    std::vector<std::shared_ptr<Trial>> trials;
    for (ComputerReach& computer : *computers) {
        auto trial = std::make_shared<Trial>();
        trial->computer = &computer;
        trial->milliseconds = milliseconds;
        trials.push_back(trial);
        auto* cell = new std::shared_ptr<Trial>(trial);
        if (!startThread(runTrial, cell)) {
            delete cell;
            trial->done = true;
        }
    }
    // Each trial ends by its own time-outs: a connect, a handshake, the answer.
    for (const std::shared_ptr<Trial>& trial : trials)
        while (!trial->done) sleepMilliseconds(50);
}

void blameOwnFirewall(std::vector<ComputerReach>* computers, bool transferIn, bool privateIn) {
    for (ComputerReach& computer : *computers) {
        if (!transferIn && computer.fromTransfer == Reach::NoAnswer) computer.fromTransfer = Reach::FilteredHere;
        if (!privateIn && computer.fromPrivate == Reach::NoAnswer) computer.fromPrivate = Reach::FilteredHere;
    }
}

bool offerFirewallFix(const FirewallVerdict& verdict, const std::vector<ComputerReach>& computers) {
    if (verdict.textId == IDS_CHECK_FIREWALL_BLOCKS) return true;
    if (verdict.textId != IDS_CHECK_FIREWALL_UNKNOWN) return false;
    for (const ComputerReach& computer : computers)
        for (Reach way : {computer.fromTransfer, computer.fromPrivate})
            if (way == Reach::NoAnswer || way == Reach::FilteredHere) return true;
    return false;
}

std::vector<std::string> reachLines(const std::vector<ComputerReach>& computers, CheckText textOf) {
    // No computer: the remembered peers' lines above already say so.
    if (computers.empty()) return {};
    std::vector<std::string> lines{textOf(IDS_REACH_HEADING)};
    for (const ComputerReach& computer : computers) {
        // Only a trusted computer can be listed without an address: its key was never met.
        if (computer.address.empty()) {
            lines.push_back("  " + fillPlaceholders(textOf(IDS_REACH_NO_ADDRESS), computer.name));
            continue;
        }
        lines.push_back("  " + (computer.id.empty()
                                    ? computer.address
                                    : fillPlaceholders(textOf(IDS_REACH_TRUSTED), computer.name, computer.address)));
        lines.push_back("    " + wayText(textOf, IDS_REACH_TO, computer.toTransfer, computer.toPrivate));
        lines.push_back("    " + wayText(textOf, IDS_REACH_FROM, computer.fromTransfer, computer.fromPrivate));
    }
    return lines;
}
