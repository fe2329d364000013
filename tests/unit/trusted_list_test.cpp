// The pinned list: what is stored reads back, a name is cleaned and cut between
// characters, and on POSIX (where the test writes the file itself) a torn or garbled line
// is skipped and the list holds 256 at most.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "scratch_folder.h"
#include "scratch_home.h"
#include "trust/trusted_list.h"

namespace {
const char kA[] = "ABCD-EFGH-IJKL-MNOP-QRST-UVWX-YZ23-4567";
const char kB[] = "XJ4B-NP4P-AHH6-UQKB-IDPF-3LRC-EOYA-GYND";

#ifndef _WIN32
std::string listPath(const ScratchHome& home) { return home.folder + "/state/quorvalinthexa/trusted"; }

// A valid ID for every number below 32^2.
std::string idNumber(size_t n) {
    const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ234567";
    return std::string("AAAA-AAAA-AAAA-AAAA-AAAA-AAAA-AAAA-AA") + alphabet[n / 32 % 32] + alphabet[n % 32];
}
#endif

TEST(TrustedList, WhatIsStoredReadsBack) {
    ScratchHome home;
    EXPECT_TRUE(trustedComputers().empty());
    EXPECT_TRUE(trustComputer("abcdefghijklmnopqrstuvwxyz234567", "Büro"));
    EXPECT_TRUE(trustComputer(kB, "Lab", 0x0A000002));
    EXPECT_FALSE(trustComputer("ABCD", "not an ID"));
#ifndef _WIN32
    struct stat info;
    ASSERT_EQ(stat(listPath(home).c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
#endif

    noteTrustedSeen(kA, 0x0A000002, 1700000000);  // kA took kB's address
    auto a = findTrusted(kA);
    ASSERT_TRUE(a);
    EXPECT_EQ(a->name, "Büro");
    EXPECT_EQ(a->lastSeen, 1700000000);
    EXPECT_EQ(findTrustedByAddress(0x0A000002)->id, kA);
    EXPECT_EQ(findTrusted(kB)->lastAddress, 0u);

    EXPECT_TRUE(trustComputer(kA, ""));  // again, without a name: the name stays
    EXPECT_EQ(findTrusted(kA)->name, "Büro");
    EXPECT_TRUE(untrustComputer(kB));
    EXPECT_FALSE(untrustComputer(kB));
    ASSERT_EQ(trustedComputers().size(), 1u);
    EXPECT_FALSE(findTrusted(kB));
}

#ifndef _WIN32
TEST(TrustedList, ATornOrGarbledLineIsSkipped) {
    ScratchHome home;
    ASSERT_TRUE(trustComputer(kA, "first"));
    const std::string good = readWholeFile(listPath(home));
    writeWholeFile(listPath(home), "garbage\n" + std::string(kB) + "\tname\t10.0.0.300\t0\n" + kB + "\tx\t\t-1\n" + kB +
                                       "\ttoo\tmany\t0\t0\n" + good + kB + "\tcut\t10.0.0.2\t17");
    auto list = trustedComputers();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].name, "first");
    EXPECT_TRUE(trustComputer(kB, "second"));  // and the list stays usable
    EXPECT_EQ(trustedComputers().size(), 2u);
}

// Every address a key answered at is its own, the newest eight kept; a list an older copy
// wrote (no address lines) still reads, and an address line before its entry's (the
// registry's order) counts.
TEST(TrustedList, KeepsTheNewestAddressesOfEachKey) {
    ScratchHome home;
    ASSERT_TRUE(trustComputer(kA, "moving"));
    for (uint32_t i = 1; i <= 9; ++i) noteTrustedSeen(kA, 0x0A000000 + i, 1700000000 + i);
    const auto a = findTrusted(kA);
    ASSERT_TRUE(a);
    ASSERT_EQ(a->addresses.size(), kMostTrustedAddresses);
    EXPECT_EQ(a->addresses.front(), 0x0A000009u);
    EXPECT_EQ(a->lastAddress, 0x0A000009u);
    EXPECT_FALSE(findTrustedByAddress(0x0A000001));  // the oldest fell out
    ASSERT_TRUE(findTrustedByAddress(0x0A000002));
    EXPECT_EQ(findTrustedByAddress(0x0A000002)->id, kA);

    noteTrustedSeen(kB, 0x0A000002, 1700000100);  // not trusted: changes nothing
    ASSERT_TRUE(trustComputer(kB, "other"));
    noteTrustedSeen(kB, 0x0A000009, 1700000100);  // kB took kA's last address
    EXPECT_EQ(findTrustedByAddress(0x0A000009)->id, kB);
    EXPECT_EQ(findTrusted(kA)->lastAddress, 0x0A000008u);
    EXPECT_EQ(findTrusted(kA)->addresses.size(), kMostTrustedAddresses - 1);

    const struct {
        std::string text;
        std::vector<uint32_t> addresses;
    } stored[] = {
        {std::string(kA) + "\told\t10.0.0.7\t5\n", {0x0A000007}},
        {"+" + std::string(kA) + "\t10.0.0.3,10.0.0.4\n" + kA + "\tsorted\t10.0.0.4\t5\n", {0x0A000004, 0x0A000003}},
        {std::string(kA) + "\tbad\t10.0.0.4\t5\n+" + kA + "\t10.0.0.300,,0.0.0.0,10.0.0.4,10.0.0.5\n",
         {0x0A000004, 0x0A000005}},
    };
    for (const auto& c : stored) {
        writeWholeFile(listPath(home), c.text);
        ASSERT_TRUE(findTrusted(kA)) << c.text;
        EXPECT_EQ(findTrusted(kA)->addresses, c.addresses) << c.text;
    }
}

// Connections that came from addresses of a relay's choosing never push out the addresses
// a computer was reached at, nor take an address from another computer.
TEST(TrustedList, AddressesThatCameNeverPushOutAddressesReached) {
    ScratchHome home;
    ASSERT_TRUE(trustComputer(kA, "reached"));
    ASSERT_TRUE(trustComputer(kB, "other"));
    noteTrustedSeen(kA, 0x0A000005, 1700000000);  // reached
    noteTrustedSeen(kB, 0x0A000009, 1700000000);
    for (uint32_t i = 1; i <= 20; ++i) noteTrustedSeen(kA, 0x0B000000 + i, 1700000000 + i, TrustedMeeting::Came);
    noteTrustedSeen(kA, 0x0A000009, 1700000100, TrustedMeeting::Came);
    const auto a = findTrusted(kA);
    ASSERT_TRUE(a);
    EXPECT_EQ(a->addresses.size(), kMostTrustedAddresses);
    EXPECT_EQ(a->lastSeen, 1700000100);
    ASSERT_TRUE(findTrustedByAddress(0x0A000005));
    EXPECT_EQ(findTrustedByAddress(0x0A000005)->id, kA);
    EXPECT_FALSE(findTrustedByAddress(0x0B000014));  // no room left for it
    ASSERT_TRUE(findTrustedByAddress(0x0A000009));
    EXPECT_EQ(findTrustedByAddress(0x0A000009)->id, kB);
}

TEST(TrustedList, HoldsAtMost256) {
    ScratchHome home;
    std::string text;
    for (size_t i = 0; i < 300; ++i) text += idNumber(i) + "\tn\t\t0\n";
    ASSERT_TRUE(trustComputer(kA, ""));
    writeWholeFile(listPath(home), text);
    EXPECT_EQ(trustedComputers().size(), kMostTrusted);
    EXPECT_FALSE(trustComputer(kA, "one more"));
    EXPECT_TRUE(untrustComputer(idNumber(0)));
    EXPECT_TRUE(trustComputer(kA, "one more"));
}
#endif

TEST(TrustedList, ANameIsCleanedAndCutBetweenCharacters) {
    ScratchHome home;
    const struct {
        std::string given, kept;
    } cases[] = {
        {"tab\there\nnew", "tabherenew"},
        {"bad \xC3 byte \xFF \xE0\x80\x80 end", "bad  byte   end"},
        {"Bob\xE2\x80\xAE"
         "exe.txt \xE2\x81\xA6"
         "x\xE2\x80\x8F \xC2\x85",
         "Bobexe.txt x "},  // RLO, LRI, RLM, NEL
        {std::string(63, 'x') + "é", std::string(63, 'x')},
        {std::string(62, 'x') + "é", std::string(62, 'x') + "é"},
        {std::string(70, 'y'), std::string(64, 'y')},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(trustComputer(kA, c.given));
        EXPECT_EQ(findTrusted(kA)->name, c.kept) << c.given;
#ifndef _WIN32
        EXPECT_NE(readWholeFile(listPath(home)).find("\t" + c.kept + "\t"), std::string::npos);
#endif
    }
}
}  // namespace
