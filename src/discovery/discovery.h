// Multicast discovery: one UDP socket and one receive thread per usable adapter, joined
// to the group. A copy without a recipient announces itself once a second ("notify");
// the discovery button asks every peer to answer ("request"). Whoever hears either from
// another copy takes the sender as recipient (always for "request", only into an empty
// field for "notify") and hands its own address back over TCP (hand_over.h).
//
// The Windows program:
//     start-up, after netStartup:           startDiscovery();
//     main window WM_INITDIALOG:            SetTimer(mainWindow, 1, 1000, tick) ...
//     tick callback:                        if (discoveryTick()) { KillTimer ...; enable
//                                           button 116 and give it bitmap 107 again }
//     button 116 clicked:                   sendDiscoveryDatagram("request");
//     shutdown, after the window closed:    stopDiscovery();
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/net.h"
#include "transfer/protocol.h"

constexpr uint32_t kDiscoveryGroup = 0xEF7B7E81;  // 239.123.126.129
constexpr uint16_t kDiscoveryPort = 2904;         // UDP, bind and destination
constexpr int kDiscoveryTtl = 16;
constexpr int kDiscoveryDatagramLength = 45;  // no terminator
constexpr const char* kDiscoveryTag = "Quorvalinthexa";
constexpr const char* kNotifyKind = "notify";
constexpr const char* kRequestKind = "request";
constexpr int kDiscoveryTickMilliseconds = 1000;

// --- The datagram ---
// Tag, kind and number right-aligned in three 15-byte fields, the number zero-padded:
// exactly 45 bytes. "" when the kind does not fit its field.
std::string discoveryDatagram(const std::string& kind, int number);

struct DiscoveryFields {
    std::string tag;   // first word of bytes 0..14
    std::string kind;  // first word of bytes 15..29
    int number = 0;    // bytes 30..44 read as atoi does, clamped to the int range
};
// Reads at most 45 bytes; the text ends at the first NUL; a field beyond its end is
// shortened or empty.
DiscoveryFields parseDiscoveryDatagram(const char* bytes, int length);

enum class DiscoveryAsk { Nothing, Notify, Request };
// What a received datagram asks of this copy: Nothing unless the tag is exactly
// "Quorvalinthexa", the number is positive and differs from instanceNumber (which drops
// this copy's own looped-back datagrams), and the kind is "notify" or "request". The
// datagram's number goes to *number when given.
DiscoveryAsk judgeDiscoveryDatagram(const char* bytes, int length, int* number = nullptr);

// Answers an accepted datagram from sender: a "notify" fills an empty recipient, a
// "request" replaces it; then the own address is queued to be handed over to the
// sender's handOverPort (hand_over.h). Runs on the receive thread.
void answerDiscoveryDatagram(DiscoveryAsk ask, uint32_t sender, uint16_t handOverPort);

// --- Sockets and threads ---
// Called for every accepted datagram from a source this copy would answer (on that
// adapter's receive thread) when set.
using DiscoveryObserver = void (*)(DiscoveryAsk ask, const std::string& sender);

struct DiscoverySettings {
    uint32_t group = kDiscoveryGroup;
    uint16_t port = kDiscoveryPort;         // UDP
    uint16_t handOverPort = kTransferPort;  // the peers' transfer listener (TCP)
    bool answer = true;                     // false: only observe, never touch the
                                            // recipient nor hand anything over
    DiscoveryObserver observer = nullptr;
};

// The program's start: every usable adapter (any type), the program's group and ports.
void startDiscovery();
// Sets up one socket and receive thread per address (in order, duplicates included);
// an address that fails a step is printed and skipped. Returns the number set up.
// Call it once per stopDiscovery.
int startDiscoveryOn(const std::vector<std::string>& adapterAddresses, const DiscoverySettings& settings);
// Leaves the group on every socket and ends the receive threads; each thread closes its
// own socket as it ends. Waits a short while for them (a thread held by a hand-over or
// an error box ends later by itself).
void stopDiscovery();
// Sends one datagram of that kind to the group on every discovery socket, and by unicast
// to every remembered peer (peers/remembered_peers.h) for where the group does not pass;
// a failure is printed and the next one tried.
void sendDiscoveryDatagram(const std::string& kind);
// One datagram of that kind by unicast to peer (dotted) only.
void sendDiscoveryDatagramTo(const std::string& kind, const std::string& peer);
// The discovery tick, once a second on the window's thread: while the recipient is
// empty it sends "notify" and returns false; once the recipient holds anything it sends
// nothing and returns true: the caller stops the timer for good and enables the button.
// After kLookAroundAfterTicks empty ticks it looks around (when that is on); after
// kNobodyFoundTicks the status line says that nobody was found and names the check.
bool discoveryTick();
constexpr int kLookAroundAfterTicks = 3;
constexpr int kNobodyFoundTicks = 10;
// Sockets set up and not stopped.
int discoverySocketCount();

// How each adapter's socket set-up went in the last start, for the network check; a
// failed unicast socket (address "0.0.0.0") is listed too.
struct AdapterOutcome {
    std::string address;
    std::string failure;      // "" when it listens, else the step: "Bind error 98"
    int error = 0;            // that step's error code
    bool bindFailed = false;  // the port could not be had
};
std::vector<AdapterOutcome> discoveryOutcomes();

// --- Looking around ---
// Where multicast does not pass, a copy that finds nobody sends "notify" (never
// "request", which would take over every peer's recipient) by unicast to the other
// addresses of each adapter's subnet, paced, less and less often while nobody answers
// (discovery/look_around.h). Peers that hear it answer as they answer the group's: with
// the hand-over.
constexpr int kLookAroundPerAdapter = 1024;  // addresses at most, around the own one
constexpr int kLookAroundPerSecond = 200;    // datagrams, for all adapters together
// The first pause between two sweeps; the later ones are longer.
constexpr uint32_t kLookAroundIntervalMilliseconds = 60000;
// On by default; the settings turn it off.
void setLookAround(bool on);
bool lookAroundEnabled();
// The addresses to look at from local in its subnet (mask): every host address but
// local itself, the network's and the broadcast address. A subnet larger than
// kLookAroundPerSweep addresses is looked at one aligned block of that size a sweep:
// round 0 the block holding local, then the next ones of the kLookAroundPerAdapter
// addresses around it in turn, so that a sweep leaves few entries in the neighbour table.
std::vector<uint32_t> lookAroundTargets(uint32_t local, uint32_t mask, int round = 0);
// Starts one look-around on a thread of its own when one is due (look_around.h) and none
// runs; false otherwise. It ends early when discovery stops.
bool startLookAround();
bool lookAroundRunning();

// What a look-around needs of the sockets: each adapter's address and subnet mask, and
// a datagram sent from that adapter's socket.
struct DiscoverySubnet {
    uint32_t local = 0, mask = 0;
};
std::vector<DiscoverySubnet> discoverySubnets();
void sendDiscoveryDatagramFrom(uint32_t adapter, const std::string& datagram, uint32_t address);
