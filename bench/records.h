// Fresh heartbeat records for the benchmarks: the server's in bloq 0 and
// `clients` clients' from bloq 3 on, with the count field to match.
#pragma once

// Writes into a mapped 10240-byte view; the caller holds the segment mutex.
// The client pids are numbers no process has, so a record that went stale
// by accident would make the watchdog kill nothing.
void WriteFreshRecords(char* view, int clients);
