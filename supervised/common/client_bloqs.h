// Bookkeeping of the client bloqs inside a mapped segment. Every function works
// on the whole 10240-byte view and must be called with the segment mutex held.
//
// No record ever moves: the watchdog reads a bloq and clears it later in a
// separate access, so a record moved in between would be cleared by mistake
// or judged twice. A client keeps the bloq it took; one that leaves from the
// middle leaves a hole, which the next newcomer fills (lowest free bloq
// first). The watchdog judges bloqs 3 to count + 2 only, so the count always
// covers the highest bloq in use and shrinks only when the top bloqs are free.
#pragma once
#include <string>

const int FirstClientBloq = 3;

bool IsEmptyBloq(const char* view, int index);

// The bloq whose record starts with `pidTag` ("PID:" + six digits), or -1.
int FindClientBloq(const char* view, const std::string& pidTag);

// The count that covers the highest bloq in use from 3 on, whatever it holds
// (0 when none is).
int CoveringClientCount(const char* view);

// Writes the count as decimal digits followed by spaces into ClientCountField.
void WriteClientCount(char* view, int count);

// The count field's digits (spaces and zero bytes ignored); -1 when it holds
// none or something else.
int ReadClientCount(const char* view);

// Makes the count field cover the highest bloq in use. Moves nothing.
void TidyClientBloqs(char* view);

// Writes a client's 40-character record and fixes the count. The bloq is
// `taken` (the one the client took before) while it still carries the
// client's pid or is empty again; else the bloq that carries its pid; else
// the lowest free one. Returns the bloq written, -1 when every client bloq is
// taken by others.
int CheckInClient(char* view, const std::string& record, int taken = -1);

// Zeroes the client's bloq (`taken` while it carries `pidTag`, else the bloq
// that does), if any, and fixes the count.
void CheckOutClient(char* view, const std::string& pidTag, int taken = -1);
