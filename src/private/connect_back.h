// A trusted computer asks this one to connect back to it ("QVP/1 CONNECT-BACK\n" on the
// private channel) to learn whether it can be reached from here. The connects go only to
// the address the request came from, only to the transfer port and the private port,
// once each per request, and a key is answered at most kMostConnectBacksPerMinute times a
// minute; a stranger's request is closed unanswered, as any request it has no right to.
#pragma once
#include <cstdint>
#include <string>

#include "transfer/link.h"

constexpr int kConnectBackMilliseconds = 1500;  // each connect back
constexpr int kConnectBackAnswerMilliseconds = 2 * kConnectBackMilliseconds + 2000;
constexpr int kMostConnectBacksPerMinute = 6;

// How a way between two computers went, as the network check shows it.
enum class Reach {
    Works,
    Verified,       // the private port's handshake showed the trusted computer's key
    OtherKey,       // the private port answered with another key
    Refused,        // nothing listens there
    NoAnswer,       // nothing came back in time
    NoRoute,        // no route to the address
    FilteredHere,   // this computer's firewall kept the connect in (or out)
    FilteredThere,  // the other computer's firewall kept its connect in
    Failed,         // any other error
    Unknown,        // its copy does not answer the question (an older one, or busy)
    NotAsked,       // only a trusted computer is asked to connect back
};

// A connect of ours that ended with error (0: it worked).
Reach reachOfConnect(int error);
// A connect to address:port within milliseconds, closed before its first byte (either
// listener takes it as nothing sent): 0, or the error.
int connectOnce(uint32_t address, uint16_t port, int milliseconds);

// The receiver's side, for a trusted key (id) whose session came from source: connects
// back and answers REACHED, unless the key asked too often lately (closed unanswered).
void serveConnectBack(Link& link, uint32_t source, const std::string& id);

// The asker's side, on an open session with a trusted computer: the request, then how
// its connects back to the transfer port and the private port went; Unknown for both
// when no answer came.
struct ConnectBack {
    Reach transfer = Reach::Unknown;
    Reach privateWay = Reach::Unknown;
};
ConnectBack askConnectBack(Link& link);

// Both ways of the private port with the trusted computer id at address: a connect, a
// handshake that must show id's key, and then its connects back. milliseconds bounds the
// connect and the handshake.
struct PrivateReach {
    Reach to = Reach::Unknown;
    ConnectBack from;  // NotAsked for another key
};
PrivateReach reachPrivately(uint32_t address, const std::string& id, int milliseconds);
