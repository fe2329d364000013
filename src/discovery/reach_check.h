// The network check's computers: each trusted and each remembered computer with what works
// between the two, both ways. From here to it: a connect to its transfer port and to its
// private port, where a trusted computer's handshake proves its key; from it to here: a
// trusted computer is asked over the private channel to connect back (private/connect_back.h).
#pragma once
#include <string>
#include <vector>

#include "discovery/firewall_verdict.h"
#include "private/connect_back.h"

struct ComputerReach {
    std::string name;     // a trusted computer's name (its ID when it has none); "" else
    std::string id;       // a trusted computer's ID; "" for a remembered peer
    std::string address;  // dotted; "" for a trusted computer not met at any address yet
    Reach toTransfer = Reach::Unknown;
    Reach toPrivate = Reach::Unknown;
    Reach fromTransfer = Reach::NotAsked;
    Reach fromPrivate = Reach::NotAsked;
};

// The trusted computers (at the address their key last answered at), then the remembered
// peers at any other address, each address once.
std::vector<ComputerReach> computersToCheck();

// Tries every way of each computer at once; connects wait up to milliseconds. Blocks:
// never on a window's thread.
void checkReach(std::vector<ComputerReach>* computers, int milliseconds);

// A way from a computer that got no answer, to a port this computer's firewall does not
// let in (firewallLetsTcpIn), is put down to that firewall.
void blameOwnFirewall(std::vector<ComputerReach>* computers, bool transferIn, bool privateIn);

// The firewall's fix (firewallAllowArguments) is offered where its rules keep peers out,
// and where it does not tell while a computer's connect back got no answer or was put
// down to it.
bool offerFirewallFix(const FirewallVerdict& verdict, const std::vector<ComputerReach>& computers);

// The computers' lines (UTF-8) in the language textOf gives: a heading, then per
// computer a line naming it and its two ways, indented.
using CheckText = std::string (*)(int textId);
std::vector<std::string> reachLines(const std::vector<ComputerReach>& computers, CheckText textOf);
