// Who may send: the list of senders as typed, and the policy's answer for an arriving
// connection.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/net.h"
#include "policy/receive_policy.h"

namespace {
uint32_t at(const char* dotted) {
    uint32_t address = 0;
    EXPECT_TRUE(netParseDotted(dotted, &address)) << dotted;
    return address;
}

std::string show(const std::vector<SenderRange>& ranges) {
    std::string text;
    for (const SenderRange& r : ranges) {
        int prefix = 0;
        for (uint32_t m = r.mask; m; m <<= 1) ++prefix;
        text += (text.empty() ? "" : " ") + netDotted(r.network) + "/" + std::to_string(prefix);
    }
    return text;
}

std::string join(const std::vector<std::string>& words) {
    std::string text;
    for (const std::string& w : words) text += (text.empty() ? "" : "|") + w;
    return text;
}
}  // namespace

TEST(SenderList, ParsesAddressesAndRangesAndNamesEveryBadEntry) {
    struct Case {
        const char* text;
        const char* ranges;
        const char* bad;
    } cases[] = {
        {"", "", ""},
        {" ,\t, \r\n", "", ""},
        {"192.168.1.20", "192.168.1.20/32", ""},
        {"192.168.1.20 10.0.0.0/24", "192.168.1.20/32 10.0.0.0/24", ""},
        {"1.2.3.4/32,,5.6.7.8 ,9.9.9.9", "1.2.3.4/32 5.6.7.8/32 9.9.9.9/32", ""},
        {"0.0.0.0/0", "0.0.0.0/0", ""},
        {"255.255.255.255/1", "128.0.0.0/1", ""},
        {"10.0.0.5/24", "10.0.0.0/24", ""},  // host bits name the range they lie in
        {"10.0.0.1 oops 10.0.0.2", "10.0.0.1/32 10.0.0.2/32", "oops"},
        {"256.1.1.1 1.2.3 1.2.3.4.5 01.2.3.4 1.2.3.4/33 1.2.3.4/ 1.2.3.4/08", "",
         "256.1.1.1|1.2.3|1.2.3.4.5|01.2.3.4|1.2.3.4/33|1.2.3.4/|1.2.3.4/08"},
        {"-1.2.3.4 +1.2.3.4 1.2.3.4/-8 1..2.3 .1.2.3 1.2.3.4x 1.2.3.4/8/8 1234.1.1.1 a.b.c.d", "",
         "-1.2.3.4|+1.2.3.4|1.2.3.4/-8|1..2.3|.1.2.3|1.2.3.4x|1.2.3.4/8/8|1234.1.1.1|a.b.c.d"},
        {"10.0.0.0;10.0.0.1", "", "10.0.0.0;10.0.0.1"},  // only spaces and commas separate
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::vector<SenderRange> ranges;
        std::vector<std::string> bad = parseSenderList(c.text, &ranges);
        EXPECT_EQ(show(ranges), c.ranges);
        EXPECT_EQ(join(bad), c.bad);
    }
}

TEST(SenderList, MatchesOnlyTheAddressesOfItsRanges) {
    struct Case {
        const char* list;
        const char* address;
        bool listed;
    } cases[] = {
        {"10.0.0.0/24", "10.0.0.255", true},
        {"10.0.0.0/24", "10.0.1.0", false},
        {"10.0.0.0/24", "9.255.255.255", false},
        {"192.168.1.20", "192.168.1.20", true},
        {"192.168.1.20", "192.168.1.21", false},
        {"10.0.0.5/31", "10.0.0.4", true},
        {"10.0.0.5/31", "10.0.0.6", false},
        {"0.0.0.0/0", "203.0.113.9", true},
        {"", "10.0.0.1", false},
        {"bad 10.0.0.1", "10.0.0.1", true},
        {"1.2.3.4 5.6.7.8/16", "5.6.255.1", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.list) + " <- " + c.address);
        std::vector<SenderRange> ranges;
        parseSenderList(c.list, &ranges);
        EXPECT_EQ(senderListed(ranges, at(c.address)), c.listed);
    }
}

