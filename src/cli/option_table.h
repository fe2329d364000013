// A command's options, declared once: the parser and the command's --help both read the
// same table, and a test holds the manual page and the user guide to it.
#pragma once
#include <cstdio>

struct CliOption {
    const char* name;      // "--store"
    const char* argument;  // "DIR"; nullptr for a switch
    const char* help;      // the --help text, lines separated by '\n'
    // Takes the option into the command's settings: its argument, or nullptr for a switch
    // and for an argument that is missing. 0, or the exit status of a usage error.
    int (*take)(void* settings, const char* value);
};

struct CliCommand {
    const char* name;     // "receive"
    const char* usage;    // the "Usage: ..." lines
    const char* about;    // what the command does, before its options
    const char* after;    // after the options: notes and exit statuses
    int column;           // where the options' help texts start
    const char* unknown;  // the usage error's words before an argument no option names
    const CliOption* options;
    int optionCount;
    // Takes an argument that is not an option, in turn; nullptr: the command takes none.
    int (*operand)(void* settings, const char* text);
    bool dashesEndOptions;  // "--" makes every later argument an operand
};

// Reads argv (argv[0] is the command) into settings: -1 to go on, else the exit status
// to end with (0 after --help, 2 after a usage error, or what an option returned).
int parseCommandLine(const CliCommand& command, int argc, char** argv, void* settings);
void printCommandHelp(const CliCommand& command, FILE* out);
