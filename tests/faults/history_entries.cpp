// Writes history entries into the database at DB as a program that transfers does: one
// for each name read from standard input, and says of each whether the database holds
// it once written ("committed NAME" or "failed NAME"). The fault tests kill it
// mid-stream, or give it a full disk:
//   qv_history_entries DB [TEXT_BYTES] < names
// TEXT_BYTES gives every entry a text of that many bytes (so that each needs room of
// its own on the disk).
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

#include "history/history.h"

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        fputs("usage: qv_history_entries DB [TEXT_BYTES] < names\n", stderr);
        return 2;
    }
    if (!startHistory(argv[1], kHistoryMostLimit)) {
        fprintf(stderr, "qv_history_entries: cannot open %s\n", argv[1]);
        return 1;
    }
    const size_t textBytes = argc > 2 ? strtoul(argv[2], nullptr, 10) : 0;
    std::string name;
    while (std::getline(std::cin, name)) {
        HistoryEntry entry;
        entry.names = {name};
        entry.files = 1;
        entry.peer = "writer";
        entry.text.assign(textBytes, 't');
        recordHistory(entry);
        flushHistory();
        const std::vector<HistoryEntry> newest = readHistory(1);
        const bool kept = !newest.empty() && newest[0].names == entry.names;
        printf("%s %s\n", kept ? "committed" : "failed", name.c_str());
        fflush(stdout);
    }
    return 0;
}
