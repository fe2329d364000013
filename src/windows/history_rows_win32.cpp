#include "windows/history_rows_win32.h"

#include "core/shown_text.h"
#include "core/utf8_reader.h"
#include "history/history_names.h"
#include "resource.h"
#include "selection/size_format.h"
#include "windows/texts_win32.h"

const HistoryColumn kHistoryColumnList[kHistoryColumns] = {{IDS_COLUMN_TIME, 74},  {IDS_COLUMN_DIRECTION, 52},
                                                           {IDS_COLUMN_DOOR, 60},  {IDS_COLUMN_COMPUTER, 54},
                                                           {IDS_COLUMN_WHAT, 110}, {IDS_COLUMN_FILES, 38},
                                                           {IDS_COLUMN_SIZE, 38},  {IDS_COLUMN_WHERE, 50},
                                                           {IDS_COLUMN_RESULT, 60}};

namespace {
// The names shown before "and N more".
constexpr size_t kNamesShown = 2;
// The most bytes of a text's first line shown as its "what".
constexpr size_t kTextLineBytes = 80;
// Seconds from 1601 (the system's file times) to 1970, and the last second of year 9999.
constexpr int64_t kEpochDifference = 11644473600LL;
constexpr int64_t kLastTime = 253402300799LL;

// The user's short date and time (without seconds), in the local time zone.
std::wstring localTime(int64_t seconds) {
    if (seconds < 0 || seconds > kLastTime) return std::wstring();
    ULARGE_INTEGER ticks;
    ticks.QuadPart = static_cast<ULONGLONG>(seconds + kEpochDifference) * 10000000ULL;
    FILETIME utc = {ticks.LowPart, ticks.HighPart}, local = {};
    SYSTEMTIME time = {};
    if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToSystemTime(&local, &time)) return std::wstring();
    wchar_t date[80] = {}, clock[80] = {};
    GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &time, nullptr, date, 80);
    GetTimeFormatW(LOCALE_USER_DEFAULT, TIME_NOSECONDS, &time, nullptr, clock, 80);
    return std::wstring(date) + L" " + clock;
}

std::wstring direction(HistoryDirection direction) {
    return direction == HistoryDirection::Received ? L"\u2193 " + loadTextW(IDS_DIRECTION_RECEIVED)
                                                   : L"\u2191 " + loadTextW(IDS_DIRECTION_SENT);
}

int doorText(HistoryDoor door) {
    switch (door) {
        case HistoryDoor::Private: return IDS_DOOR_PRIVATE;
        case HistoryDoor::BrowserUpload: return IDS_DOOR_BROWSER_UPLOAD;
        case HistoryDoor::BrowserDownload: return IDS_DOOR_BROWSER_DOWNLOAD;
        case HistoryDoor::Text: return IDS_DOOR_TEXT;
        default: return IDS_DOOR_TRANSFER;
    }
}

int outcomeText(HistoryOutcome outcome) {
    switch (outcome) {
        case HistoryOutcome::Incomplete: return IDS_OUTCOME_INCOMPLETE;
        case HistoryOutcome::Refused: return IDS_OUTCOME_REFUSED;
        case HistoryOutcome::Canceled: return IDS_OUTCOME_CANCELED;
        default: return IDS_OUTCOME_COMPLETE;
    }
}

// A text's first line stands for it; its names, if any, for anything else.
std::wstring what(const HistoryEntry& entry) {
    if (entry.door == HistoryDoor::Text && !entry.text.empty()) {
        std::string line = entry.text.substr(0, entry.text.find_first_of("\r\n"));
        std::u16string shown = shownText(utf8Prefix(line, kTextLineBytes));
        return std::wstring(shown.begin(), shown.end());
    }
    return utf8ToWide(historyNamesText(entry.names, kNamesShown, wideToUtf8(loadTextW(IDS_NAMES_AND_MORE))));
}

std::wstring lowered(std::wstring text) {
    if (!text.empty()) CharLowerBuffW(&text[0], static_cast<DWORD>(text.size()));
    return text;
}

}  // namespace

HistoryCells historyCells(const HistoryEntry& entry) {
    HistoryCells cells;
    cells[0] = localTime(entry.time);
    cells[1] = direction(entry.direction);
    cells[2] = loadTextW(doorText(entry.door));
    cells[3] = utf8ToWide(entry.peer.empty() ? entry.address : entry.peer);
    cells[4] = what(entry);
    cells[5] = entry.door == HistoryDoor::Text ? std::wstring() : std::to_wstring(entry.files);
    cells[6] = utf8ToWide(formatSize(entry.bytes));
    cells[7] = utf8ToWide(entry.folder);
    cells[8] = loadTextW(outcomeText(entry.outcome));
    if (entry.tries > 1) cells[8] += L" " + loadTextWith(IDS_HISTORY_TRIES, std::to_string(entry.tries));
    if (!entry.reason.empty()) cells[8] += L": " + utf8ToWide(entry.reason);
    return cells;
}

bool historyCellsMatch(const HistoryCells& cells, const std::wstring& filter) {
    const std::wstring wanted = lowered(filter);
    for (const std::wstring& cell : cells)
        if (lowered(cell).find(wanted) != std::wstring::npos) return true;
    return false;
}

std::wstring receivedItemPath(const HistoryEntry& entry) {
    if (entry.direction != HistoryDirection::Received || entry.door == HistoryDoor::Text || entry.names.empty())
        return std::wstring();
    return utf8ToWide(historyItemPath(entry.folder, entry.names.front()));
}
