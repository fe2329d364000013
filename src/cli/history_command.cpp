// quorvalinthexa history: the transfers this user's copies recorded, newest first, as
// lines a person reads or as JSON for scripts; and the history's limit and clearing.
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "history/history.h"
#include "history/history_text.h"
#include "selection/size_format.h"

namespace {
// How many top-level names a line shows before "and N more".
constexpr size_t kNamesShown = 3;
// How many bytes of a text a line shows.
constexpr size_t kTextShown = 60;

void printHistoryUsage(FILE* out) {
    fputs("Usage: quorvalinthexa history [--limit N] [--json] [--clear] [--keep N]\n"
          "\n"
          "Lists the transfers this user's copies recorded, newest first: when, received or\n"
          "sent, through which door, the other computer, what (the first names, the number\n"
          "of files and bytes), where it was stored and how it ended. Every receive, send\n"
          "and serve records its transfers in $XDG_STATE_HOME/quorvalinthexa/history.db\n"
          "(~/.local/state/... by default), readable by the user only.\n"
          "\n"
          "Options:\n"
          "  --limit N   list the newest N entries only\n"
          "  --json      print one JSON array, one object a line, with every field\n"
          "  --clear     remove every entry\n"
          "  --keep N    keep the newest N entries from now on (1-100000; default 1000)\n"
          "  --help      show this text\n"
          "\n"
          "Names from other computers are shown with their control characters escaped.\n"
          "\n"
          "Exit status: 0 when listed or changed, 1 when the history could not be opened\n"
          "or changed, 2 on a usage error.\n",
          out);
}

int usageError(const char* message, const char* detail) { return commandUsageError("history", message, detail); }

std::string localTime(int64_t seconds) {
    const time_t when = static_cast<time_t>(seconds);
    struct tm local;
    char text[32];
    if (!localtime_r(&when, &local) || !strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local)) return "?";
    return text;
}

const char* doorText(HistoryDoor door) {
    switch (door) {
        case HistoryDoor::Transfer: return "port 2904, in the clear";
        case HistoryDoor::Private: return "private channel, encrypted";
        case HistoryDoor::BrowserUpload: return "browser upload";
        case HistoryDoor::BrowserDownload: return "browser download";
        case HistoryDoor::Text: return "text";
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
    std::string line = localTime(entry.time) + "  " + historyDirectionWord(entry.direction) + "  " +
                       doorText(entry.door) + "  " + (sent ? "to " : "from ") + peerText(entry) + "  " +
                       whatText(entry);
    if (!entry.folder.empty()) line += "  into " + printableText(entry.folder);
    line += std::string("  ") + historyOutcomeWord(entry.outcome);
    if (!entry.reason.empty()) line += ": " + printableText(entry.reason);
    return line;
}

struct HistoryOptions {
    long limit = 0;
    long keep = 0;
    bool json = false;
    bool clear = false;
};

// The options, or a status to end with (*done): --help, or a usage error.
bool parseHistoryOptions(int argc, char** argv, HistoryOptions* options, int* status) {
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (!strcmp(arg, "--help") || !strcmp(arg, "-h")) {
            printHistoryUsage(stdout);
            *status = 0;
            return false;
        } else if (!strcmp(arg, "--json")) {
            options->json = true;
        } else if (!strcmp(arg, "--clear")) {
            options->clear = true;
        } else if (!strcmp(arg, "--limit") || !strcmp(arg, "--keep")) {
            long* value = arg[2] == 'l' ? &options->limit : &options->keep;
            if (i + 1 >= argc || !parseWholeNumber(argv[i + 1], 1, kHistoryMostLimit, value)) {
                *status = usageError(arg, " needs a number from 1 to 100000");
                return false;
            }
            ++i;
        } else {
            *status = usageError("unknown argument: ", arg);
            return false;
        }
    }
    return true;
}
}  // namespace

void startCliHistory() {
    const std::string path = historyPath();
    if (!startHistory(path))
        fprintf(stderr, "quorvalinthexa: the history in %s cannot be opened; transfers are not recorded\n",
                path.empty() ? "(no home)" : path.c_str());
}

int historyCommand(int argc, char** argv) {
    HistoryOptions options;
    int status = 0;
    if (!parseHistoryOptions(argc, argv, &options, &status)) return status;
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
