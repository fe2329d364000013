#include "cli/command_options.h"

#include <climits>
#include <cstdlib>

#include "cli/arguments.h"
#include "history/history.h"
#include "policy/existing_choice.h"
#include "platform/net.h"

namespace {
template <class Settings>
Settings& of(void* settings) {
    return *static_cast<Settings*>(settings);
}

// --no-remember is taken out before the command reads its arguments (every command has
// it); the commands that list it declare it here.
constexpr CliOption kNoRemember = {"--no-remember", nullptr, "neither read nor keep the remembered peers",
                                   [](void*, const char*) { return 0; }};

// "--port N": a missing value is told apart from a wrong one.
int takePort(const char* command, const char* value, long low, uint16_t* port) {
    if (!value) return commandUsageError(command, "--port needs a value", "");
    return parsePortNumber(value, low, port) ? 0 : commandUsageError(command, "invalid port: ", value);
}

// "--private-port N", from low up.
int takePrivatePort(const char* command, const char* value, long low, int* into) {
    uint16_t port = 0;
    if (!value || !parsePortNumber(value, low, &port)) return commandUsageError(command, "invalid private port", "");
    *into = port;
    return 0;
}

// "--existing CHOICE", for receive and serve.
int takeExisting(const char* command, const char* value, ExistingChoice* into) {
    if (value && existingChoiceNamed(value, into)) return 0;
    return commandUsageError(command, "--existing needs replace, keep-both, skip-identical or ask", "");
}
constexpr const char* kExistingHelp = "what a file does to one of its name already there: replace it\n"
                                      "(the default), keep-both (it becomes \"name (2).ext\"),\n"
                                      "skip-identical (skipped when its content is the same, else\n"
                                      "both kept), or ask (on the terminal; without one, both kept)";

// ---- receive

int receiveError(const char* message, const char* detail) { return commandUsageError("receive", message, detail); }

int takeReceiveSeconds(const char* value, const char* missing, int* milliseconds, long most) {
    long seconds = 0;
    if (!value) return receiveError(missing, "");
    if (!parseWholeNumber(value, 1, most, &seconds)) return receiveError("invalid number of seconds: ", value);
    *milliseconds = static_cast<int>(seconds) * 1000;
    return 0;
}

const CliOption kReceive[] = {
    {"--store", "DIR", "where received files go (default: the current folder)",
     [](void* s, const char* v) {
         return v ? (of<ReceiveSettings>(s).store = v, 0) : receiveError("--store needs a folder", "");
     }},
    {"--port", "N", "the TCP port to listen on (default 2904; 0 picks a free one)",
     [](void* s, const char* v) { return takePort("receive", v, 0, &of<ReceiveSettings>(s).port); }},
    {"--private-port", "N",
     "the private channel's port, where trusted computers send\n"
     "encrypted (default 2906; none with a --port other than 2904,\n"
     "unless given)",
     [](void* s, const char* v) { return takePrivatePort("receive", v, 0, &of<ReceiveSettings>(s).privatePort); }},
    {"--keep-partial", "DAYS",
     "keep what a trusted computer's cut private transfer left, as\n"
     "hidden partial files, for DAYS days (default 7; 0: none), at\n"
     "most a quarter of the free space: sending again resumes it",
     [](void* s, const char* v) {
         long days = 0;
         if (!v || !parseWholeNumber(v, 0, 3650, &days))
             return receiveError("--keep-partial needs a number of days (0 to 3650)", "");
         of<ReceiveSettings>(s).keepPartialDays = static_cast<int>(days);
         return 0;
     }},
    {"--stall-seconds", "N",
     "end a reception whose sender sends nothing for N seconds\n"
     "(default 60)",
     [](void* s, const char* v) {
         return takeReceiveSeconds(v, "--stall-seconds needs a value", &of<ReceiveSettings>(s).stallMilliseconds,
                                   86400);
     }},
    {"--adapter", "ADDRESS",
     "take part in discovery only on the adapter with this address\n"
     "(repeatable; default: every usable adapter)",
     [](void* s, const char* v) {
         uint32_t address = 0;
         if (!v || !netParseDotted(v, &address)) return receiveError("--adapter needs a dotted IPv4 address", "");
         of<ReceiveSettings>(s).adapters.push_back(v);
         return 0;
     }},
    {"--no-discovery", nullptr, "neither announce this peer nor answer others on the network",
     [](void* s, const char*) { return of<ReceiveSettings>(s).discovery = false, 0; }},
    {"--no-look-around", nullptr,
     "when nobody answers, do not ask the other addresses of the\n"
     "subnet one by one (at most 256, again after 1, 2, 4 ... minutes\n"
     "up to an hour) for where multicast does not pass",
     [](void* s, const char*) { return of<ReceiveSettings>(s).lookAround = false, 0; }},
    kNoRemember,
    {"--once", nullptr,
     "end when the first reception ends; a connection that sends\n"
     "nothing, one turned away during a reception or refused by\n"
     "--ask or --allow, an address hand-over from discovery, and a\n"
     "transfer with no folder or file do not count as a reception",
     [](void* s, const char*) { return of<ReceiveSettings>(s).once = true, 0; }},
    {"--ask", nullptr,
     "ask on the terminal before each transfer is stored (y/N),\n"
     "except one from a trusted computer over the private channel;\n"
     "without an answer in time, or without a terminal on standard\n"
     "input, the transfer is declined, and its sender is refused\n"
     "without a question for the next 30 seconds",
     [](void* s, const char*) { return of<ReceiveSettings>(s).ask = true, 0; }},
    // Below the senders' stall limit, so that an accepted transfer finds its sender.
    {"--ask-seconds", "N", "how long a question waits for its answer (1 to 50; default 30)",
     [](void* s, const char* v) {
         return takeReceiveSeconds(v, "--ask-seconds needs a value", &of<ReceiveSettings>(s).askMilliseconds, 50);
     }},
    {"--allow", "LIST",
     "receive only from these senders: IPv4 addresses and ranges\n"
     "separated by spaces or commas (\"192.168.1.20 10.0.0.0/24\");\n"
     "repeatable, the lists add up (trusted computers may send too)",
     [](void* s, const char* v) {
         if (!v) return receiveError("--allow needs a list of senders", "");
         of<ReceiveSettings>(s).allowed += std::string(v) + " ";
         of<ReceiveSettings>(s).allow = true;
         return 0;
     }},
    {"--trusted-only", nullptr,
     "receive only from trusted computers, over the private channel:\n"
     "port 2904 senders and everyone else are refused",
     [](void* s, const char*) { return of<ReceiveSettings>(s).trustedOnly = true, 0; }},
    {"--existing", "CHOICE", kExistingHelp,
     [](void* s, const char* v) { return takeExisting("receive", v, &of<ReceiveSettings>(s).existing); }},
};

const CliCommand kReceiveCommand = {
    "receive",
    "Usage: quorvalinthexa receive [--store DIR] [--port N] [--private-port N] [--stall-seconds N]\n"
    "                              [--adapter ADDRESS]... [--no-discovery] [--no-look-around]\n"
    "                              [--no-remember] [--once] [--keep-partial DAYS]\n"
    "                              [--ask [--ask-seconds N] | --allow LIST | --trusted-only]\n"
    "                              [--existing CHOICE]\n",
    "Listens for transfers and writes the files and folders they carry into DIR.\n"
    "Each state the program's window would show is printed as a line; on a terminal\n"
    "a progress bar with the speed is drawn as well. Runs until interrupted, or with\n"
    "--once until its first reception ends.\n",
    "\n"
    "Like the Windows program, the peer announces itself on the local network until a\n"
    "peer answers, by multicast and by unicast to the remembered peers (those it\n"
    "exchanged files with, then those that answered its discovery, kept in\n"
    "$XDG_STATE_HOME/quorvalinthexa/peers), and answers every peer's announcement and\n"
    "request by handing over its own address. After 3 s without an answer it looks\n"
    "around the subnet; after 10 s it says so and names 'quorvalinthexa discover --check'.\n"
    "\n"
    "Nothing is written for a transfer whose announced size does not fit the store\n"
    "folder's free space (less 64 KiB). A refused or declined transfer is told on\n"
    "standard error with its sender's address, and its sender learns that it did\n"
    "not arrive.\n"
    "\n"
    "Exit status: 0 when interrupted, 1 when it cannot listen or the store folder is\n"
    "missing, 2 on a usage error. With --once: 0 when the reception was complete,\n"
    "1 when it was not (files missing, an old sender, interrupted before or during it).\n",
    16,
    "unknown argument: ",
    kReceive,
    static_cast<int>(sizeof kReceive / sizeof kReceive[0]),
    nullptr,
    false,
};

// ---- send

const CliOption kSend[] = {
    {"--port", "N", "the receiver's port (1-65535)",
     [](void* s, const char* v) { return takePort("send", v, 1, &of<SendSettings>(s).port); }},
    {"--private-port", "N",
     "the private channel's port (default 2906; 0 or a --port other\n"
     "than 2904 without this option: none)",
     [](void* s, const char* v) { return takePrivatePort("send", v, 0, &of<SendSettings>(s).privatePort); }},
    {"--plain", nullptr, "the unencrypted transfer on port N, even to a trusted computer",
     [](void* s, const char*) { return of<SendSettings>(s).plain = true, 0; }},
    {"--private-only", nullptr,
     "nothing in the clear: a HOST that is not a trusted computer\n"
     "answering privately gets nothing",
     [](void* s, const char*) { return of<SendSettings>(s).privateOnly = true, 0; }},
    {"--retry-for", "SECONDS",
     "a send to a trusted computer that the network cuts (or whose\n"
     "receiver restarts) connects again and goes on where it was cut,\n"
     "waiting 1, 2, 4 ... up to 30 s between tries, for SECONDS in all\n"
     "(default 600; 0: it ends at the cut)",
     [](void* s, const char* v) {
         if (!v || !parseWholeNumber(v, 0, kMostRetrySeconds, &of<SendSettings>(s).retrySeconds))
             return commandUsageError("send", "--retry-for needs a number of seconds (0 to 86400)", "");
         return 0;
     }},
    {"--text", "WORDS",
     "send WORDS (UTF-8, at most 65536 bytes; - reads them from\n"
     "standard input) to a trusted computer instead of files",
     [](void* s, const char* v) {
         if (!v) return commandUsageError("send", "--text needs its words, or - for standard input", "");
         SendSettings& settings = of<SendSettings>(s);
         settings.textGiven = true;
         settings.text = v;
         return 0;
     }},
    kNoRemember,
};

const CliCommand kSendCommand = {
    "send",
    "Usage: quorvalinthexa send [--port N] [--private-port N] [--plain | --private-only]\n"
    "                           [--retry-for SECONDS] [--no-remember] HOST[,HOST...] PATH...\n"
    "       quorvalinthexa send [--port N] [--private-port N] --text WORDS|- HOST\n",
    "Sends files and folders (with everything inside them) to HOST, a dotted IPv4\n"
    "address or a host name, where a receiver listens on TCP port N (default 2904).\n"
    "Several HOSTs separated by commas (at most 16, none twice) get the same files at\n"
    "once, each on its own connection; one that does not take them never stops the\n"
    "others, and a line per HOST says as it ends whether it took the transfer. A\n"
    "second name of an address already in the list is dropped (a line says so).\n"
    "A trusted computer ('quorvalinthexa trusted') that answers on the private port\n"
    "gets them encrypted; one that answers there with another key, or not at all,\n"
    "gets nothing (unless --plain). That holds at every address its key was met at.\n"
    "Another copy that answers there untrusted gets them on port N, with a note that\n"
    "pairing would encrypt them. The last line says whether the send went encrypted\n"
    "or in the clear.\n"
    "A HOST of one or two digits is the remembered peer of that number (1-16), as\n"
    "'quorvalinthexa discover' last listed them (before any listing, as the list\n"
    "stands). A peer that took a whole transfer is remembered.\n"
    "With --text, the words go to HOST only if it is a trusted computer, over the\n"
    "private channel, and are shown there (never stored as a file); HOST not trusted\n"
    "gets nothing: pair with it first ('quorvalinthexa pair HOST').\n",
    "\n"
    "Exit status: 0 when the receiver took everything (it closed the connection in\n"
    "order after the last byte), 1 when some files were not sent (unreadable, cut,\n"
    "or changed while sending), 2 on a usage error, 3 when the receiver could not be\n"
    "reached, 4 when the receiver did not take the transfer (it turned the\n"
    "connection away, was busy, could not store everything, or went silent), 5 when\n"
    "nothing was sent to a trusted computer because its key changed or it did not\n"
    "answer privately, or (--private-only) because it would have gone in the clear. Sent to several HOSTs: 0 "
    "when every one took everything, 6\n"
    "when at least one did not (its line says why), 7 when one was given up as too\n"
    "slow (less than 64 KiB taken in 30 seconds once its content began; the others\n"
    "go on, and each line comes as its HOST ends), 2 on a usage error. 130 when\n"
    "SIGINT or SIGTERM stopped it (each HOST's send is recorded as canceled).\n"
    "A text: 0 when HOST showed it, 2 when it is empty, longer than 65536 bytes (it\n"
    "is never cut) or not UTF-8, 3 when HOST could not be reached privately, 4 when\n"
    "it refused the text, 5 when HOST is not a trusted computer or its key changed.\n",
    17,
    "unknown option: ",
    kSend,
    static_cast<int>(sizeof kSend / sizeof kSend[0]),
    [](void* s, const char* text) { return of<SendSettings>(s).operands.push_back(text), 0; },
    true,
};

// ---- serve

int serveError(const char* message, const char* detail) { return commandUsageError("serve", message, detail); }

// "--name" when its value is missing; the value as it is otherwise (checked once all
// arguments are read).
int serveValue(std::string* into, const char* name, const char* value) {
    if (!value) return serveError(name, " needs a value");
    *into = value;
    return 0;
}

const CliOption kServe[] = {
    {"--store", "DIR", "where uploaded files go (default: the current folder)",
     [](void* s, const char* v) { return serveValue(&of<ServeSettings>(s).store, "--store", v); }},
    {"--port", "N", "the TCP port (default: 2905); a port in use is an error",
     [](void* s, const char* v) { return serveValue(&of<ServeSettings>(s).port, "--port", v); }},
    {"--address", "A",
     "which of this computer's addresses to serve on (default: the\n"
     "first Ethernet or wireless adapter's)",
     [](void* s, const char* v) { return serveValue(&of<ServeSettings>(s).address, "--address", v); }},
    {"--text", "TEXT", "a text the page offers (UTF-8, at most 65536 bytes)",
     [](void* s, const char* v) { return serveValue(&of<ServeSettings>(s).text, "--text", v); }},
    {"--no-qr", nullptr, "print the address only",
     [](void* s, const char*) { return of<ServeSettings>(s).qr = false, 0; }},
    {"--existing", "CHOICE",
     "what an upload does to a file of its name already there:\n"
     "replace, keep-both, skip-identical (as for receive), or ask,\n"
     "which keeps both: a browser is not asked",
     [](void* s, const char* v) { return takeExisting("serve", v, &of<ServeSettings>(s).existing); }},
};

// A path to offer must exist: it is told at once, as it comes.
int serveOperand(void* settings, const char* text) {
    char resolved[PATH_MAX];
    if (!realpath(text, resolved)) {
        fprintf(stderr, "quorvalinthexa serve: %s does not exist\n", text);
        return 1;
    }
    of<ServeSettings>(settings).paths.push_back(resolved);
    return 0;
}

const CliCommand kServeCommand = {
    "serve",
    "Usage: quorvalinthexa serve [--store DIR] [--port N] [--address A] [--text TEXT] [--no-qr]\n"
    "                            [--existing CHOICE] [FILE|FOLDER...]\n",
    "Lets a web browser on the local network send files and folders into DIR, and get\n"
    "the files and folders given here, through an address with a secret in it, until\n"
    "Ctrl+C. A text a browser sends is printed here; --text gives the page one to fetch.\n"
    "Anyone who has the address (or sees its QR code) can use it while this runs.\n",
    "\n"
    "Exit status: 0 after Ctrl+C, 1 when serving could not start, 2 for a usage error.\n",
    16,
    "unknown argument: ",
    kServe,
    static_cast<int>(sizeof kServe / sizeof kServe[0]),
    serveOperand,
    false,
};

// ---- discover

int discoverNumber(const char* name, const char* value, long low, long high, long* into) {
    if (value && parseWholeNumber(value, low, high, into)) return 0;
    return commandUsageError("discover", name, value ? value : "");
}

const CliOption kDiscover[] = {
    {"--seconds", "N", "how long to listen for answers (1-3600, default 3)",
     [](void* s, const char* v) {
         return discoverNumber("invalid --seconds: ", v, 1, 3600, &of<DiscoverSettings>(s).seconds);
     }},
    {"--sweep", nullptr,
     "also ask the other addresses of each adapter's subnet (at\n"
     "most 256 per adapter) by unicast, for where multicast does\n"
     "not pass, and listen until that is done",
     [](void* s, const char*) { return of<DiscoverSettings>(s).sweep = true, 0; }},
    {"--check", nullptr,
     "print the network check instead: whether each adapter's\n"
     "discovery socket opened, whether the port is free for TCP and\n"
     "UDP, and which remembered peers answer; exits 0",
     [](void* s, const char*) { return of<DiscoverSettings>(s).check = true, 0; }},
    kNoRemember,
    {"--port", "N",
     "the discovery UDP port and the TCP port answers come to\n"
     "(default 2904; another program listening there keeps the\n"
     "answers from this command)",
     [](void* s, const char* v) {
         return discoverNumber("invalid --port: ", v, 1, 65535, &of<DiscoverSettings>(s).port);
     }},
    {"--adapter", "ADDRESS",
     "use only the adapter with this IPv4 address (repeatable;\n"
     "default: every adapter with a usable address)",
     [](void* s, const char* v) {
         uint32_t address = 0;
         if (!v || !netParseDotted(v, &address))
             return commandUsageError("discover", "invalid --adapter: ", v ? v : "");
         of<DiscoverSettings>(s).adapters.push_back(netDotted(address));
         return 0;
     }},
};

const CliCommand kDiscoverCommand = {
    "discover",
    "Usage: quorvalinthexa discover [--seconds N] [--port N] [--adapter ADDRESS]...\n"
    "                               [--sweep] [--check] [--no-remember]\n",
    "Asks every peer on the local network to answer (by multicast, and by unicast to\n"
    "the remembered peers), then prints the IPv4 address of each peer that answers or\n"
    "is heard announcing itself, one per line, and exits after N seconds. Peers that\n"
    "answer take this machine as their recipient and are remembered. Then the\n"
    "remembered peers follow, numbered for 'quorvalinthexa send NUMBER PATH...', which\n"
    "keeps to these numbers however the list changes until the next listing (on\n"
    "standard output at a terminal, else on standard error, so that scripts read the\n"
    "answering addresses alone). They are kept, at most 16, most recent first, in\n"
    "$XDG_STATE_HOME/quorvalinthexa/peers (default ~/.local/state/quorvalinthexa/peers).\n",
    "\n"
    "Exit status: 0 after listening (and after any --check), 1 when no adapter could be\n"
    "used, 2 on a usage error.\n",
    21,
    "unknown argument: ",
    kDiscover,
    static_cast<int>(sizeof kDiscover / sizeof kDiscover[0]),
    nullptr,
    false,
};

// ---- history

int historyNumber(const char* name, const char* value, long* into) {
    if (value && parseWholeNumber(value, 1, kHistoryMostLimit, into)) return 0;
    return commandUsageError("history", name, " needs a number from 1 to 100000");
}

const CliOption kHistory[] = {
    {"--limit", "N", "list the newest N entries only",
     [](void* s, const char* v) { return historyNumber("--limit", v, &of<HistorySettings>(s).limit); }},
    {"--json", nullptr, "print one JSON array, one object a line, with every field",
     [](void* s, const char*) { return of<HistorySettings>(s).json = true, 0; }},
    {"--clear", nullptr, "remove every entry",
     [](void* s, const char*) { return of<HistorySettings>(s).clear = true, 0; }},
    {"--keep", "N", "keep the newest N entries from now on (1-100000; default 1000)",
     [](void* s, const char* v) { return historyNumber("--keep", v, &of<HistorySettings>(s).keep); }},
};

const CliCommand kHistoryCommand = {
    "history",
    "Usage: quorvalinthexa history [--limit N] [--json] [--clear] [--keep N]\n",
    "Lists the transfers this user's copies recorded, newest first: when, received or\n"
    "sent, through which door, the other computer, what (the first names, the number\n"
    "of files and bytes), where it was stored and how it ended. Every receive, send\n"
    "and serve records its transfers in $XDG_STATE_HOME/quorvalinthexa/history.db\n"
    "(~/.local/state/... by default), readable by the user only.\n",
    "\n"
    "Names from other computers are shown with their control characters escaped.\n"
    "\n"
    "Exit status: 0 when listed or changed, 1 when the history could not be opened\n"
    "or changed, 2 on a usage error.\n",
    14,
    "unknown argument: ",
    kHistory,
    static_cast<int>(sizeof kHistory / sizeof kHistory[0]),
    nullptr,
    false,
};

// ---- pair

const CliOption kPair[] = {
    {"--yes", nullptr, "answer yes once the code is printed (for scripts)",
     [](void* s, const char*) { return of<PairSettings>(s).yes = true, 0; }},
    {"--private-port", "N", "the private channel's port (default 2906)",
     [](void* s, const char* v) { return takePrivatePort("pair", v, 1, &of<PairSettings>(s).privatePort); }},
};

// One ADDRESS at most; a lone "-" is no address.
int pairOperand(void* settings, const char* text) {
    std::string& address = of<PairSettings>(settings).address;
    if (text[0] == '-' || !address.empty()) return commandUsageError("pair", "unknown argument: ", text);
    address = text;
    return 0;
}

const CliCommand kPairCommand = {
    "pair",
    "Usage: quorvalinthexa pair [--yes] [--private-port N] [ADDRESS]\n",
    "Pairs this computer with another copy: with ADDRESS it connects to the copy\n"
    "there, without one it waits for one copy to connect. Both show the same\n"
    "six-digit code when nobody stands between them; compare the two and answer\n"
    "\"Trust this computer? [y/N]\" (read from standard input, 60 seconds). The other\n"
    "computer is trusted here once both users said yes: transfers between the two\n"
    "are then encrypted ('quorvalinthexa trusted' lists the trusted computers).\n",
    "\n"
    "Exit status: 0 when paired, 1 when either user said no or it failed, 2 on a\n"
    "usage error, 3 when the other computer did not answer.\n",
    16,
    "unknown argument: ",
    kPair,
    static_cast<int>(sizeof kPair / sizeof kPair[0]),
    pairOperand,
    false,
};
}  // namespace

const CliCommand& receiveOptions() { return kReceiveCommand; }
const CliCommand& sendOptions() { return kSendCommand; }
const CliCommand& serveOptions() { return kServeCommand; }
const CliCommand& discoverOptions() { return kDiscoverCommand; }
const CliCommand& historyOptions() { return kHistoryCommand; }
const CliCommand& pairOptions() { return kPairCommand; }
