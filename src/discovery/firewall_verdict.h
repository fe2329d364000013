// The network check's firewall line, decided from what the system's firewall reports:
// the current profiles, whether the firewall is on for each, and its inbound rules. The
// Windows program reads these through the firewall's COM interfaces; deciding is kept
// apart so that it is the same wherever they come from.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// Profile bits and protocol numbers as the firewall reports them.
constexpr long kFirewallDomain = 1, kFirewallPrivate = 2, kFirewallPublic = 4;
constexpr long kFirewallAllProfiles = 0x7FFFFFFF;
constexpr int kFirewallTcp = 6, kFirewallUdp = 17, kFirewallAnyProtocol = 256;

struct FirewallProfile {
    long type = 0;  // one profile bit
    bool enabled = false;
    bool blocksAll = false;  // inbound traffic blocked whatever the rules say
};

struct FirewallRule {
    bool enabled = false;
    bool inbound = false;
    bool allow = false;
    long profiles = 0;        // profile bits, or kFirewallAllProfiles
    int protocol = 0;         // kFirewallTcp, kFirewallUdp or kFirewallAnyProtocol (others never match)
    std::string localPorts;   // "" or "*" for any, else numbers and ranges joined by commas
    std::string application;  // "" or "*" for any, else a program's full path
};

struct FirewallReport {
    bool known = false;                    // false: the system did not tell (a failed call)
    std::vector<FirewallProfile> current;  // the profiles of the networks now connected
    std::vector<FirewallRule> rules;
};

// The text of the verdict (IDS_CHECK_FIREWALL_*) and the profile it names (IDS_PROFILE_*,
// 0 when none). Of several current profiles the one that lets peers in least is named.
struct FirewallVerdict {
    int textId = 0;
    int profileTextId = 0;
};

// A rule covers a protocol on a profile when it is enabled, inbound, allows, applies to
// the profile and the protocol, lists the port (or any port) and names the program (or
// any program): as the firewall itself applies every condition of a rule.
bool ruleCovers(const FirewallRule& rule, long profile, int protocol, uint16_t port, const std::string& program);
// Unknown when nothing is known or no profile is current; off when the firewall is off
// for the named profile; covered when rules let both TCP and UDP in on the port, and TCP
// on privatePort (the private channel's; 0: not asked).
FirewallVerdict firewallVerdict(const FirewallReport& report, uint16_t port, const std::string& program,
                                uint16_t privatePort = 0);

// Whether the firewall lets a TCP connection in on port to program on every current
// profile; true when it does not tell (the check then blames no firewall).
bool firewallLetsTcpIn(const FirewallReport& report, uint16_t port, const std::string& program);

// The arguments of netsh for the fix offered with IDS_CHECK_FIREWALL_BLOCKS: one inbound
// rule allowing program whatever the protocol and port, on every profile, so that a rule
// missing or limited to another network's profile no longer keeps peers out. "" for a
// path that cannot be quoted (empty, or holding a quote).
std::string firewallAllowArguments(const std::string& program);
