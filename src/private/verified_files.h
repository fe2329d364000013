// A private offer's files, as its verified reception's steps (transfer/receiver.h):
// content into a partial file (new, or a kept one continued), named only once whole and
// its hash is the sender's; cut ones kept for a later resume.
#pragma once
#include "transfer/reception.h"

struct ArrivedFile;  // private/arrived_batch.h

// A file record of a private offer, named only once whole and checked.
void receiveVerifiedFile(Reception& r, const Record& record);
// Counts a file whose naming ended (placed: the path it took, "" for none; verified: its
// content was checked and on the disk).
void endNamed(Reception& r, const ArrivedFile& file, const std::string& placed, bool verified);
// The files still waiting take their names; then the partial files this reception cut are
// recorded, those it finished or dropped are not.
void recordPartials(Reception& r);
