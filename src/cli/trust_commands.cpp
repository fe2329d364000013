// quorvalinthexa id, trust, untrust, trusted: this installation's computer ID, and the
// computers whose keys it trusts for the private channel (port 2906).
#include "cli/trust_commands.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "cli/arguments.h"
#include "platform/net.h"
#include "trust/computer_id.h"
#include "trust/identity.h"
#include "trust/trusted_list.h"
#include "trust/trusted_store.h"

namespace {
struct Usage {
    const char* command;
    const char* text;
};

const Usage kUsages[] = {
    {"id", "Usage: quorvalinthexa id\n"
           "\n"
           "Prints this computer's ID, the fingerprint of its key that other computers trust\n"
           "it by. The key is made at the first use and kept in\n"
           "$XDG_CONFIG_HOME/quorvalinthexa/identity.pem (default ~/.config/...), readable by\n"
           "the user only.\n"
           "\n"
           "Exit status: 0 when the ID was printed, 1 when the key could not be read or stored.\n"},
    {"trust", "Usage: quorvalinthexa trust ID [NAME]\n"
              "\n"
              "Trusts the computer with this ID (as 'quorvalinthexa id' or the Windows program's\n"
              "settings show it; case, dashes and spaces do not matter) under NAME (UTF-8, cut at\n"
              "64 bytes). Sends to a trusted computer go encrypted over port 2906. Trusting a\n"
              "computer again changes its name. At most 256 computers are trusted.\n"
              "\n"
              "Exit status: 0 when trusted, 1 when the list is full or could not be stored, 2 on\n"
              "a usage error (ID not a computer ID).\n"},
    {"untrust", "Usage: quorvalinthexa untrust ID\n"
                "\n"
                "Stops trusting the computer with this ID.\n"
                "\n"
                "Exit status: 0 when it was trusted and no longer is, 1 when it was not trusted or\n"
                "the list could not be stored, 2 on a usage error.\n"},
    {"trusted", "Usage: quorvalinthexa trusted\n"
                "\n"
                "Lists the trusted computers: name, ID, the address it last answered from and\n"
                "when. The list is kept in $XDG_STATE_HOME/quorvalinthexa/trusted (default\n"
                "~/.local/state/...).\n"
                "\n"
                "Exit status: 0.\n"},
};

const char* usageOf(const char* command) {
    for (const Usage& usage : kUsages) {
        if (!strcmp(usage.command, command)) return usage.text;
    }
    return "";
}

// The operands after the command, or -1 after a usage error or --help (*status set).
int operands(int argc, char** argv, int least, int most, std::vector<std::string>* taken, int* status) {
    const char* command = argv[0];
    bool options = true;
    for (int i = 1; i < argc; ++i) {
        if (options && !strcmp(argv[i], "--")) {
            options = false;
        } else if (options && (!strcmp(argv[i], "--help") || !strcmp(argv[i], "-h"))) {
            fputs(usageOf(command), stdout);
            *status = 0;
            return -1;
        } else if (options && argv[i][0] == '-' && argv[i][1]) {
            *status = commandUsageError(command, "unknown option ", argv[i]);
            return -1;
        } else {
            taken->push_back(argv[i]);
        }
    }
    if (static_cast<int>(taken->size()) < least) *status = commandUsageError(command, "missing the computer ID", "");
    else if (static_cast<int>(taken->size()) > most) *status = commandUsageError(command, "too many operands", "");
    else return static_cast<int>(taken->size());
    return -1;
}

// The ID of an operand, or "" after printing why it is none.
std::string idOperand(const char* command, const std::string& text, int* status) {
    std::string id = parseComputerId(text);
    if (id.empty()) *status = commandUsageError(command, "not a computer ID: ", text.c_str());
    return id;
}

// How many columns a UTF-8 text takes (one per character; the names are short).
size_t columnsOf(const std::string& text) {
    size_t columns = 0;
    for (char c : text) columns += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return columns;
}

std::string padded(const std::string& text, size_t columns) {
    return text + std::string(columns > columnsOf(text) ? columns - columnsOf(text) : 0, ' ');
}

std::string seenText(int64_t seconds) {
    if (seconds <= 0) return "never";
    time_t when = static_cast<time_t>(seconds);
    struct tm local;
    char text[32];
    if (!localtime_r(&when, &local) || !strftime(text, sizeof text, "%Y-%m-%d %H:%M", &local)) return "?";
    return text;
}
}  // namespace

