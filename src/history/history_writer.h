// The writing thread: it owns the one connection that writes, fed by a bounded queue.
#pragma once

struct sqlite3;

// Gives the writer its connection (the previous one, if any, is closed once no entry is
// in hand) and starts the thread the first time. False when the thread cannot start;
// db is then closed.
bool handHistoryConnection(sqlite3* db);

// Waits at most milliseconds for the entries handed over so far to be written or failed.
void waitHistoryWritten(int milliseconds);
