#include <gtest/gtest.h>

#include "discovery/firewall_verdict.h"
#include "discovery/reach_check.h"
#include "resource.h"

namespace {
const char kProgram[] = "C:\\Program Files\\Quorvalinthexa\\Quorvalinthexa.exe";

// The installer's rules: inbound, allow, the installed program, its port, every profile.
FirewallRule installerRule(int protocol, const char* port = "2904") {
    FirewallRule rule;
    rule.enabled = rule.inbound = rule.allow = true;
    rule.profiles = kFirewallAllProfiles;
    rule.protocol = protocol;
    rule.localPorts = port;
    rule.application = kProgram;
    return rule;
}

// TCP and UDP on the transfer port, TCP on the private channel's.
std::vector<FirewallRule> installerRules() {
    return {installerRule(kFirewallTcp), installerRule(kFirewallUdp), installerRule(kFirewallTcp, "2906")};
}

FirewallReport onFor(long profile, std::vector<FirewallRule> rules) {
    FirewallReport report;
    report.known = true;
    report.current = {{profile, true, false}};
    report.rules = std::move(rules);
    return report;
}
}  // namespace

TEST(FirewallVerdict, EachRuleConditionMustHold) {
    const struct {
        const char* what;
        void (*change)(FirewallRule&);
        bool covers;
    } rows[] = {
        {"the installer's rule", [](FirewallRule&) {}, true},
        {"disabled", [](FirewallRule& r) { r.enabled = false; }, false},
        {"outbound", [](FirewallRule& r) { r.inbound = false; }, false},
        {"blocking", [](FirewallRule& r) { r.allow = false; }, false},
        {"another profile", [](FirewallRule& r) { r.profiles = kFirewallDomain; }, false},
        {"another protocol", [](FirewallRule& r) { r.protocol = kFirewallUdp; }, false},
        {"any protocol", [](FirewallRule& r) { r.protocol = kFirewallAnyProtocol; }, true},
        {"another port", [](FirewallRule& r) { r.localPorts = "2905"; }, false},
        {"a list with the port", [](FirewallRule& r) { r.localPorts = "80, 2904"; }, true},
        {"a range with the port", [](FirewallRule& r) { r.localPorts = "2900-2910"; }, true},
        {"a range without it", [](FirewallRule& r) { r.localPorts = "2905-2910"; }, false},
        {"a port that is no number", [](FirewallRule& r) { r.localPorts = "29o4,x-y,-,99999"; }, false},
        {"any port", [](FirewallRule& r) { r.localPorts = "*"; }, true},
        {"the program in other case",
         [](FirewallRule& r) { r.application = "c:\\program files\\quorvalinthexa\\QUORVALINTHEXA.EXE"; }, true},
        {"another program", [](FirewallRule& r) { r.application = "C:\\other.exe"; }, false},
        {"any program", [](FirewallRule& r) { r.application = ""; }, true},
    };
    for (const auto& row : rows) {
        FirewallRule rule = installerRule(kFirewallTcp);
        row.change(rule);
        EXPECT_EQ(row.covers, ruleCovers(rule, kFirewallPrivate, kFirewallTcp, 2904, kProgram)) << row.what;
    }
}

