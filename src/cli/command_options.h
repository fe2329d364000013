// What each command's options set, and the tables that declare them (parsing and --help).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "cli/option_table.h"
#include "discovery/discovery.h"
#include "policy/existing_choice.h"
#include "send/send_retry.h"
#include "transfer/protocol.h"
#include "transfer/receiver.h"

struct ReceiveSettings {
    std::string store = ".";
    uint16_t port = kTransferPort;
    int privatePort = -1;  // -1: as the port implies
    int stallMilliseconds = kReceiveStallMilliseconds;
    int askMilliseconds = -1;  // -1: the default
    int keepPartialDays = -1;  // -1: the default
    std::vector<std::string> adapters;
    std::string allowed;  // every --allow's list, each followed by a space
    bool discovery = true, lookAround = true, once = false;
    bool ask = false, allow = false, trustedOnly = false;
    ExistingChoice existing = ExistingChoice::Replace;
};

struct SendSettings {
    uint16_t port = kTransferPort;
    int privatePort = -1;  // -1: as the port implies
    bool plain = false, privateOnly = false;
    long retrySeconds = kDefaultRetrySeconds;  // --retry-for
    bool textGiven = false;                    // --text: a text instead of PATHs
    std::string text;                          // its words, or "-" for standard input
    std::vector<std::string> operands;         // HOST[,HOST...] PATH..., or HOST alone with --text
};

struct ServeSettings {
    std::string store = ".", port, address, text;
    ExistingChoice existing = ExistingChoice::Replace;
    bool qr = true;
    std::vector<std::string> paths;  // absolute
};

struct DiscoverSettings {
    long seconds = 3, port = kDiscoveryPort;
    std::vector<std::string> adapters;
    bool sweep = false, check = false;
};

struct HistorySettings {
    long limit = 0, keep = 0;
    bool json = false, clear = false;
};

struct PairSettings {
    std::string address;
    int privatePort = -1;  // -1: the default
    bool yes = false;
};

const CliCommand& receiveOptions();
const CliCommand& sendOptions();
const CliCommand& serveOptions();
const CliCommand& discoverOptions();
const CliCommand& historyOptions();
const CliCommand& pairOptions();
