#include "cli/option_table.h"

#include <cstring>

#include "cli/arguments.h"

namespace {
bool isHelp(const char* arg) { return !strcmp(arg, "--help") || !strcmp(arg, "-h"); }

// One option's lines: "  --name ARG" and its help at the column, on the same line when
// they fit, else on the next.
void printOption(FILE* out, int column, const char* name, const char* argument, const char* help) {
    int width = fprintf(out, "  %s%s%s", name, argument ? " " : "", argument ? argument : "");
    if (width + 1 > column) {
        fputc('\n', out);
        width = 0;
    }
    for (const char* line = help; *line;) {
        const char* end = strchr(line, '\n');
        const int length = end ? static_cast<int>(end - line) : static_cast<int>(strlen(line));
        fprintf(out, "%*s%.*s\n", column - width, "", length, line);
        width = 0;
        line += length + (end ? 1 : 0);
    }
}

// "--name VALUE" or "--name=VALUE" for an option with an argument, "--name" for a switch;
// *index moves past what was taken.
int takeOption(const CliOption& option, const char* inlineValue, int argc, char** argv, int* index, void* settings) {
    if (!option.argument) return option.take(settings, nullptr);
    if (inlineValue) return option.take(settings, inlineValue);
    return option.take(settings, *index + 1 < argc ? argv[++*index] : nullptr);
}

// The option of that name (its first length bytes) in the table, or nullptr.
const CliOption* findOption(const CliCommand& command, const char* name, int length) {
    for (int i = 0; i < command.optionCount; ++i) {
        const CliOption& option = command.options[i];
        if (static_cast<int>(strlen(option.name)) == length && !strncmp(option.name, name, length)) return &option;
    }
    return nullptr;
}
}  // namespace

int parseCommandLine(const CliCommand& command, int argc, char** argv, void* settings) {
    bool options = true;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        const bool looksLikeOption = options && arg[0] == '-' && arg[1] != '\0';
        if (options && isHelp(arg)) {
            printCommandHelp(command, stdout);
            return 0;
        }
        if (options && command.dashesEndOptions && !strcmp(arg, "--")) {
            options = false;
            continue;
        }
        if (looksLikeOption) {
            const char* equals = strchr(arg, '=');
            const int length = equals ? static_cast<int>(equals - arg) : static_cast<int>(strlen(arg));
            const CliOption* option = findOption(command, arg, length);
            if (!option || (equals && !option->argument)) return commandUsageError(command.name, command.unknown, arg);
            const int status = takeOption(*option, equals ? equals + 1 : nullptr, argc, argv, &i, settings);
            if (status != 0) return status;
        } else if (command.operand) {
            const int status = command.operand(settings, arg);
            if (status != 0) return status;
        } else {
            return commandUsageError(command.name, command.unknown, arg);
        }
    }
    return -1;
}

void printCommandHelp(const CliCommand& command, FILE* out) {
    fputs(command.usage, out);
    fputs("\n", out);
    fputs(command.about, out);
    fputs("\nOptions:\n", out);
    for (int i = 0; i < command.optionCount; ++i) {
        const CliOption& option = command.options[i];
        printOption(out, command.column, option.name, option.argument, option.help);
    }
    printOption(out, command.column, "--help", nullptr, "show this text");
    fputs(command.after, out);
}
