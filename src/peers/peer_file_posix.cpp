#include "peers/peer_file.h"

#include <algorithm>

#include "platform/locked_file.h"
#include "platform/user_folders.h"

std::string peerFilePath() { return userFilePath(UserFolder::State, "peers"); }

std::string readPeerFile(const std::string& path) {
    std::string text;
    if (!path.empty()) readSmallFile(path, kPeerFileMostBytes, &text);
    return text;
}

namespace {
std::string peerLines(const std::vector<std::string>& peers) {
    std::string text;
    for (const std::string& peer : peers) text += peer + "\n";
    return text;
}

// The edit speaks in commas; the file takes one address a line.
std::string linesOfCommas(const std::string& edited) {
    std::vector<std::string> lines;
    for (size_t start = 0; start < edited.size();) {
        const size_t comma = std::min(edited.find(',', start), edited.size());
        lines.push_back(edited.substr(start, comma - start));
        start = comma + 1;
    }
    return peerLines(lines);
}
}  // namespace

bool writePeerFile(const std::string& path, const std::vector<std::string>& peers) {
    return !path.empty() && makeParentFolders(path) && replaceSmallFile(path, peerLines(peers));
}

std::string editPeerFile(const std::string& path, const PeerTextEdit& edit) {
    std::string edited;
    editLockedFile(path, kPeerFileMostBytes, [&](const std::string& stored) {
        edited = edit(stored);
        // An edit that changes nothing hands back what was stored: the file stays as it is,
        // neither written again nor grown by a line.
        return edited == stored ? stored : linesOfCommas(edited);
    });
    return edited;
}

std::string numberedPeersPath(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1) + "numbered";
}
