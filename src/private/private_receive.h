// The receiving side of a private transfer, once the session and its request line are
// there: QVP/1 OFFER (the manifest answered file by file, then a verified reception that
// resumes and skips).
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "transfer/link.h"
#include "transfer/partial_files.h"
#include "transfer/receiver.h"
#include "trust/trusted_list.h"

constexpr size_t kMostOfferRecords = 1000000;            // blocks of a manifest
constexpr int64_t kOfferByteLimit = 64LL << 20;          // bytes of a trusted sender's manifest
constexpr int64_t kUntrustedOfferByteLimit = 4LL << 20;  // an untrusted one's: it only gets NEED
constexpr int kOfferMilliseconds = 120000;               // the whole manifest arrives within this

ReceiveResult servePrivateOffer(Link& link, uint32_t sender, const std::optional<TrustedComputer>& trusted,
                                const std::string& senderId, unsigned stops);

// Called on the reception's thread as an offer's reception ends, with what became of its
// files and the trusted computer they came from (the command line prints it, named, as
// several may end at once); null: nothing.
using PrivateTallyShown = void (*)(const TransferTally& tally, const std::vector<std::string>& failed,
                                   const std::string& from);
void setPrivateTallyShown(PrivateTallyShown shown);