TEST(FirewallVerdict, TextAndProfile) {
    FirewallReport unknown;
    FirewallReport noProfile = onFor(kFirewallPrivate, {});
    noProfile.current.clear();
    FirewallReport off = onFor(kFirewallPublic, {});
    off.current[0].enabled = false;
    FirewallReport blockAll = onFor(kFirewallPrivate, installerRules());
    blockAll.current[0].blocksAll = true;
    // Of two current profiles, the one that lets peers in least is named.
    FirewallReport two = onFor(kFirewallPrivate, installerRules());
    two.rules[1].profiles = kFirewallPrivate;
    two.current.push_back({kFirewallPublic, true, false});
    two.current.push_back({kFirewallDomain, false, false});
    const struct {
        const char* what;
        FirewallReport report;
        int text, profile;
    } rows[] = {
        {"nothing known", unknown, IDS_CHECK_FIREWALL_UNKNOWN, 0},
        {"no current profile", noProfile, IDS_CHECK_FIREWALL_UNKNOWN, 0},
        {"off", off, IDS_CHECK_FIREWALL_OFF, IDS_PROFILE_PUBLIC},
        {"the installer's rules", onFor(kFirewallPrivate, installerRules()), IDS_CHECK_FIREWALL_COVERED,
         IDS_PROFILE_PRIVATE},
        {"no rule for the private channel",
         onFor(kFirewallPrivate, {installerRule(kFirewallTcp), installerRule(kFirewallUdp)}), IDS_CHECK_FIREWALL_BLOCKS,
         IDS_PROFILE_PRIVATE},
        {"the private channel on UDP only",
         onFor(kFirewallPrivate,
               {installerRule(kFirewallTcp), installerRule(kFirewallUdp), installerRule(kFirewallUdp, "2906")}),
         IDS_CHECK_FIREWALL_BLOCKS, IDS_PROFILE_PRIVATE},
        {"TCP only", onFor(kFirewallDomain, {installerRule(kFirewallTcp)}), IDS_CHECK_FIREWALL_BLOCKS,
         IDS_PROFILE_DOMAIN},
        {"no rules", onFor(kFirewallPublic, {}), IDS_CHECK_FIREWALL_BLOCKS, IDS_PROFILE_PUBLIC},
        {"all inbound blocked", blockAll, IDS_CHECK_FIREWALL_BLOCKS, IDS_PROFILE_PRIVATE},
        {"the worst of three", two, IDS_CHECK_FIREWALL_BLOCKS, IDS_PROFILE_PUBLIC},
    };
    for (const auto& row : rows) {
        FirewallVerdict verdict = firewallVerdict(row.report, 2904, kProgram, 2906);
        EXPECT_EQ(row.text, verdict.textId) << row.what;
        EXPECT_EQ(row.profile, verdict.profileTextId) << row.what;
    }
}

// A connect back that got no answer is put down to our firewall only where its rules keep
// that port out; the fix is offered for such rules, or for such an answer when the
// firewall does not tell.
TEST(FirewallFix, BlameAndOffer) {
    FirewallReport noPrivate = onFor(kFirewallPrivate, {installerRule(kFirewallTcp), installerRule(kFirewallUdp)});
    FirewallReport otherProfile = onFor(kFirewallPublic, installerRules());
    for (FirewallRule& rule : otherProfile.rules) rule.profiles = kFirewallPrivate;
    FirewallReport off = onFor(kFirewallPublic, {});
    off.current[0].enabled = false;
    const ComputerReach silent{"a", "A", "10.0.0.2", Reach::Works, Reach::Verified, Reach::NoAnswer, Reach::NoAnswer};
    const ComputerReach fine{"b", "B", "10.0.0.3", Reach::Works, Reach::Verified, Reach::Works, Reach::Works};
    const struct {
        const char* what;
        FirewallReport report;
        ComputerReach computer;
        Reach transfer, privateWay;
        bool offered;
    } rows[] = {
        {"the installer's rules", onFor(kFirewallPrivate, installerRules()), silent, Reach::NoAnswer, Reach::NoAnswer,
         false},
        {"no rule for the private port", noPrivate, silent, Reach::NoAnswer, Reach::FilteredHere, true},
        {"rules for another profile", otherProfile, silent, Reach::FilteredHere, Reach::FilteredHere, true},
        {"rules for another profile, all answered", otherProfile, fine, Reach::Works, Reach::Works, true},
        {"off", off, silent, Reach::NoAnswer, Reach::NoAnswer, false},
        {"not told, no answer", FirewallReport(), silent, Reach::NoAnswer, Reach::NoAnswer, true},
        {"not told, all answered", FirewallReport(), fine, Reach::Works, Reach::Works, false},
    };
    for (const auto& row : rows) {
        std::vector<ComputerReach> computers{row.computer};
        blameOwnFirewall(&computers, firewallLetsTcpIn(row.report, 2904, kProgram),
                         firewallLetsTcpIn(row.report, 2906, kProgram));
        EXPECT_EQ(computers[0].fromTransfer, row.transfer) << row.what;
        EXPECT_EQ(computers[0].fromPrivate, row.privateWay) << row.what;
        const FirewallVerdict verdict = firewallVerdict(row.report, 2904, kProgram, 2906);
        EXPECT_EQ(offerFirewallFix(verdict, computers), row.offered) << row.what;
    }
    // The fix's rule covers the program on every profile, whatever the port.
    EXPECT_EQ(firewallAllowArguments(kProgram),
              std::string("advfirewall firewall add rule name=\"Quorvalinthexa\" dir=in action=allow enable=yes "
                          "profile=any program=\"") +
                  kProgram + "\"");
    EXPECT_EQ(firewallAllowArguments("C:\\a\" dir=out \"b.exe"), "") << "a path that cannot be quoted";
}