int idCommand(int argc, char** argv) {
    std::vector<std::string> none;
    int status = 0;
    if (operands(argc, argv, 0, 0, &none, &status) < 0) return status;
    std::string path;
    const IdentityState state = loadIdentity(&path);
    switch (state) {
        case IdentityState::Ready: puts(ownComputerId().c_str()); return 0;
        case IdentityState::Unreadable:
            fprintf(stderr,
                    "quorvalinthexa id: %s exists but cannot be read; it was left as it is. A new key\n"
                    "(made when the file is moved away) needs every trusted computer to trust it again.\n",
                    path.c_str());
            return 1;
        case IdentityState::Exposed:
        case IdentityState::NotStored: break;
    }
    fprintf(stderr, "quorvalinthexa id: %s\n", identityTrouble(state, path).c_str());
    return 1;
}

int trustCommand(int argc, char** argv) {
    std::vector<std::string> taken;
    int status = 0;
    if (operands(argc, argv, 1, 2, &taken, &status) < 0) return status;
    std::string id = idOperand("trust", taken[0], &status);
    if (id.empty()) return status;
    const std::string name = taken.size() > 1 ? taken[1] : std::string();
    bool known = findTrusted(id).has_value();
    if (!trustComputer(id, name)) {
        if (!known && trustedComputers().size() >= kMostTrusted)
            fprintf(stderr, "quorvalinthexa trust: %zu computers are trusted already, the most there can be\n",
                    kMostTrusted);
        else
            fprintf(stderr, "quorvalinthexa trust: the list of trusted computers could not be stored: %s\n",
                    trustedStoreTrouble().c_str());
        return 1;
    }
    auto entry = findTrusted(id);
    printf("Trusted %s%s%s.\n", id.c_str(), entry && !entry->name.empty() ? " as " : "",
           entry ? entry->name.c_str() : "");
    return 0;
}

int untrustCommand(int argc, char** argv) {
    std::vector<std::string> taken;
    int status = 0;
    if (operands(argc, argv, 1, 1, &taken, &status) < 0) return status;
    std::string id = idOperand("untrust", taken[0], &status);
    if (id.empty()) return status;
    if (!findTrusted(id)) {
        fprintf(stderr, "quorvalinthexa untrust: %s is not trusted\n", id.c_str());
        return 1;
    }
    if (!untrustComputer(id)) {
        fprintf(stderr, "quorvalinthexa untrust: the list of trusted computers could not be stored: %s\n",
                trustedStoreTrouble().c_str());
        return 1;
    }
    printf("No longer trusted: %s.\n", id.c_str());
    return 0;
}

int trustedCommand(int argc, char** argv) {
    std::vector<std::string> none;
    int status = 0;
    if (operands(argc, argv, 0, 0, &none, &status) < 0) return status;
    if (!trustedListReadable()) {
        fprintf(stderr, "quorvalinthexa trusted: %s\n", trustedStoreTrouble().c_str());
        return 1;
    }
    std::vector<TrustedComputer> list = trustedComputers();
    if (list.empty()) {
        puts("No trusted computers.");
        return 0;
    }
    size_t nameColumns = columnsOf("NAME");
    for (const TrustedComputer& entry : list) nameColumns = std::max(nameColumns, columnsOf(entry.name));
    printf("%s  %-39s  %-15s  %s\n", padded("NAME", nameColumns).c_str(), "ID", "LAST ADDRESS", "LAST SEEN");
    for (const TrustedComputer& entry : list) {
        std::string address = entry.lastAddress ? netDotted(entry.lastAddress) : "-";
        printf("%s  %-39s  %-15s  %s\n", padded(entry.name.empty() ? "-" : entry.name, nameColumns).c_str(),
               entry.id.c_str(), address.c_str(), seenText(entry.lastSeen).c_str());
    }
    return 0;
}
