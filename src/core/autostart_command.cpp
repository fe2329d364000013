#include "core/autostart_command.h"

std::string autostartCommand(const std::string& programPath) {
    if (programPath.empty() || programPath.find('\0') != std::string::npos) return std::string();
    std::string command = "\"" + programPath + "\" --autostart";
    if (command.size() > kMaxAutostartCommand) return std::string();
    return command;
}
