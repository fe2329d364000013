// What a receiver answered HAVE for in a private offer, kept from its answer to the file's
// record: a record may skip or resume only as it was answered (the same n), and only while
// the file hashed is still the file there (the same file, size and change time). The
// verified reception (transfer/receiver.h) carries them; private/offer_answers.h makes and
// takes them.
#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "platform/files.h"
#include "trust/content_hash.h"

struct OfferAnswer {
    int64_t length = 0;     // the n of the HAVE
    int64_t size = 0;       // the offered file's size
    std::string temporary;  // a kept partial file's name in the store; "" for the whole file
    FileStamp stamp;        // the file as it was hashed
    // A kept partial file's hash after its n bytes: its content continues it, unread again.
    std::unique_ptr<ContentHash, ContentHashFree> prefix;
};
// By target: the file's path relative to the store, '/' between its components.
using OfferAnswers = std::map<std::string, OfferAnswer>;
