#include "private/offer_answers.h"

#include <cctype>
#include <utility>

#include "private/file_hash.h"
#include "private/private_framing.h"
#include "store/store_names.h"
#include "transfer/existing_files.h"

namespace {
// One target's key: under Windows rules names differing in case, or in trailing dots and
// spaces, are the same file.
std::string targetKey(std::string relative, bool windowsRules) {
    if (!windowsRules) return relative;
    for (char& c : relative) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    while (!relative.empty() && (relative.back() == '.' || relative.back() == ' ')) relative.pop_back();
    return relative;
}

// The HAVE text for the first length bytes of the file at path, "" when they cannot be
// read. Its stamp comes from the handle hashed; a partial file's hash state is kept.
std::string answerFor(OfferAnswer* answer, const std::string& path, int64_t length, bool (*tick)(void*),
                      void* context) {
    const FileHandle file = fileOpenRead(path);
    ContentHash* hash = file == kInvalidFile ? nullptr : contentHashStart();
    bool read = hash && fileStampOf(file, &answer->stamp) && hashFileBytes(file, length, hash, tick, context);
    fileClose(file);
    if (read && !answer->temporary.empty()) {
        answer->prefix.reset(contentHashStart());
        read = contentHashSet(answer->prefix.get(), hash);
    }
    const std::string hex = read ? contentHashFinal(hash) : std::string();
    if (!read) contentHashFree(hash);
    answer->length = length;
    return hex.empty() ? hex : haveText(length, hex);
}

// The answer kept for target, taken out (each is used once); size 0 when there is none.
OfferAnswer takeAnswer(OfferAnswers& answers, const std::string& target) {
    const auto found = answers.find(target);
    if (found == answers.end()) return OfferAnswer();
    OfferAnswer answer = std::move(found->second);
    answers.erase(found);
    return answer;
}
}  // namespace

std::string offeredFileAnswer(OfferAnswers* answers, std::set<std::string>* seen, const std::string& store,
                              const std::string& name, const std::string& directory, int64_t size,
                              const std::vector<PartialRecord>& partials, bool (*tick)(void*), void* context,
                              EmptyFolder* empty) {
    const bool windowsRules = localWindowsRules();
    std::vector<std::string> components;
    if (size <= 0 || !splitRecordDirectory(directory, windowsRules, &components) ||
        !isSenderComponent(name, windowsRules))
        return std::string();
    if (empty && empty->known && empty->directory == directory) return std::string();
    // A folder that is missing holds neither the file nor a partial file of it.
    const bool holdsNone = passesThroughLink(store, components, kPathSeparator) ||
                           (empty &&
                            pathEntryOf(joinStorePath(store, components, kPathSeparator)) == PathEntry::Missing);
    if (empty) *empty = EmptyFolder{directory, holdsNone};
    if (holdsNone) return std::string();
    std::string relative;
    for (const std::string& component : components) relative += component + "/";
    relative += name;
    if (!seen->insert(targetKey(relative, windowsRules)).second) return std::string();
    components.push_back(name);
    const std::string path = joinStorePath(store, components, kPathSeparator);
    OfferAnswer answer;
    answer.size = size;
    std::string have;
    // Content to be kept both, or asked about, is sent whatever the file at its name holds.
    const bool mayHave = existingReplaces() || existingSkipsSame();
    if (mayHave && fitsLocalPathLimit(path) && !isSymbolicLink(path) && measureFileSize(path) == size) {
        have = answerFor(&answer, path, size, tick, context);
    } else {
        for (const PartialRecord& p : partials) {
            if (p.target != relative || p.size != size) continue;
            const std::string kept = partialLocalPath(store, p.temporary);
            const int64_t length = kept.empty() ? -1 : measureFileSize(kept);
            answer.temporary = p.temporary;
            if (length > 0 && length < size) have = answerFor(&answer, kept, length, tick, context);
            break;
        }
    }
    if (!have.empty()) (*answers)[relative] = std::move(answer);
    return have;
}

bool takeAnsweredSkip(OfferAnswers& answers, const std::string& target, const std::string& path, int64_t size) {
    const OfferAnswer answer = takeAnswer(answers, target);
    return answer.size > 0 && answer.temporary.empty() && answer.length == size && answer.size == size &&
           pathStillNames(path, answer.stamp);
}

FileHandle takeAnsweredResume(OfferAnswers& answers, const std::string& store, const std::string& target, int64_t size,
                              int64_t offset, ContentHash* hash, std::string* temporary) {
    const OfferAnswer answer = takeAnswer(answers, target);
    if (answer.temporary.empty() || answer.size != size || answer.length != offset || !answer.prefix)
        return kInvalidFile;
    const std::string path = partialLocalPath(store, answer.temporary);
    if (path.empty() || !pathStillNames(path, answer.stamp)) return kInvalidFile;
    // The content goes after the kept bytes, which are not read again.
    const FileHandle kept = fileOpenAt(path, offset);
    if (kept == kInvalidFile || (fileSeek(kept, offset) && contentHashSet(hash, answer.prefix.get()))) {
        *temporary = answer.temporary;
        return kept;
    }
    fileClose(kept);
    return kInvalidFile;
}
