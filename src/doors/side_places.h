// The side places: receptions from trusted computers run beside the one reception (which
// port 2904, browsers and strangers share), each in a place of its own, so that a stranger
// that holds the one reception delays no trusted computer, and several trusted computers
// send at once. A session that finds every side place taken goes to the one reception's
// line, where it comes first.
#pragma once

constexpr int kSidePlaces = 4;

// Takes a free side place: its number (0 to kSidePlaces - 1), or -1 when all are taken.
int takeSidePlace();
// Gives a place taken back; any other number is ignored.
void releaseSidePlace(int place);
// The side places taken now.
int sidePlacesTaken();
