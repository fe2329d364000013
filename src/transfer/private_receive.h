// The receiving side of a private transfer, once the session and its request line are
// there: QVP/1 SEND (the 3.0 reception as on port 2904) and QVP/1 OFFER (the manifest
// answered file by file, then a verified reception that resumes and skips).
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
constexpr int kWaitLineMilliseconds = 1000;              // at most one WAIT line this often

ReceiveResult servePrivateSend(Link& link, uint32_t sender, const std::optional<TrustedComputer>& trusted,
                               unsigned stops);
ReceiveResult servePrivateOffer(Link& link, uint32_t sender, const std::optional<TrustedComputer>& trusted,
                                const std::string& senderId, unsigned stops);

// Called on the reception's thread as an offer's reception ends, with what became of its
// files (the command line prints it); null: nothing.
void setPrivateTallyShown(void (*shown)(const TransferTally& tally, const std::vector<std::string>& failed));

// The receiver's answer to one offered file (its record's Name and Directory in local
// form): "HAVE n hash" text for the whole file of that name in the store, or for a kept
// partial file of this sender that is to become it; "" for NEED. tick is called while it hashes.
// A target already in *seen (the offer's targets so far) gets NEED: each stored file is
// read at most once per offer, however often a manifest names it.
std::string offeredFileAnswer(std::set<std::string>* seen, const std::string& store, const std::string& name,
                              const std::string& directory, int64_t size, const std::vector<PartialRecord>& partials,
                              void (*tick)(void*), void* context);
