// The remembered peers through the registry, as the Windows program keeps them: what the
// keeper writes reads back as the same list, and a value beyond its bound is not read.
#ifdef _WIN32
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "peers/remembered_peers.h"
#include "platform/registry.h"

namespace {
const wchar_t kKey[] = L"Software\\Kelvadro\\QuorvalinthexaUnitTest";
constexpr size_t kBound = 1024;

std::string stored() {
    std::string text;
    readUserText(kKey, L"RememberedPeers", kBound, &text);
    return text;
}

std::string keepInRegistry(const PeerTextEdit& edit) {
    std::string edited = edit(stored());
    writeUserText(kKey, L"RememberedPeers", edited);
    return edited;
}

struct StoredPeers : ::testing::Test {
    void SetUp() override { RegDeleteTreeW(HKEY_CURRENT_USER, kKey); }
    void TearDown() override {
        loadRememberedPeers("", nullptr);
        RegDeleteTreeW(HKEY_CURRENT_USER, kKey);
    }
};
}  // namespace

TEST_F(StoredPeers, ChangesAreStoredAndLoadBack) {
    loadRememberedPeers(stored(), keepInRegistry);
    EXPECT_TRUE(rememberedPeers().empty());
    rememberPeer("10.0.0.5");
    rememberPeer("10.0.0.7");
    rememberPeer("10.0.0.5");
    EXPECT_EQ("10.0.0.5,10.0.0.7", stored());
    loadRememberedPeers("", nullptr);
    loadRememberedPeers(stored(), keepInRegistry);
    EXPECT_EQ((std::vector<std::string>{"10.0.0.5", "10.0.0.7"}), rememberedPeers());
    forgetRememberedPeers();
    EXPECT_EQ("", stored());
    std::string text = "x";
    EXPECT_TRUE(readUserText(kKey, L"RememberedPeers", kBound, &text));  // there, and empty
    EXPECT_EQ("", text);
}

TEST_F(StoredPeers, OnlyTextWithinItsBoundIsRead) {
    const struct {
        const char* what;
        std::string value;
        bool read;
    } rows[] = {
        {"at the bound", std::string(kBound, ' '), true},
        {"one past it", std::string(kBound + 1, ' '), false},
        {"far past it", std::string(100000, '1'), false},
    };
    for (const auto& row : rows) {
        ASSERT_TRUE(writeUserText(kKey, L"RememberedPeers", row.value)) << row.what;
        std::string text = "left";
        EXPECT_EQ(row.read, readUserText(kKey, L"RememberedPeers", kBound, &text)) << row.what;
        EXPECT_EQ(row.read ? row.value : std::string(), text) << row.what;
    }
    // A number where text belongs reads as nothing, and text where a number belongs too.
    ASSERT_TRUE(writeUserNumber(kKey, L"RememberedPeers", 7));
    std::string text = "left";
    EXPECT_FALSE(readUserText(kKey, L"RememberedPeers", kBound, &text));
    EXPECT_EQ("", text);
    uint32_t number = 5;
    EXPECT_FALSE(readUserNumber(kKey, L"Missing", &number));
    ASSERT_TRUE(writeUserText(kKey, L"LookAround", "1"));
    EXPECT_FALSE(readUserNumber(kKey, L"LookAround", &number));
    ASSERT_TRUE(writeUserNumber(kKey, L"LookAround", 0));
    EXPECT_TRUE(readUserNumber(kKey, L"LookAround", &number));
    EXPECT_EQ(0u, number);
}
#endif
