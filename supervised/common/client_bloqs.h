// Bookkeeping of the client bloqs inside a mapped segment. Every function works
// on the whole 10240-byte view and must be called with the segment mutex held.
//
// The watchdog judges bloqs 3 to count + 2 only, so the table is kept packed:
// a client takes the lowest free bloq, and whoever touches the table moves the
// highest records down into holes (left by a clean exit or by the watchdog
// clearing a killed client) before writing the count. Then the count equals the
// number of bloqs in use and covers every one of them. A client therefore never
// trusts a remembered index: it finds its record by its "PID:nnnnnn" tag.
#pragma once
#include <string>

const int FirstClientBloq = 3;

bool IsEmptyBloq(const char* view, int index);

// The bloq whose record starts with `pidTag` ("PID:" + six digits), or -1.
int FindClientBloq(const char* view, const std::string& pidTag);

// Moves records from the top of the table into the lowest empty bloqs until
// the bloqs in use are exactly 3 to count + 2.
void PackClientBloqs(char* view);

// Bloqs in use from 3 on, whatever they hold.
int CountClientBloqs(const char* view);

// Writes the count as decimal digits followed by spaces into ClientCountField.
void WriteClientCount(char* view, int count);

// The count field's digits (spaces and zero bytes ignored); -1 when it holds
// none or something else.
int ReadClientCount(const char* view);

// Packs the table and makes the count field match it.
void TidyClientBloqs(char* view);

// Writes a client's 40-character record into the bloq that already carries its
// pid, or else into the lowest free one, then tidies the table. Returns the
// record's bloq after tidying, -1 when every client bloq is taken.
int CheckInClient(char* view, const std::string& record);

// Zeroes the bloq that carries `pidTag`, if any, and tidies the table.
void CheckOutClient(char* view, const std::string& pidTag);
