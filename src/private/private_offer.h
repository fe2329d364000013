// The sender's half of a private offer (QVP/1 OFFER): the manifest goes first, the
// receiver answers what it has of each file, and the transfer then sends only the rest;
// at its end the receiver's tally.
#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "transfer/link.h"
#include "transfer/partial_files.h"
#include "trust/content_hash.h"

// A file to resume: the state of our hash after its first n bytes, as its HAVE was checked,
// and the file as it was then. Its content continues that hash, the n bytes unread again.
struct CheckedPrefix {
    FileStamp stamp;
    std::unique_ptr<ContentHash, ContentHashFree> hash;
};

// After OFFER: writes the manifest of the analysed selection (transferManifest,
// directoryList) and reads the answers. For each manifest entry, *from receives where its
// content starts: 0 (sent whole), n (the receiver holds our first n bytes: resumed from n,
// its checked prefix in (*prefixes)[index]), or its size (there whole: skipped), each HAVE
// checked against our own hash. While a HAVE is checked the receiver hears our WAIT lines
// now and then. False when the receiver refused (its text in *refusal) or answered
// nothing usable in time.
bool offerManifest(Link& link, int stallMilliseconds, std::vector<int64_t>* from,
                   std::map<size_t, CheckedPrefix>* prefixes, std::string* refusal);

// After the last record: ends our direction and reads the final answer. True only for a
// STORED tally followed by the receiver's close_notify. *tally is known once a tally came;
// the names of the files it did not store in *failed; a refusal's text in *refusal.
bool privateOfferStored(Link& link, int stallMilliseconds, TransferTally* tally, std::vector<std::string>* failed,
                        std::string* refusal);

// The lines a file record of an offer carries beyond the 3.0 ones ("Skip:1\n",
// "Offset:n\n", or ""), and the check block that follows its content.
std::string offerRecordLines(int64_t from, int64_t size);
std::string checkBlockBytes(const std::string& hex);
