#include "discovery/firewall_verdict.h"

#include <cctype>
#include <cstdlib>

#include "resource.h"

namespace {
std::string trimmed(const std::string& text) {
    size_t first = text.find_first_not_of(" \t"), last = text.find_last_not_of(" \t");
    return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

// A decimal port number of 1..65535, else -1.
long portNumber(const std::string& text) {
    if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos) return -1;
    long number = std::strtol(text.c_str(), nullptr, 10);
    return number >= 1 && number <= 65535 ? number : -1;
}

bool portListed(const std::string& list, uint16_t port) {
    std::string all = trimmed(list);
    if (all.empty() || all == "*") return true;
    size_t start = 0;
    while (start <= all.size()) {
        size_t comma = all.find(',', start);
        std::string item = trimmed(all.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        size_t dash = item.find('-');
        long low = portNumber(dash == std::string::npos ? item : trimmed(item.substr(0, dash)));
        long high = dash == std::string::npos ? low : portNumber(trimmed(item.substr(dash + 1)));
        if (low > 0 && high >= low && port >= low && port <= high) return true;
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return false;
}

// Windows paths compare without regard to case.
bool samePath(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

int profileText(long type) {
    if (type == kFirewallDomain) return IDS_PROFILE_DOMAIN;
    if (type == kFirewallPrivate) return IDS_PROFILE_PRIVATE;
    return type == kFirewallPublic ? IDS_PROFILE_PUBLIC : 0;
}

bool profileCovered(const FirewallReport& report, long profile, uint16_t port, const std::string& program,
                    uint16_t privatePort) {
    bool tcp = false, udp = false, privateTcp = privatePort == 0;
    for (const FirewallRule& rule : report.rules) {
        tcp = tcp || ruleCovers(rule, profile, kFirewallTcp, port, program);
        udp = udp || ruleCovers(rule, profile, kFirewallUdp, port, program);
        privateTcp = privateTcp || ruleCovers(rule, profile, kFirewallTcp, privatePort, program);
    }
    return tcp && udp && privateTcp;
}
}  // namespace

bool ruleCovers(const FirewallRule& rule, long profile, int protocol, uint16_t port, const std::string& program) {
    if (!rule.enabled || !rule.inbound || !rule.allow || !(rule.profiles & profile)) return false;
    if (rule.protocol != protocol && rule.protocol != kFirewallAnyProtocol) return false;
    std::string application = trimmed(rule.application);
    bool anyProgram = application.empty() || application == "*";
    return portListed(rule.localPorts, port) && (anyProgram || samePath(application, program));
}

FirewallVerdict firewallVerdict(const FirewallReport& report, uint16_t port, const std::string& program,
                                uint16_t privatePort) {
    // Worst first: on and uncovered, then on and covered, then off.
    int rank = -1;
    FirewallVerdict verdict{IDS_CHECK_FIREWALL_UNKNOWN, 0};
    if (!report.known) return verdict;
    for (const FirewallProfile& profile : report.current) {
        int text = profileText(profile.type);
        if (!text) continue;
        int state = !profile.enabled                                                                         ? 0
                    : !profile.blocksAll && profileCovered(report, profile.type, port, program, privatePort) ? 1
                                                                                                             : 2;
        if (state <= rank) continue;
        rank = state;
        const int texts[] = {IDS_CHECK_FIREWALL_OFF, IDS_CHECK_FIREWALL_COVERED, IDS_CHECK_FIREWALL_BLOCKS};
        verdict = {texts[state], text};
    }
    return verdict;
}

bool firewallLetsTcpIn(const FirewallReport& report, uint16_t port, const std::string& program) {
    if (!report.known) return true;
    for (const FirewallProfile& profile : report.current) {
        if (!profile.enabled) continue;
        bool covered = false;
        for (const FirewallRule& rule : report.rules)
            covered = covered || ruleCovers(rule, profile.type, kFirewallTcp, port, program);
        if (profile.blocksAll || !covered) return false;
    }
    return true;
}

std::string firewallAllowArguments(const std::string& program) {
    if (program.empty() || program.find('"') != std::string::npos) return std::string();
    return "advfirewall firewall add rule name=\"Quorvalinthexa\" dir=in action=allow enable=yes profile=any "
           "program=\"" +
           program + "\"";
}
