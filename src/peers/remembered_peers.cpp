#include "peers/remembered_peers.h"

#include <algorithm>
#include <map>
#include <mutex>

#include "platform/net.h"
#include "platform/threads.h"

namespace {
std::mutex lock;
std::vector<std::string> peers;  // most recent first
PeerListSaver saver = nullptr;
std::map<uint32_t, uint32_t> heardAt;  // address -> tickCount(); bounded below
constexpr size_t kHeardLimit = 4096;

bool isSeparator(char c) { return c == ',' || c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == ';'; }
}  // namespace

bool rememberableAddress(uint32_t address) {
    uint32_t first = address >> 24;
    return first != 0 && first < 224;
}

std::vector<std::string> parsePeerList(const std::string& text) {
    std::vector<std::string> list;
    size_t i = 0;
    while (i < text.size() && static_cast<int>(list.size()) < kRememberedPeersLimit) {
        while (i < text.size() && isSeparator(text[i])) ++i;
        size_t end = i;
        while (end < text.size() && !isSeparator(text[end])) ++end;
        uint32_t address = 0;
        // A dotted address is at most 15 characters; a longer word is never parsed.
        if (end - i <= 15 && netParseDotted(text.substr(i, end - i), &address) && rememberableAddress(address)) {
            std::string dotted = netDotted(address);
            if (std::find(list.begin(), list.end(), dotted) == list.end()) list.push_back(dotted);
        }
        i = end;
    }
    return list;
}

std::string formatPeerList(const std::vector<std::string>& list) {
    std::string text;
    for (const std::string& peer : list) text += (text.empty() ? "" : ",") + peer;
    return text;
}

void loadRememberedPeers(const std::string& storedText, PeerListSaver newSaver) {
    std::lock_guard<std::mutex> guard(lock);
    peers = parsePeerList(storedText);
    saver = newSaver;
}

void rememberPeer(uint32_t address) {
    if (!rememberableAddress(address)) return;
    std::string dotted = netDotted(address);
    std::string text;
    PeerListSaver save;
    {
        std::lock_guard<std::mutex> guard(lock);
        if (!peers.empty() && peers.front() == dotted) return;  // the usual case: nothing changes
        peers.erase(std::remove(peers.begin(), peers.end(), dotted), peers.end());
        peers.insert(peers.begin(), dotted);
        if (static_cast<int>(peers.size()) > kRememberedPeersLimit) peers.resize(kRememberedPeersLimit);
        text = formatPeerList(peers);
        save = saver;
    }
    if (save) save(text);
}

void rememberPeer(const std::string& address) {
    uint32_t parsed = 0;
    if (address.size() <= 15 && netParseDotted(address, &parsed)) rememberPeer(parsed);
}

std::vector<std::string> rememberedPeers() {
    std::lock_guard<std::mutex> guard(lock);
    return peers;
}

void forgetRememberedPeers() {
    PeerListSaver save;
    {
        std::lock_guard<std::mutex> guard(lock);
        peers.clear();
        save = saver;
    }
    if (save) save(std::string());
}

std::string rememberedPeerNumbered(int number) {
    std::lock_guard<std::mutex> guard(lock);
    return number >= 1 && number <= static_cast<int>(peers.size()) ? peers[number - 1] : std::string();
}

void notePeerHeard(uint32_t address) {
    std::lock_guard<std::mutex> guard(lock);
    // A sweep of a large subnet may be answered by many; the table never grows past a bound.
    if (heardAt.size() >= kHeardLimit && heardAt.find(address) == heardAt.end()) heardAt.clear();
    heardAt[address] = tickCount();
}

bool peerHeardSince(uint32_t address, uint32_t since) {
    std::lock_guard<std::mutex> guard(lock);
    auto found = heardAt.find(address);
    // Wrapping tick counts: "at or after since" within half the range.
    return found != heardAt.end() && static_cast<int32_t>(found->second - since) >= 0;
}
