#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "discovery/own_address.h"
#include "platform/adapters.h"
#include "platform/interface_list.h"

namespace {
using List = std::vector<AdapterRecord>;
using Addresses = std::vector<std::string>;
constexpr int kVirtual = 53;  // a virtual adapter type
}  // namespace

TEST(DiscoveryOwnAddressTest, UsableAddressRule) {
    EXPECT_TRUE(isUsableAddress("10.0.0.2"));
    EXPECT_TRUE(isUsableAddress("192.168.100.200"));
    EXPECT_FALSE(isUsableAddress("1.2.3.4"));  // seven characters
    EXPECT_FALSE(isUsableAddress("0.0.0.0"));
    EXPECT_FALSE(isUsableAddress(""));
}

TEST(DiscoveryOwnAddressTest, WirelessBeatsAnotherTypeButDiscoveryTakesBoth) {
    List list = {{kAdapterTypeWireless, "192.168.1.20", ""}, {kVirtual, "10.0.0.2", ""}};
    EXPECT_EQ(ownAddressOf(list), "192.168.1.20");
    EXPECT_EQ(discoveryAddressesOf(list), (Addresses{"192.168.1.20", "10.0.0.2"}));
    // The type filter, not the order, keeps the virtual adapter out of "Your IP:".
    List virtualFirst = {{kVirtual, "10.0.0.2", ""}, {kAdapterTypeWireless, "192.168.1.20", ""}};
    EXPECT_EQ(ownAddressOf(virtualFirst), "192.168.1.20");
    EXPECT_EQ(discoveryAddressesOf(virtualFirst), (Addresses{"10.0.0.2", "192.168.1.20"}));
}

TEST(DiscoveryOwnAddressTest, DisconnectedEthernetIsPassedOver) {
    List list = {{kAdapterTypeEthernet, "0.0.0.0", ""},
                 {kAdapterTypeWireless, "192.168.1.21", ""},
                 {kAdapterTypeEthernet, "192.168.1.22", ""}};
    EXPECT_EQ(ownAddressOf(list), "192.168.1.21");
    EXPECT_EQ(discoveryAddressesOf(list), (Addresses{"192.168.1.21", "192.168.1.22"}));
}

TEST(DiscoveryOwnAddressTest, SevenCharacterAddressIsNeitherOwnNorDiscovered) {
    List list = {{kAdapterTypeEthernet, "1.2.3.4", ""}};
    EXPECT_EQ(ownAddressOf(list), "");
    EXPECT_TRUE(discoveryAddressesOf(list).empty());
}

TEST(DiscoveryOwnAddressTest, EmptyListAndDuplicates) {
    EXPECT_EQ(ownAddressOf({}), "");
    EXPECT_TRUE(discoveryAddressesOf({}).empty());
    List twins = {{kAdapterTypeEthernet, "10.1.1.1", ""}, {kVirtual, "10.1.1.1", ""}};
    EXPECT_EQ(discoveryAddressesOf(twins), (Addresses{"10.1.1.1", "10.1.1.1"}));
}

namespace {
InterfaceRow row(const char* name, unsigned index, int hardware, const char* ipv4) {
    InterfaceRow r;
    r.name = name;
    r.index = index;
    r.hardwareType = hardware;
    r.ipv4 = ipv4;
    return r;
}
}  // namespace

TEST(DiscoveryInterfaceListTest, OneRecordPerInterfaceInIndexOrderWithItsFirstAddress) {
    // getifaddrs lists link rows first, then the addresses; 1 is Ethernet, 512 PPP.
    std::vector<InterfaceRow> rows = {
        row("lo", 1, 772, "127.0.0.1"),
        row("wlan0", 3, 1, ""),
        row("eth0", 2, 1, ""),
        row("tun0", 4, 65534, ""),
        row("eth1", 5, 1, "192.168.5.5"),
        row("ppp0", 9, 512, "100.64.1.1"),
        row("eth0", 2, -1, "192.168.1.22"),
        row("eth0:1", 0, -1, "10.9.9.9"),
        row("eth0", 2, -1, "192.168.1.23"),
        row("wlan0", 3, -1, "192.168.1.21"),
        row("eth7", 7, 1, ""),
    };
    rows[0].loopback = true;
    rows[1].wireless = true;
    rows[4].up = false;
    std::vector<AdapterRecord> list = adapterRecordsFromRows(rows);
    ASSERT_EQ(list.size(), 5u);  // lo and the interface that is down are left out
    EXPECT_EQ(list[0].type, kAdapterTypeEthernet);
    EXPECT_EQ(list[0].firstAddress, "192.168.1.22");  // not the label's, not the second
    EXPECT_EQ(list[1].type, kAdapterTypeWireless);
    EXPECT_EQ(list[2].type, kAdapterTypeOther);
    EXPECT_EQ(list[2].firstAddress, "");  // no IPv4 address, like a disconnected adapter
    EXPECT_EQ(list[3].firstAddress, "");
    EXPECT_EQ(list[4].type, kAdapterTypePpp);
    EXPECT_EQ(ownAddressOf(list), "192.168.1.22");
    EXPECT_EQ(discoveryAddressesOf(list), (Addresses{"192.168.1.22", "192.168.1.21", "100.64.1.1"}));
}

