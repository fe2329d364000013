#include "platform/socket_file.h"

// Windows keeps the buffered copy.
int socketToFile(Socket, FileHandle, int, bool*) { return kNoDirectPath; }
int fileToSocket(FileHandle, Socket, int) { return kNoDirectPath; }
