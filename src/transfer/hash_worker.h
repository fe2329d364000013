// A content hash fed on a thread of its own, so that hashing one piece of a file overlaps
// reading, encrypting and writing the next: a private transfer's sender and receiver
// each keep one for the whole transfer.
#pragma once
#include <cstddef>

#include "trust/content_hash.h"

struct HashWorker;

// nullptr when no thread could be started: every piece is then hashed by the caller.
HashWorker* startHashWorker();
// Waits until the piece given before has been fed, then has this one fed to hash. data
// must stay as it is until the next hashWorkerFeed or hashWorkerWait.
void hashWorkerFeed(HashWorker* worker, ContentHash* hash, const void* data, size_t size);
// Waits until every piece given has been fed.
void hashWorkerWait(HashWorker* worker);
// Waits, then ends the worker; it is gone afterwards.
void stopHashWorker(HashWorker* worker);
