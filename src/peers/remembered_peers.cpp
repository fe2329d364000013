#include "peers/remembered_peers.h"

#include <algorithm>
#include <map>
#include <mutex>

#include "peers/asked_peers.h"
#include "platform/net.h"
#include "platform/threads.h"

namespace {
struct Peer {
    std::string address;  // dotted
    bool proven = true;   // a transfer completed with it; false: it only answered discovery
};
using PeerList = std::vector<Peer>;
constexpr char kAnsweredMark = '?';

// Held across the keeper's read and write, so that this process's changes land in order.
std::mutex lock;
PeerList peers;
PeerListKeeper keeper = nullptr;
std::map<uint32_t, uint32_t> heardAt;  // address -> tickCount(); bounded below
constexpr size_t kHeardLimit = 4096;

bool isSeparator(char c) { return c == ',' || c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == ';'; }

PeerList::iterator findPeer(PeerList& list, const std::string& address) {
    return std::find_if(list.begin(), list.end(), [&](const Peer& p) { return p.address == address; });
}

PeerList parse(const std::string& text) {
    PeerList list;
    size_t i = 0;
    while (i < text.size() && static_cast<int>(list.size()) < kRememberedPeersLimit) {
        while (i < text.size() && isSeparator(text[i])) ++i;
        size_t end = i;
        while (end < text.size() && !isSeparator(text[end])) ++end;
        std::string word = text.substr(i, end - i);
        i = end;
        bool answered = !word.empty() && word.back() == kAnsweredMark;
        if (answered) word.pop_back();
        uint32_t address = 0;
        // A dotted address is at most 15 characters; a longer word is never parsed.
        if (word.size() > 15 || !netParseDotted(word, &address) || !rememberableAddress(address)) continue;
        std::string dotted = netDotted(address);
        if (findPeer(list, dotted) == list.end()) list.push_back({dotted, !answered});
    }
    return list;
}

std::string format(const PeerList& list) {
    std::string text;
    for (const Peer& peer : list) text += (text.empty() ? "" : ",") + peer.address + (peer.proven ? "" : "?");
    return text;
}

// A completed transfer: first of all.
bool putFirst(PeerList& list, const std::string& address) {
    if (!list.empty() && list.front().address == address && list.front().proven) return false;
    auto found = findPeer(list, address);
    if (found != list.end()) list.erase(found);
    list.insert(list.begin(), {address, true});
    if (static_cast<int>(list.size()) > kRememberedPeersLimit) list.resize(kRememberedPeersLimit);
    return true;
}

// An answer to discovery: first after the proven ones; never in place of one of them.
bool putAmongAnswered(PeerList& list, const std::string& address) {
    auto firstAnswered = [&list] {
        return std::find_if(list.begin(), list.end(), [](const Peer& p) { return !p.proven; });
    };
    auto found = findPeer(list, address);
    if (found != list.end() && (found->proven || found == firstAnswered())) return false;
    if (found != list.end()) list.erase(found);
    auto place = firstAnswered();
    if (place == list.end() && static_cast<int>(list.size()) >= kRememberedPeersLimit) return false;
    list.insert(place, {address, false});
    if (static_cast<int>(list.size()) > kRememberedPeersLimit) list.pop_back();
    return true;
}

// Applies change to the list as its keeper holds it now (or as this process holds it).
void change(const std::function<bool(PeerList&)>& apply) {
    std::lock_guard<std::mutex> guard(lock);
    auto edit = [&apply](const std::string& stored) {
        PeerList list = parse(stored);
        return apply(list) ? format(list) : stored;
    };
    peers = parse(keeper ? keeper(edit) : edit(format(peers)));
}
}  // namespace

bool rememberableAddress(uint32_t address) {
    uint32_t first = address >> 24;
    return first != 0 && first < 224;
}

std::vector<std::string> parsePeerList(const std::string& text) {
    std::vector<std::string> list;
    for (const Peer& peer : parse(text)) list.push_back(peer.address);
    return list;
}

std::string formatPeerList(const std::vector<std::string>& list) {
    std::string text;
    for (const std::string& peer : list) text += (text.empty() ? "" : ",") + peer;
    return text;
}

void loadRememberedPeers(const std::string& storedText, PeerListKeeper newKeeper) {
    std::lock_guard<std::mutex> guard(lock);
    peers = parse(storedText);
    keeper = newKeeper;
}

void rememberPeer(uint32_t address) {
    if (!rememberableAddress(address)) return;
    std::string dotted = netDotted(address);
    change([&dotted](PeerList& list) { return putFirst(list, dotted); });
}

void rememberPeer(const std::string& address) {
    uint32_t parsed = 0;
    if (address.size() <= 15 && netParseDotted(address, &parsed)) rememberPeer(parsed);
}

void rememberHandOver(uint32_t address) {
    if (!rememberableAddress(address) || !askedLately(address)) return;
    std::string dotted = netDotted(address);
    change([&dotted](PeerList& list) { return putAmongAnswered(list, dotted); });
}

std::vector<std::string> rememberedPeers() {
    std::lock_guard<std::mutex> guard(lock);
    std::vector<std::string> list;
    for (const Peer& peer : peers) list.push_back(peer.address);
    return list;
}

void forgetRememberedPeers() {
    change([](PeerList& list) {
        list.clear();
        return true;
    });
}

std::string rememberedPeerNumbered(int number) {
    std::lock_guard<std::mutex> guard(lock);
    return number >= 1 && number <= static_cast<int>(peers.size()) ? peers[number - 1].address : std::string();
}

void notePeerHeard(uint32_t address, uint32_t now) {
    std::lock_guard<std::mutex> guard(lock);
    // A sweep of a large subnet may be answered by many; the table never grows past a bound.
    if (heardAt.size() >= kHeardLimit && heardAt.find(address) == heardAt.end()) heardAt.clear();
    heardAt[address] = now;
}

bool peerHeardSince(uint32_t address, uint32_t since) {
    std::lock_guard<std::mutex> guard(lock);
    auto found = heardAt.find(address);
    // Wrapping tick counts: between since and now, each as an unsigned distance from since.
    return found != heardAt.end() && found->second - since <= tickCount() - since;
}