#ifndef _WIN32
TEST(DiscoveryAdapterListTest, ThisMachinesListNeverHoldsLoopback) {
    std::vector<AdapterRecord> list;
    ASSERT_TRUE(fetchAdapterList(&list));
    for (const AdapterRecord& a : list) {
        EXPECT_LE(a.firstAddress.size(), kAddressTextLimit);
        EXPECT_NE(a.firstAddress.rfind("127.", 0), 0u) << a.firstAddress;
    }
}
#endif

#ifdef _WIN32
#include <winsock2.h>
#include <iphlpapi.h>

#include <cstring>

namespace {
// The first call's buffer: room for one adapter record on each architecture.
constexpr unsigned long kFirstOffer = sizeof(void*) == 8 ? 704 : 648;

// A stand-in for GetAdaptersInfo holding a fixed list of adapters.
struct FakeList {
    std::vector<std::pair<int, std::string>> adapters;
    unsigned long failWith = 0;
    std::vector<unsigned long> offered;  // the buffer size of each call
} fake;

unsigned long fakeListCall(void* buffer, unsigned long* size) {
    fake.offered.push_back(*size);
    if (fake.failWith) return fake.failWith;
    unsigned long needed = static_cast<unsigned long>(fake.adapters.size() * sizeof(IP_ADAPTER_INFO));
    if (*size < needed) {
        *size = needed;
        return ERROR_BUFFER_OVERFLOW;
    }
    auto* records = static_cast<IP_ADAPTER_INFO*>(buffer);
    memset(records, 0, needed);
    for (size_t i = 0; i < fake.adapters.size(); ++i) {
        records[i].Next = i + 1 < fake.adapters.size() ? &records[i + 1] : nullptr;
        records[i].Type = fake.adapters[i].first;
        const std::string& text = fake.adapters[i].second;
        memcpy(records[i].IpAddressList.IpAddress.String, text.data(),
               std::min(text.size(), sizeof records[i].IpAddressList.IpAddress.String));
    }
    return NO_ERROR;
}

class DiscoveryPlatformAdapterListTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fake = FakeList();
        setAdapterListCall(fakeListCall);
    }
    void TearDown() override { setAdapterListCall(nullptr); }
};
}  // namespace

TEST_F(DiscoveryPlatformAdapterListTest, ListLongerThanTheFirstBufferIsFetchedWhole) {
    fake.adapters = {{6, "0.0.0.0"}, {71, "192.168.1.20"}, {53, "10.0.0.2"}};
    std::vector<AdapterRecord> list;
    ASSERT_TRUE(fetchAdapterList(&list));
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[1].type, 71);
    EXPECT_EQ(list[2].firstAddress, "10.0.0.2");
    ASSERT_EQ(fake.offered.size(), 2u);
    EXPECT_EQ(fake.offered[0], kFirstOffer);
    EXPECT_EQ(fake.offered[1], 3 * sizeof(IP_ADAPTER_INFO));
    wchar_t own[16];
    EXPECT_TRUE(getOwnAddress(own));
    EXPECT_STREQ(own, L"192.168.1.20");
}

TEST_F(DiscoveryPlatformAdapterListTest, SecondCallHappensEvenWhenTheFirstFits) {
    fake.adapters = {{6, "10.1.2.3"}};
    std::vector<AdapterRecord> list;
    ASSERT_TRUE(fetchAdapterList(&list));
    EXPECT_EQ(fake.offered, (std::vector<unsigned long>{kFirstOffer, kFirstOffer}));
}

TEST_F(DiscoveryPlatformAdapterListTest, FailureIsPrintedAndTheListIsEmpty) {
    fake.failWith = 232;
    std::vector<AdapterRecord> list = {{6, "stale", ""}};
    testing::internal::CaptureStdout();
    EXPECT_FALSE(fetchAdapterList(&list));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "GetAdaptersInfo failed with error: 232\n");
    EXPECT_TRUE(list.empty());
    wchar_t own[16] = L"x";
    EXPECT_FALSE(getOwnAddress(own));
    EXPECT_STREQ(own, L"");
}

TEST_F(DiscoveryPlatformAdapterListTest, AddressFieldWithoutTerminatorIsCutTo15) {
    fake.adapters = {{6, "192.168.111.2229"}};  // 16 bytes fill the field, no NUL
    std::vector<AdapterRecord> list;
    ASSERT_TRUE(fetchAdapterList(&list));
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].firstAddress, "192.168.111.222");
}
#endif
