#include "cli/window_port_cli.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <mutex>

#include "core/central_state.h"
#include "core/terminal_lines.h"
#include "core/text_routines.h"
#include "core/texts.h"
#include "core/window_port.h"
#include "platform/threads.h"
#include "resource.h"
#include "selection/size_format.h"

namespace {
constexpr int kBarWidth = 30;

std::mutex lock;  // every worker thread may call the port
std::string storePath, ownAddress, recipient;
int barPercent = -1;  // -1: no bar drawn
std::string rateText;
bool transferring = false;
std::string privatePeer;  // the trusted computer of the private transfer running now
bool inTheClear = false;  // the send running now goes on port 2904
bool trustWithoutAsking = false;

bool onTerminal() {
    static const bool terminal = isatty(STDOUT_FILENO) == 1;
    return terminal;
}

void clearBar() {
    if (barPercent >= 0) fputs("\r\033[K", stdout);
}

void drawBar() {
    if (barPercent < 0) return;
    char bar[kBarWidth + 1];
    int filled = barPercent * kBarWidth / 100;
    for (int i = 0; i < kBarWidth; ++i) bar[i] = i < filled ? '#' : '.';
    bar[kBarWidth] = '\0';
    printf("\r[%s] %3d%%  %s\033[K", bar, barPercent, rateText.c_str());
}

// A status line above the bar, then the bar again. Lines may carry a peer's words (a
// refusal's text, a name), so none reaches the terminal with a control in it.
void printLine(FILE* out, const std::string& text) {
    clearBar();
    fflush(stdout);
    fputs(terminalText(text).c_str(), out);
    if (text.empty() || text.back() != '\n') fputc('\n', out);
    fflush(out);
    drawBar();
    fflush(stdout);
}

// The bar goes when its transfer ends; the status lines above it stay.
void endBar() {
    clearBar();
    fflush(stdout);
    barPercent = -1;
    rateText.clear();
}
}  // namespace

void cliPortSetStorePath(const std::string& path) {
    std::lock_guard<std::mutex> guard(lock);
    storePath = path;
}

void cliPortSetOwnAddress(const std::string& address) {
    std::lock_guard<std::mutex> guard(lock);
    ownAddress = address;
}

void cliPortShowLine(const std::string& text) {
    std::lock_guard<std::mutex> guard(lock);
    printLine(stdout, text);
}

void cliPortSetBarText(const std::string& text) {
    std::lock_guard<std::mutex> guard(lock);
    if (!onTerminal() || !transferring) return;
    rateText = text;
    if (barPercent < 0) barPercent = 0;
    drawBar();
    fflush(stdout);
}

void cliPortEndProgressLine() {
    std::lock_guard<std::mutex> guard(lock);
    endBar();
}

namespace {
// A private transfer's lines name the trusted computer and say that it is encrypted.
std::string privateText(int textId, const std::string& text) {
    if (inTheClear && textId == IDS_SENDING) return "Sending (in the clear)...";
    if (inTheClear && (textId == IDS_TRANSFER_COMPLETE || textId == IDS_TRANSFER_INCOMPLETE))
        return text + " (in the clear)";
    if (privatePeer.empty()) return text;
    if (textId == IDS_RECEIVING) return "Receiving from " + privatePeer + " (encrypted)...";
    if (textId == IDS_SENDING) return "Sending to " + privatePeer + " (encrypted)...";
    if (textId == IDS_RECEIVING_COMPLETE || textId == IDS_RECEIVING_INCOMPLETE)
        return text + " (encrypted, from " + privatePeer + ")";
    if (textId == IDS_TRANSFER_COMPLETE || textId == IDS_TRANSFER_INCOMPLETE)
        return text + " (encrypted, to " + privatePeer + ")";
    return text;
}
}  // namespace

// The program points at its tray menu when nobody is found; here the check is a command.
void portSetStatusText(int textId) {
    std::lock_guard<std::mutex> guard(lock);
    printLine(stdout, textId == IDS_NOBODY_FOUND ? "Nobody found yet. 'quorvalinthexa discover --check' "
                                                   "(with this receiver stopped) tells why."
                                                 : privateText(textId, englishText(textId)));
}

