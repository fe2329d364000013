// The command-line peer's commands; each takes its own argv (argv[0] is the command).
#pragma once
#include <string>

int receiveCommand(int argc, char** argv);
int sendCommand(int argc, char** argv);
int discoverCommand(int argc, char** argv);
int serveCommand(int argc, char** argv);
int pairCommand(int argc, char** argv);
int historyCommand(int argc, char** argv);
// Opens this user's history for a command that transfers; it transfers all the same when
// the history cannot be opened (said once on standard error).
void startCliHistory();

// The file of the remembered peers in use, "" with --no-remember (nothing read nor kept).
const std::string& rememberedPeerFile();
