// A trusted computer's reception in a side place (doors/side_places.h): it runs beside the
// one reception and beside other side receptions, with its own cancel flag, connection
// slot and progress, and a row of its own on the window (portRowStart); the bar shows every
// side reception's bytes together.
#pragma once
#include "transfer/reception.h"
#include "transfer/reception_door.h"

enum class SideStart {
    NotSide,     // not for a side place, or none free: the one reception's door then
    Started,     // r.side, r.cancel, r.progress and r.store are its own now
    Stopped,     // a Stop since it arrived, no store path (r.store empty), or the program ends
    TurnedAway,  // neither the one reception nor a side place took it
};
// The admission of a reception: a trusted computer's stream that may store without a
// question takes the one reception when it is free, as it always did (what it answers for
// in the store is then safe from a sender on port 2904) or when a stranger's question holds
// it (the question is taken back), and a side place while another holds it; everyone else
// the one reception (NotSide: admitted to it).
SideStart admitOneOrSide(Reception& r, const ReceptionAsk& ask);
// For a trusted computer's stream that may store without a question: takes a side place,
// reads the store path and makes its half of Stop's handshake (reach: what Stop shuts down).
SideStart beginSideReception(Reception& r, unsigned stopsAtArrival, Socket reach);
// Its progress moved to percent: its row, and the bar's sum of all side receptions.
void sideProgress(const Reception& r, int percent);
// Its result on its row.
void showSideResult(const Reception& r, ReceiveResult result);
// Its end: the place, its slot and flag are given up (a row without a result ends as
// incomplete); the buttons go idle when no reception runs any more.
void endSideReception(Reception& r);
// Gives up r's reception, side or the one (its connection forgotten where Stop reaches it).
void leaveReception(Reception& r);
