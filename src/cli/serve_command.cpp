// quorvalinthexa serve: browser access from the terminal. Prints the address (and its QR
// code) through which a browser on the local network sends files into the store folder
// and texts to the terminal, and gets the files and the text given here, and serves until
// interrupted.
#include <algorithm>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <pthread.h>
#include <string>
#include <vector>

#include "cli/cli_discovery.h"
#include "cli/arguments.h"
#include "cli/command_options.h"
#include "cli/commands.h"
#include "cli/window_port_cli.h"
#include "platform/files.h"
#include "platform/net.h"
#include "policy/existing_choice.h"
#include "transfer/receiver.h"
#include "web/browser_access.h"
#include "web/browser_text.h"
#include "web/qr_code.h"

namespace {
constexpr int kStopWaitMilliseconds = 3000;

int usageError(const char* message, const char* detail) { return commandUsageError("serve", message, detail); }

bool parsePort(const char* text, uint16_t* port) { return parsePortNumber(text, 1, port); }

std::string absolutePath(const std::string& path) {
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) ? std::string(resolved) : std::string();
}

// The page speaks the terminal's language where the program has it.
std::string pageLanguage() {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = getenv(name);
        if (!value || !*value) continue;
        std::string code(value, strnlen(value, 2));
        return code == "es" || code == "ru" ? code : "en";
    }
    return "en";
}

}  // namespace

int serveCommand(int argc, char** argv) {
    ServeSettings settings;
    const int status = parseCommandLine(serveOptions(), argc, argv, &settings);
    if (status >= 0) return status;
    const std::string &store = settings.store, &portText = settings.port, &text = settings.text;
    std::string address = settings.address;
    const std::vector<std::string>& paths = settings.paths;
    const bool qr = settings.qr;
    setExistingChoice(settings.existing);
    uint16_t port = kBrowserAccessPort;
    if (!portText.empty() && !parsePort(portText.c_str(), &port)) return usageError("invalid port: ", portText.c_str());
    if (text.size() > static_cast<size_t>(kMostTextBytes)) return usageError("--text", " is longer than 65536 bytes");
    if (!textIsValid(text)) return usageError("--text", " is not UTF-8 text");
    std::string folder = absolutePath(store);
    if (folder.empty() || !isDirectory(folder)) {
        fprintf(stderr, "quorvalinthexa serve: %s is not an existing folder\n", store.c_str());
        return 1;
    }
    std::vector<std::string> own = cliDiscoveryAdapters({});
    if (address.empty()) address = cliOwnAddress({});
    else if (std::find(own.begin(), own.end(), address) == own.end()) {
        fprintf(stderr, "quorvalinthexa serve: %s is not an address of this computer\n", address.c_str());
        return 1;
    }

    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    netStartup();
    startCliHistory();
    cliPortSetStorePath(folder);
    BrowserAccessOptions options;
    options.address = address;
    options.port = port;
    options.language = pageLanguage();
    options.offeredPaths = [paths] { return paths; };
    options.offeredText = [text] { return text; };
    AccessStart started = startBrowserAccess(options);
    if (started == AccessStart::NoAddress) {
        fputs("quorvalinthexa serve: this computer has no network address to serve on\n", stderr);
        return 1;
    }
    if (started == AccessStart::PortTaken) {
        fprintf(stderr, "quorvalinthexa serve: TCP port %u on %s is in use by another program\n", port,
                address.c_str());
        return 1;
    }
    if (started != AccessStart::Started) {
        fputs("quorvalinthexa serve: could not start serving\n", stderr);
        return 1;
    }
    std::string link = browserAccessAddress();
    if (qr) fputs(qrCodeText(qrCodeOf(link)).c_str(), stdout);
    printf("%s\n", link.c_str());
    fflush(stdout);
    fprintf(stderr, "quorvalinthexa serve: storing into %s; Ctrl+C ends access\n", folder.c_str());

    int caught = 0;
    sigwait(&stopSignals, &caught);
    stopBrowserAccess();
    endReceiving(kStopWaitMilliseconds);
    cliPortEndProgressLine();
    fflush(stdout);
    return 0;
}
