// The receiver's half of a private offer: what it answers HAVE for (transfer/answered_files.h),
// and the records that may then skip or resume. Anything not answered so is refused alike,
// whether or not the name exists, so that a sender learns nothing of the store from its
// records.
#pragma once
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "platform/files.h"
#include "store/partial_record.h"
#include "transfer/answered_files.h"
#include "trust/content_hash.h"

// The receiver's answer to one offered file (its record's Name and Directory in local
// form): "HAVE n hash" text for the whole file of that name in the store, or for a kept
// partial file of this sender that is to become it, kept in *answers; "" for NEED. tick
// is called while it hashes; its false (a Stop) ends the hashing with NEED. A target
// already in *seen (the offer's targets so far) gets NEED: each stored file is read at
// most once per offer, however often a manifest names it. empty, when given, remembers
// the last folder found missing or through a link: the rest of its files, which come
// together, are answered NEED without a look at each.
struct EmptyFolder {
    std::string directory;
    bool known = false;
};
std::string offeredFileAnswer(OfferAnswers* answers, std::set<std::string>* seen, const std::string& store,
                              const std::string& name, const std::string& directory, int64_t size,
                              const std::vector<PartialRecord>& partials, bool (*tick)(void*), void* context,
                              EmptyFolder* empty = nullptr);

// A Skip:1 record of target (at path, of size): true only when it was answered HAVE for
// the whole file and that file is still the one hashed. The answer is used up either way.
bool takeAnsweredSkip(OfferAnswers& answers, const std::string& target, const std::string& path, int64_t size);
// An Offset:offset record of target: the kept partial file answered HAVE offset, opened cut
// to offset (fileOpenAt), hash put in the state of its first offset bytes, its name in
// *temporary. kInvalidFile for anything that was not answered so, or a file changed since.
FileHandle takeAnsweredResume(OfferAnswers& answers, const std::string& store, const std::string& target, int64_t size,
                              int64_t offset, ContentHash* hash, std::string* temporary);
