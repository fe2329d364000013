#include "cli/window_port_cli.h"

#include <unistd.h>

#include <cstdio>
#include <mutex>

#include "core/texts.h"
#include "core/window_port.h"

namespace {
constexpr int kBarWidth = 30;

std::mutex lock;  // every worker thread may call the port
std::string storePath, ownAddress, recipient;
int barPercent = -1;  // -1: no bar drawn
std::string rateText;
bool transferring = false;

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

// A status line above the bar, then the bar again.
void printLine(FILE* out, const std::string& text) {
    clearBar();
    fflush(stdout);
    fputs(text.c_str(), out);
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

void cliPortEndProgressLine() {
    std::lock_guard<std::mutex> guard(lock);
    endBar();
}

void portSetStatusText(int textId) {
    std::lock_guard<std::mutex> guard(lock);
    printLine(stdout, englishText(textId));
}

void portSetStatusFormatted(int textId, int value) {
    char text[72];
    snprintf(text, sizeof text, englishText(textId), value);
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

void portSetRecipient(const std::string& address) {
    std::lock_guard<std::mutex> guard(lock);
    recipient = address.substr(0, 15);
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
