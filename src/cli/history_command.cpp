// quorvalinthexa history: the transfers this user's copies recorded, newest first, as
// lines a person reads or as JSON for scripts; and the history's limit and clearing.
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "cli/command_options.h"
#include "cli/commands.h"
#include "history/history.h"
#include "history/history_text.h"
#include "selection/size_format.h"

namespace {
// How many top-level names a line shows before "and N more".
constexpr size_t kNamesShown = 3;
// How many bytes of a text a line shows.
constexpr size_t kTextShown = 60;

std::string localTime(int64_t seconds) {
    const time_t when = static_cast<time_t>(seconds);
    struct tm local;
    char text[32];
    if (!localtime_r(&when, &local) || !strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local)) return "?";
    return text;
}

const char* doorText(const HistoryEntry& entry) {
    switch (entry.door) {
        case HistoryDoor::Transfer: return "port 2904, in the clear";
        case HistoryDoor::Private: return "private channel, encrypted";
        case HistoryDoor::BrowserUpload: return "browser upload";
        case HistoryDoor::BrowserDownload: return "browser download";
        case HistoryDoor::Text: return historyEncrypted(entry) ? "text, encrypted" : "text";
    }
    return "?";
}

std::string peerText(const HistoryEntry& entry) {
    std::string peer = printableText(entry.peer.empty() ? entry.address : entry.peer);
    if (!entry.peer.empty() && !entry.address.empty() && entry.peer != entry.address)
        peer += " (" + printableText(entry.address) + ")";
    return peer.empty() ? "?" : peer;
}

std::string whatText(const HistoryEntry& entry) {
    if (entry.door == HistoryDoor::Text) {
        std::string shown = printableText(entry.text.substr(0, kTextShown));
        return "\"" + shown + (entry.text.size() > kTextShown ? "...\"" : "\"");
    }
    std::string what;
    for (size_t i = 0; i < entry.names.size() && i < kNamesShown; ++i)
        what += (i ? ", " : "") + printableText(entry.names[i]);
    if (entry.names.size() > kNamesShown) what += " and " + std::to_string(entry.names.size() - kNamesShown) + " more";
    what += (what.empty() ? "(" : " (") + std::to_string(entry.files) + (entry.files == 1 ? " file, " : " files, ") +
            formatSize(entry.bytes) + ")";
    return what;
}

std::string historyLine(const HistoryEntry& entry) {
    const bool sent = entry.direction == HistoryDirection::Sent;
    std::string line = localTime(entry.time) + "  " + historyDirectionWord(entry.direction) + "  " + doorText(entry) +
                       "  " + (sent ? "to " : "from ") + peerText(entry) + "  " + whatText(entry);
    if (!entry.folder.empty()) line += "  into " + printableText(entry.folder);
    line += std::string("  ") + historyOutcomeWord(entry.outcome);
    if (entry.tries > 1) line += " after " + std::to_string(entry.tries) + " tries";
    if (!entry.reason.empty()) line += ": " + printableText(entry.reason);
    return line;
}

}  // namespace

void startCliHistory() {
    const std::string path = historyPath();
    if (!startHistory(path))
        fprintf(stderr, "quorvalinthexa: the history in %s cannot be opened; transfers are not recorded\n",
                path.empty() ? "(no home)" : path.c_str());
}

int historyCommand(int argc, char** argv) {
    HistorySettings options;
    const int status = parseCommandLine(historyOptions(), argc, argv, &options);
    if (status >= 0) return status;
    const std::string path = historyPath();
    if (!startHistory(path)) {
        fprintf(stderr, "quorvalinthexa history: %s cannot be opened\n", path.empty() ? "(no home)" : path.c_str());
        return 1;
    }
    if (options.keep > 0) {
        if (!setHistoryLimit(static_cast<int>(options.keep))) {
            fputs("quorvalinthexa history: the limit could not be stored\n", stderr);
            return 1;
        }
        printf("The history keeps the newest %ld entries.\n", options.keep);
    }
    if (options.clear) {
        if (!clearHistory()) {
            fputs("quorvalinthexa history: the history could not be cleared\n", stderr);
            return 1;
        }
        puts("The history is empty.");
    }
    if ((options.keep > 0 || options.clear) && !options.json && options.limit == 0) return 0;
    const std::vector<HistoryEntry> entries = readHistory(static_cast<int>(options.limit));
    if (options.json) fputs(historyJson(entries).c_str(), stdout);
    else if (entries.empty()) puts("No transfers in the history.");
    for (const HistoryEntry& entry : options.json ? std::vector<HistoryEntry>() : entries)
        puts(historyLine(entry).c_str());
    return 0;
}