void portSetPrivatePeer(const std::string& name) {
    std::lock_guard<std::mutex> guard(lock);
    privatePeer = terminalText(name);
}

void portSetInTheClear(bool plain) {
    std::lock_guard<std::mutex> guard(lock);
    inTheClear = plain;
}

// A line per wait, not per second: a countdown that starts again is the next wait.
void portShowRetryWait(const std::string& name, int seconds) {
    static int last = 0;
    std::lock_guard<std::mutex> guard(lock);
    if (seconds > last)
        printLine(stdout, fillPlaceholders(englishText(IDS_RETRY_WAITING), name, std::to_string(seconds)));
    last = seconds;
}

void cliPortTrustWithoutAsking(bool yes) {
    std::lock_guard<std::mutex> guard(lock);
    trustWithoutAsking = yes;
}

void portSetStatusFormatted(int textId, int value) {
    const std::string text = fillNumbers(englishText(textId), value);
    std::lock_guard<std::mutex> guard(lock);
    // The speed texts come every few seconds: on a terminal they ride on the bar.
    if (onTerminal() && transferring) {
        rateText = text;
        if (barPercent < 0) barPercent = 0;
        drawBar();
        fflush(stdout);
    } else {
        printLine(stdout, text);
    }
}

void portSetStatusEmpty() {}  // an empty status line says nothing on a terminal

void portSetProgress(int bar, int) {
    std::lock_guard<std::mutex> guard(lock);
    if (!onTerminal() || !transferring) return;
    barPercent = bar < 0 ? 0 : bar > 100 ? 100 : bar;
    drawBar();
    fflush(stdout);
}

void portSetButtonsIdle() {
    std::lock_guard<std::mutex> guard(lock);
    transferring = false;
    endBar();
}

void portSetButtonsTransferring() {
    std::lock_guard<std::mutex> guard(lock);
    transferring = true;
}

std::string portGetRecipient() {
    std::lock_guard<std::mutex> guard(lock);
    return recipient;
}

// The program shows the recipient in its field; here a line tells whom discovery found.
void portSetRecipient(const std::string& address) {
    std::lock_guard<std::mutex> guard(lock);
    std::string next = address.substr(0, 15);
    if (next == recipient) return;
    recipient = next;
    if (!recipient.empty()) printLine(stderr, "quorvalinthexa: recipient " + terminalText(recipient));
}

std::string portGetOwnAddress() {
    std::lock_guard<std::mutex> guard(lock);
    return ownAddress;
}

std::string portGetStorePath() {
    std::lock_guard<std::mutex> guard(lock);
    return storePath;
}

// An error may come from another thread than the running transfer's (a hand-over that
// failed during a reception): it goes above the bar, which carries on below it. A
// transfer that the error ends says so itself (idle buttons).
void portShowErrorText(int textId) {
    std::lock_guard<std::mutex> guard(lock);
    printLine(stderr, englishText(textId));
}

void portShowErrorMessage(const std::string& message) {
    std::lock_guard<std::mutex> guard(lock);
    printLine(stderr, message);
}

std::string portText(int textId) { return englishText(textId); }

void portShowRefusal(int textId, const std::string& address) {
    std::string text = englishText(textId);
    // A text that does not name the sender gets the address after it.
    text = text.find("%s") == std::string::npos ? text + " (" + address + ")" : fillPlaceholders(text, address);
    std::lock_guard<std::mutex> guard(lock);
    printLine(stderr, text);
}

namespace {
constexpr const char* kTextIndent = "  ";  // before each line of a browser's text

// The terminal's width in columns; 0 when standard output is no terminal or tells none.
int terminalColumns() {
    winsize size{};
    if (!onTerminal() || ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0) return 0;
    return size.ws_col;
}
}  // namespace

// A browser's text goes to standard output between a line that names its sender and a
// line "--", above the progress bar when one is drawn. Each of its lines is indented, and
// on a terminal folded to its width, so that no line of a text, not even one the terminal
// wraps, can read as that frame (a "--" and a "Text from" of its own).
void portShowText(const std::string& address, const std::string& utf8Text) {
    // A trusted computer's name is a peer's words too.
    std::string shown = "Text from " + terminalText(address) + ":\n";
    shown += indentedLines(terminalText(utf8Text), kTextIndent, terminalColumns());
    std::lock_guard<std::mutex> guard(lock);
    printLine(stdout, shown + "--");
}

