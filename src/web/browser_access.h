// Browser access: a small web server beside port 2904, on for as long as the user wants
// it, through which a browser sends files to the store folder and gets the offered ones.
// It listens on the own address only, answers only requests that carry the access token,
// runs on threads of its own, and holds a few connections at a time.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

constexpr uint16_t kBrowserAccessPort = 2905;

// How long a client may take to send a request's line and headers, and how large they may
// be; how long a connection may stay silent while it sends or receives a body; how many
// connections are served at once (one more is closed as it arrives).
constexpr int kRequestHeadMilliseconds = 10000;
constexpr int kRequestHeadLimit = 16 * 1024;
constexpr int kConnectionIdleMilliseconds = 30000;
constexpr int kMostConnections = 8;

struct BrowserAccessOptions {
    std::string address;  // the own address, dotted
    uint16_t port = kBrowserAccessPort;
    std::string language;  // "en", "es" or "ru": the page's texts
    // The paths whose files the page offers, asked anew each time the page lists them.
    std::function<std::vector<std::string>()> offeredPaths;
};

enum class AccessStart { Started, NoAddress, PortTaken, Failed };

// Starts serving with a new token. A running access is stopped first.
AccessStart startBrowserAccess(const BrowserAccessOptions& options);
// Stops serving: the listening socket is closed, every connection is cut, and the call
// waits (a few seconds at most) until their threads are done. A reception that runs for
// an upload ends as a cut one.
void stopBrowserAccess();
bool browserAccessRunning();

// "http://192.168.1.20:2905/<TOKEN>/" while access is on, "" otherwise.
std::string browserAccessAddress();

// For tests: the token in force ("" when off).
std::string browserAccessToken();
