// Each command's option table against what a user reads and what the parser takes: every
// option in the table is in the command's --help (its usage lines and its options), in
// the manual page (its synopsis and its options) and in the user guide's section, and is
// accepted by the parser; no other option is named there or accepted.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "cli/command_options.h"

namespace {
struct Case {
    const CliCommand& command;
    void* (*settings)();  // fresh settings for one parse
};

template <class Settings>
void* fresh() {
    static Settings settings;
    settings = Settings();
    return &settings;
}

const Case kCases[] = {
    {receiveOptions(), fresh<ReceiveSettings>}, {sendOptions(), fresh<SendSettings>},
    {serveOptions(), fresh<ServeSettings>},     {discoverOptions(), fresh<DiscoverSettings>},
    {historyOptions(), fresh<HistorySettings>}, {pairOptions(), fresh<PairSettings>},
};

// Every command takes it before it reads its own arguments; the manual names it once.
const char kEveryCommand[] = "--no-remember";

std::set<std::string> tableNames(const CliCommand& command) {
    std::set<std::string> names;
    for (int i = 0; i < command.optionCount; ++i) names.insert(command.options[i].name);
    return names;
}

// The long options a text names: "--store", "--no-look-around".
std::set<std::string> optionsIn(const std::string& text) {
    std::set<std::string> found;
    for (size_t at = text.find("--"); at != std::string::npos; at = text.find("--", at + 2)) {
        size_t end = at + 2;
        while (end < text.size() && (islower(static_cast<unsigned char>(text[end])) || text[end] == '-')) ++end;
        while (end > at + 2 && text[end - 1] == '-') --end;
        if (end > at + 2) found.insert(text.substr(at, end - at));
        at = end - 2;
    }
    return found;
}

std::string fileText(const std::string& relative) {
    std::ifstream in(std::string(QV_SOURCE_DIR) + "/" + relative);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The lines from the first that starts with `from` up to the next that starts with one of
// `to` (not taken).
std::string section(const std::string& text, const std::string& from, const std::vector<std::string>& to) {
    std::istringstream in(text);
    std::string line, taken;
    bool inside = false;
    while (std::getline(in, line)) {
        bool ends = false;
        for (const std::string& mark : to) ends = ends || line.rfind(mark, 0) == 0;
        if (inside && ends) break;
        if (inside) taken += line + "\n";
        if (!inside && line == from) inside = true;
    }
    return taken;
}

// The manual page with its escaped dashes plain: "\-\-store" is "--store".
std::string manualPage() {
    std::string page = fileText("packaging/debian/quorvalinthexa.1");
    for (size_t at = page.find("\\-"); at != std::string::npos; at = page.find("\\-", at)) page.erase(at, 1);
    return page;
}

std::string helpText(const CliCommand& command) {
    char* text = nullptr;
    size_t size = 0;
    FILE* out = open_memstream(&text, &size);
    printCommandHelp(command, out);
    fclose(out);
    std::string help(text, size);
    free(text);
    return help;
}

// A value each option's argument takes.
const char* sampleValue(const std::string& argument) {
    if (argument == "N" || argument == "DAYS" || argument == "SECONDS") return "7";
    if (argument == "DIR") return ".";
    if (argument == "TEXT") return "hello";
    if (argument == "CHOICE") return "keep-both";
    return "127.0.0.1";  // ADDRESS, A, LIST
}

int parse(const Case& c, std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), c.command.name);
    std::vector<char*> argv;
    argv.reserve(arguments.size() + 1);
    for (std::string& argument : arguments) argv.push_back(&argument[0]);
    argv.push_back(nullptr);
    return parseCommandLine(c.command, static_cast<int>(arguments.size()), argv.data(), c.settings());
}
}  // namespace

TEST(CommandOptions, HelpNamesEveryOptionOfTheTableAndNoOther) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.command.name);
        std::set<std::string> names = tableNames(c.command);
        EXPECT_EQ(optionsIn(c.command.usage), names);
        // The options' lines: from "Options:" to the empty line after them.
        const std::string help = helpText(c.command);
        std::istringstream lines(help.substr(help.find("\nOptions:\n") + 10));
        std::set<std::string> listed;
        std::string line;
        while (std::getline(lines, line) && !line.empty())
            if (line.rfind("  --", 0) == 0) listed.insert(line.substr(2, line.find(' ', 2) - 2));
        names.insert("--help");
        EXPECT_EQ(listed, names);
    }
}

TEST(CommandOptions, ManualPageNamesEveryOptionOfTheTableAndNoOther) {
    const std::string page = manualPage();
    const std::string options = section(page, ".SH OPTIONS", {".SH "});
    EXPECT_EQ(optionsIn(section(options, ".SS Every command", {".SS ", ".SH "})).count(kEveryCommand), 1u);
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.command.name);
        std::set<std::string> names = tableNames(c.command);
        names.erase(kEveryCommand);
        const std::string synopsis = section(section(page, ".SH SYNOPSIS", {".SH "}),
                                             std::string(".B quorvalinthexa ") + c.command.name, {".br", ".SH "});
        EXPECT_EQ(optionsIn(synopsis), names) << "the synopsis";
        // Each option's paragraph starts with its name, the line after .TP.
        std::set<std::string> described;
        std::istringstream lines(section(options, std::string(".SS ") + c.command.name, {".SS ", ".SH "}));
        for (std::string line, previous; std::getline(lines, line); previous = line) {
            const std::set<std::string> named = optionsIn(line);
            if (previous == ".TP" && !named.empty()) described.insert(*named.begin());
        }
        EXPECT_EQ(described, names) << "the options";
    }
}

TEST(CommandOptions, UserGuideNamesEveryOptionOfItsCommand) {
    const std::string guide = fileText("docs/command-line.md");
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.command.name);
        const std::set<std::string> named = optionsIn(section(guide, std::string("### ") + c.command.name, {"#"}));
        for (const std::string& name : tableNames(c.command)) EXPECT_EQ(named.count(name), 1u) << name;
    }
}

TEST(CommandOptions, ParserTakesTheTableAndNothingElse) {
    std::set<std::string> everyName;
    for (const Case& c : kCases) {
        const std::set<std::string> names = tableNames(c.command);
        everyName.insert(names.begin(), names.end());
    }
    everyName.insert("--bogus");
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.command.name);
        const std::set<std::string> names = tableNames(c.command);
        for (int i = 0; i < c.command.optionCount; ++i) {
            const CliOption& option = c.command.options[i];
            SCOPED_TRACE(option.name);
            if (!option.argument) {
                EXPECT_EQ(parse(c, {option.name}), -1);
                EXPECT_EQ(parse(c, {std::string(option.name) + "=1"}), 2) << "a switch takes no value";
                continue;
            }
            const char* value = sampleValue(option.argument);
            EXPECT_EQ(parse(c, {option.name, value}), -1);
            EXPECT_EQ(parse(c, {std::string(option.name) + "=" + value}), -1);
            EXPECT_EQ(parse(c, {option.name}), 2) << "its argument is missing";
        }
        for (const std::string& name : everyName) {
            if (names.count(name)) continue;
            EXPECT_EQ(parse(c, {name}), 2) << name << " is not an option here";
        }
        EXPECT_EQ(parse(c, {"--help"}), 0);
    }
}