namespace {
constexpr int kAnswerPoll = 200;  // milliseconds between two looks at Stop

// Waits for a line on standard input (at most 16 bytes, lowered, trailing blanks dropped):
// false when none came within milliseconds, or a Stop or (for a question that may be taken
// back, withdrawable) questionWithdrawn came first.
bool readLine(int milliseconds, bool withdrawable, std::string* line) {
    const uint32_t start = tickCount();
    while (!cancelRequested && !(withdrawable && questionWithdrawn)) {
        uint32_t waited = tickCount() - start;
        if (waited >= static_cast<uint32_t>(milliseconds)) return false;
        pollfd in{STDIN_FILENO, POLLIN, 0};
        int wait = std::min(kAnswerPoll, milliseconds - static_cast<int>(waited));
        if (poll(&in, 1, wait) <= 0) continue;
        char c;
        while (line->size() < 16 && read(STDIN_FILENO, &c, 1) == 1 && c != '\n') *line += c;
        while (!line->empty() && (line->back() == '\r' || line->back() == ' ')) line->pop_back();
        for (char& l : *line) l = static_cast<char>(tolower(static_cast<unsigned char>(l)));
        return true;
    }
    return false;
}

// "y" or "yes" (any case) says yes, anything else or the end of input no; no line is no answer.
AskAnswer readAnswer(int milliseconds, bool withdrawable) {
    std::string line;
    if (!readLine(milliseconds, withdrawable, &line)) return AskAnswer::Unanswered;
    return line == "y" || line == "yes" ? AskAnswer::Accepted : AskAnswer::Declined;
}
}  // namespace

// The question goes to the terminal; without one there is nobody to ask, and the answer
// is no.
AskAnswer portAskToReceive(const std::string& address, int64_t total, int milliseconds) {
    if (isatty(STDIN_FILENO) != 1) return AskAnswer::Declined;
    tcflush(STDIN_FILENO, TCIFLUSH);  // what was typed before the question answers nothing
    {
        std::lock_guard<std::mutex> guard(lock);
        clearBar();
        fflush(stdout);
        fprintf(stderr, "%s [y/N] ",
                fillPlaceholders(englishText(IDS_ASK_QUESTION), address, formatSize(total)).c_str());
        fflush(stderr);
    }
    AskAnswer answer = readAnswer(milliseconds, true);
    if (answer == AskAnswer::Unanswered) {
        fputs(questionWithdrawn ? "taken back: a trusted computer is sending\n" : "\n", stderr);
        fflush(stderr);
    }
    return answer;
}

// The names go to the terminal, one a line; "r", "k" or "s" answers for them, with an "a"
// after it for every such file of the reception. Without a terminal nobody is asked, and
// both files are kept.
ExistingAnswer portAskExisting(const std::string& address, const std::vector<std::string>& names, int milliseconds) {
    ExistingAnswer answer;
    if (isatty(STDIN_FILENO) != 1) return answer;
    tcflush(STDIN_FILENO, TCIFLUSH);
    {
        std::lock_guard<std::mutex> guard(lock);
        clearBar();
        fflush(stdout);
        std::string question = fillPlaceholders(englishText(IDS_EXISTING_QUESTION), address) + "\n";
        for (const std::string& name : names) question += "  " + terminalText(name) + "\n";
        fprintf(stderr, "%s%s ", question.c_str(), englishText(IDS_EXISTING_TERMINAL_CHOICES));
        fflush(stderr);
    }
    std::string word;
    readLine(milliseconds, false, &word);
    constexpr struct {
        const char *one, *all;
        ExistingReply reply;
    } kWords[] = {
        {"r", "ra", ExistingReply::Replace}, {"k", "ka", ExistingReply::KeepBoth}, {"s", "sa", ExistingReply::Skip}};
    for (const auto& known : kWords) {
        if (word != known.one && word != known.all) continue;
        answer.reply = known.reply;
        answer.forAll = word == known.all;
    }
    if (answer.reply == ExistingReply::Unanswered) fputs("(both kept)\n", stderr);
    return answer;
}