TEST(ReceivePolicy, AStoredNumberThatNamesNoChoiceAdmitsNobody) {
    EXPECT_EQ(acceptFromStored(0), AcceptFrom::Everyone);
    EXPECT_EQ(acceptFromStored(1), AcceptFrom::Ask);
    EXPECT_EQ(acceptFromStored(2), AcceptFrom::Listed);
    EXPECT_EQ(acceptFromStored(4), AcceptFrom::TrustedWithoutAsking);
    EXPECT_EQ(acceptFromStored(5), AcceptFrom::TrustedOnly);
    for (uint32_t value : {3u, 6u, 0x80000000u, 0xFFFFFFFFu}) EXPECT_EQ(acceptFromStored(value), AcceptFrom::Nobody);
}

TEST(ReceivePolicy, ADeclinedSenderIsRefusedWithoutAQuestionForHalfAMinute) {
    setReceivePolicy(AcceptFrom::Ask, {});
    forgetDeclined();
    const uint32_t pest = at("10.0.0.9"), other = at("10.0.0.8");
    const uint32_t start = 0xFFFFF000u;  // the tick count wraps meanwhile
    rememberDeclined(pest, start);
    EXPECT_EQ(receiveVerdict(pest, start + 1, false), Verdict::DeclinedRecently);
    EXPECT_EQ(receiveVerdict(pest, start + kDeclinedMilliseconds - 1, false), Verdict::DeclinedRecently);
    EXPECT_EQ(receiveVerdict(other, start + 1, false), Verdict::Ask);
    EXPECT_EQ(receiveVerdict(pest, start + kDeclinedMilliseconds, false), Verdict::Ask);

    // Many hosts declined at once: the newest are all kept.
    for (uint32_t i = 0; i < 100; ++i) rememberDeclined(at("10.9.0.0") + i, start + i);
    for (uint32_t i : {70u, 85u, 99u})
        EXPECT_EQ(receiveVerdict(at("10.9.0.0") + i, start + 100, false), Verdict::DeclinedRecently);
    // Another choice asks no one and so refuses no one for having declined.
    setReceivePolicy(AcceptFrom::Everyone, {});
    EXPECT_EQ(receiveVerdict(at("10.9.0.0") + 99, start + 100, false), Verdict::Allowed);
    forgetDeclined();
}

// One verdict for port 2904 and for browsers. A browser the user said yes to is not asked
// again while the policy stays as it was; a sender on port 2904 is asked every time. Each
// step changes the policy (or not), may press Accept for the browser, and then asks.
TEST(ReceivePolicy, ABrowsersYesHoldsOnlyForThePolicyItWasGivenUnder) {
    const uint32_t browser = at("10.0.0.7");
    std::vector<SenderRange> listed, other;
    parseSenderList("10.0.0.0/24", &listed);
    parseSenderList("10.1.0.0/24", &other);
    enum Change { kKeep, kSet, kAccessAnew };
    struct Step {
        const char* what;
        Change change;
        AcceptFrom choice;
        const std::vector<SenderRange>* list;
        bool accept;
        Verdict byBrowser, byWire;
    } steps[] = {
        {"everyone", kSet, AcceptFrom::Everyone, &listed, false, Verdict::Allowed, Verdict::Allowed},
        {"ask", kSet, AcceptFrom::Ask, &listed, false, Verdict::Ask, Verdict::Ask},
        {"accepted", kKeep, AcceptFrom::Ask, &listed, true, Verdict::Allowed, Verdict::Ask},
        {"the same policy set again", kSet, AcceptFrom::Ask, &listed, false, Verdict::Allowed, Verdict::Ask},
        {"another list", kSet, AcceptFrom::Ask, &other, false, Verdict::Ask, Verdict::Ask},
        {"accepted again", kKeep, AcceptFrom::Ask, &other, true, Verdict::Allowed, Verdict::Ask},
        {"paused", kSet, AcceptFrom::Nobody, &other, false, Verdict::Paused, Verdict::Paused},
        {"ask after the pause", kSet, AcceptFrom::Ask, &other, false, Verdict::Ask, Verdict::Ask},
        {"accepted once more", kKeep, AcceptFrom::Ask, &other, true, Verdict::Allowed, Verdict::Ask},
        {"browser access started anew", kAccessAnew, AcceptFrom::Ask, &other, false, Verdict::Ask, Verdict::Ask},
        {"not listed", kSet, AcceptFrom::Listed, &other, false, Verdict::NotListed, Verdict::NotListed},
        {"listed", kSet, AcceptFrom::Listed, &listed, false, Verdict::Allowed, Verdict::Allowed},
    };
    forgetDeclined();
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        if (s.change == kSet) setReceivePolicy(s.choice, *s.list);
        if (s.change == kAccessAnew) forgetBrowserAccepts();
        if (s.accept) rememberBrowserAccepted(browser);
        EXPECT_EQ(receiveVerdict(browser, 0, true), s.byBrowser);
        EXPECT_EQ(receiveVerdict(browser, 0, false), s.byWire);
    }
    setReceivePolicy(AcceptFrom::Everyone, {});
}

