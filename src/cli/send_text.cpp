#include "cli/send_text.h"

#include <unistd.h>

#include <cstdio>

#include "cli/commands.h"
#include "cli/window_port_cli.h"
#include "core/peer_text.h"
#include "core/terminal_lines.h"
#include "core/text_routines.h"
#include "core/texts.h"
#include "platform/net.h"
#include "send/text_send.h"

namespace {
// Standard input up to one byte past the bound: more is refused, never cut.
bool readStandardInput(std::string* text) {
    char buffer[16384];
    while (text->size() <= static_cast<size_t>(kMostTextBytes)) {
        const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
        if (n == 0) return true;
        if (n < 0) return false;
        text->append(buffer, static_cast<size_t>(n));
    }
    return true;
}

int exitStatus(TextSendResult result) {
    switch (result) {
        case TextSendResult::Stored: return 0;
        case TextSendResult::Empty:
        case TextSendResult::TooLong:
        case TextSendResult::NotValid: return 2;
        case TextSendResult::Refused: return 4;
        case TextSendResult::NotTrusted:
        case TextSendResult::KeyChanged: return 5;
        default: return 3;
    }
}
}  // namespace

int sendTextTo(const std::string& host, const std::string& words) {
    std::string text = words;
    if (words == "-" && (text.clear(), !readStandardInput(&text))) {
        perror("quorvalinthexa send: standard input");
        return 2;
    }
    netStartup();
    startCliHistory();
    const TextSendEnding ending = sendText(host, text);
    netCleanup();
    const int id = textSendTextId(ending.result);
    const std::string shown = ending.result == TextSendResult::Refused ? ending.reason : ending.name;
    const std::string line = fillPlaceholders(englishText(id), terminalText(shown));
    if (ending.result == TextSendResult::Stored) {
        cliPortShowLine(line + " (encrypted)");
        return 0;
    }
    fprintf(stderr, "quorvalinthexa send: %s\n", line.c_str());
    if (ending.result == TextSendResult::NotTrusted)
        fprintf(stderr, "quorvalinthexa send: to trust it: quorvalinthexa pair %s\n", terminalText(host).c_str());
    return exitStatus(ending.result);
}