namespace {
// The comparison code in digits five lines high, so that it is read across a room.
std::string largeDigits(const std::string& code) {
    static const char* const kFont[10][5] = {
        {" ### ", "#   #", "#   #", "#   #", " ### "}, {"  #  ", " ##  ", "  #  ", "  #  ", " ### "},
        {" ### ", "    #", " ### ", "#    ", "#####"}, {"#### ", "    #", " ### ", "    #", "#### "},
        {"#   #", "#   #", "#####", "    #", "    #"}, {"#####", "#    ", "#### ", "    #", "#### "},
        {" ### ", "#    ", "#### ", "#   #", " ### "}, {"#####", "    #", "   # ", "  #  ", "  #  "},
        {" ### ", "#   #", " ### ", "#   #", " ### "}, {" ### ", "#   #", " ####", "    #", " ### "},
    };
    std::string shown;
    for (int row = 0; row < 5; ++row) {
        shown += "    ";
        for (size_t i = 0; i < code.size(); ++i) {
            const int digit = code[i] - '0';
            if (digit < 0 || digit > 9) continue;
            shown += std::string(kFont[digit][row]) + (i == 2 ? "    " : "  ");
        }
        shown += "\n";
    }
    return shown;
}
}  // namespace

// The code goes to standard output (a script reads it there), the question to standard
// error; the answer is read from standard input, a terminal or not.
bool portAskTrust(const std::string& name, const std::string& id, const std::string& code, int milliseconds) {
    bool yes;
    {
        std::lock_guard<std::mutex> guard(lock);
        clearBar();
        printf("Pairing with %s (%s)\nComparison code: %s\n\n%s\n", terminalText(name).c_str(), id.c_str(),
               code.c_str(), largeDigits(code).c_str());
        fflush(stdout);
        fputs("Compare this code with the one the other computer shows.\nTrust this computer? [y/N] ", stderr);
        yes = trustWithoutAsking;
        if (yes) fputs("y (--yes)\n", stderr);
        fflush(stderr);
    }
    if (yes) return true;
    // Trust is given by a person who compared the codes: never by a pipe's "y".
    if (isatty(STDIN_FILENO) != 1) {
        fputs("N (no terminal: --yes answers for scripts)\n", stderr);
        return false;
    }
    tcflush(STDIN_FILENO, TCIFLUSH);
    const AskAnswer answer = readAnswer(milliseconds, false);
    if (answer == AskAnswer::Unanswered) {
        fputc('\n', stderr);
        fflush(stderr);
    }
    return answer == AskAnswer::Accepted;
}

namespace {
constexpr int kMostRows = 8;
constexpr int kRowStep = 10;  // a row's progress is a line per this many percent
std::string rowNames[kMostRows];
int rowShown[kMostRows] = {};

bool rowKnown(int row) { return row >= 0 && row < kMostRows; }
}  // namespace

// A side reception's lines each name its sender, as a private reception's status lines
// do: several run at once.
void portRowStart(int row, const std::string& sender, const std::string& what) {
    if (!rowKnown(row)) return;
    std::lock_guard<std::mutex> guard(lock);
    rowNames[row] = terminalText(sender);
    rowShown[row] = -1;
    printLine(stdout, "Receiving from " + rowNames[row] + " (encrypted)... (" + terminalText(what) + ")");
}

void portRowProgress(int row, int percent) {
    if (!rowKnown(row)) return;
    std::lock_guard<std::mutex> guard(lock);
    const int step = std::clamp(percent, 0, 100) / kRowStep * kRowStep;
    if (step <= rowShown[row]) return;
    rowShown[row] = step;
    printLine(stdout, "Receiving from " + rowNames[row] + ": " + std::to_string(step) + "%");
}

void portRowEnd(int row, int textId) {
    if (!rowKnown(row)) return;
    std::lock_guard<std::mutex> guard(lock);
    printLine(stdout, std::string(englishText(textId)) + " (encrypted, from " + rowNames[row] + ")");
}