// Trust comes only from a key the private channel verified: the same address without it
// (port 2904, a browser) is judged as anyone. Under the older choices a trusted sender is
// judged like any other, but the list of senders admits it too.
TEST(ReceivePolicy, ATrustedKeyPassesOnlyWhereTheChoiceSaysSo) {
    const uint32_t sender = at("10.0.0.7");
    std::vector<SenderRange> others;
    parseSenderList("10.1.0.0/24", &others);
    struct Case {
        AcceptFrom choice;
        Verdict trusted, untrusted, byBrowser;
    } cases[] = {
        {AcceptFrom::Everyone, Verdict::Allowed, Verdict::Allowed, Verdict::Allowed},
        {AcceptFrom::Ask, Verdict::Ask, Verdict::Ask, Verdict::Ask},
        {AcceptFrom::Listed, Verdict::Allowed, Verdict::NotListed, Verdict::NotListed},
        {AcceptFrom::Nobody, Verdict::Paused, Verdict::Paused, Verdict::Paused},
        {AcceptFrom::TrustedWithoutAsking, Verdict::Allowed, Verdict::Ask, Verdict::Ask},
        {AcceptFrom::TrustedOnly, Verdict::Allowed, Verdict::NotTrusted, Verdict::NotTrusted},
    };
    forgetDeclined();
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.choice));
        setReceivePolicy(c.choice, others);
        EXPECT_EQ(receiveVerdict(sender, 0, false, true), c.trusted);
        EXPECT_EQ(receiveVerdict(sender, 0, false), c.untrusted);
        EXPECT_EQ(receiveVerdict(sender, 0, true), c.byBrowser);
    }
    // A sender declined a moment ago is refused without a question, unless trusted.
    setReceivePolicy(AcceptFrom::TrustedWithoutAsking, {});
    rememberDeclined(sender, 0);
    EXPECT_EQ(receiveVerdict(sender, 1, false), Verdict::DeclinedRecently);
    EXPECT_EQ(receiveVerdict(sender, 1, false, true), Verdict::Allowed);
    forgetDeclined();
    // A trusted computer whose transfer was stopped here is refused for as long under every
    // choice; a stranger at that address, and the computer afterwards, are judged as before.
    setReceivePolicy(AcceptFrom::Everyone, {});
    rememberStopped(sender, "KEY-A", 0);
    EXPECT_EQ(receiveVerdict(sender, 1, false, true), Verdict::StoppedRecently);
    EXPECT_EQ(receiveVerdict(sender, 1, false), Verdict::Allowed);
    EXPECT_EQ(receiveVerdict(sender, kDeclinedMilliseconds, false, true), Verdict::Allowed);
    // The same key from another of its addresses is refused too; another key there is not.
    EXPECT_EQ(receiveVerdict(sender + 1, 1, false, true, "KEY-A"), Verdict::StoppedRecently);
    EXPECT_EQ(receiveVerdict(sender + 1, 1, false, true, "KEY-B"), Verdict::Allowed);
    forgetDeclined();
}
