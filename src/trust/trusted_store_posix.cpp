// The pinned list on POSIX: $XDG_STATE_HOME/quorvalinthexa/trusted, mode 0600, replaced
// whole (a temporary file renamed over it) under a lock on "trusted.lock" beside it, as
// the remembered peers' file is.
#include <cstring>
#include <mutex>

#include "platform/locked_file.h"
#include "platform/user_folders.h"
#include "trust/trusted_store.h"

namespace {
std::mutex troubleLock;
std::string trouble;

std::string trustedPath() { return userFilePath(UserFolder::State, "trusted"); }

void noteTrouble(const std::string& text) {
    std::lock_guard<std::mutex> guard(troubleLock);
    trouble = text;
}

}  // namespace

std::string editTrustedText(const TrustedTextEdit& edit, bool* stored) {
    const std::string path = trustedPath();
    const LockedEdit done = editLockedFile(path, kTrustedTextMostBytes, edit);
    if (stored) *stored = done.stored;
    noteTrouble(done.readError ? path + " cannot be read (" + strerror(done.readError) + "); it was left as it is"
                : done.stored  ? std::string()
                               : path + " cannot be written");
    return done.text;
}

std::string trustedStoreTrouble() {
    std::lock_guard<std::mutex> guard(troubleLock);
    return trouble;
}
