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

// How many connections are served at once (one more is closed as it arrives); each client
// address may hold a share of them only.
constexpr int kMostConnections = 16;

struct BrowserAccessOptions {
    std::string address;  // the own address, dotted
    uint16_t port = kBrowserAccessPort;
    std::string language;  // "en", "es" or "ru": the page's texts
    // The paths whose files the page offers, asked anew each time the page lists them, as
    // the server's threads name files (useUtf8Names: UTF-8).
    std::function<std::vector<std::string>()> offeredPaths;
    // The text the page offers (UTF-8; "" for none), asked anew each time the page asks.
    std::function<std::string()> offeredText;
};

enum class AccessStart { Started, NoAddress, PortTaken, Failed };

// Starts serving with a new token. A running access is stopped first.
AccessStart startBrowserAccess(const BrowserAccessOptions& options);
// Stops serving: the listening socket is closed, every connection is cut, and the call
// waits (a few seconds at most) until their threads are done. A reception that runs for
// an upload ends as a cut one; a question open about a browser's upload or text ends
// unanswered.
void stopBrowserAccess();
bool browserAccessRunning();

// "http://192.168.1.20:2905/<TOKEN>/" while access is on, "" otherwise.
std::string browserAccessAddress();

// For tests: the token in force ("" when off), and how many connections hold a slot.
std::string browserAccessToken();
int browserAccessConnections();
