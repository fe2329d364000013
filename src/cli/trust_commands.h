// The commands of the pinned list and of this installation's identity: id, trust,
// untrust, trusted. Each takes its own argv (argv[0] is the command).
#pragma once

int idCommand(int argc, char** argv);
int trustCommand(int argc, char** argv);
int untrustCommand(int argc, char** argv);
int trustedCommand(int argc, char** argv);
