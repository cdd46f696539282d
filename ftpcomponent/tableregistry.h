// The session tables of the process that are live now, so that a status callback reaches the
// session of the table that started its request, whatever other component objects come and go.
//
// A table has a number (0 to 15) for as long as it is registered, carried in bits 12 to 15 of
// every serial of its slots; the generation bits (16 and up) of a table's slots start at a value
// no earlier table of the process started at. So the serials of two live tables never collide,
// and a late callback of a table that is gone does not match the table that took its number.
//
// Invariants (the guard between callbacks and a table's end):
//  - Who writes the registry: Initialize (register) and the table's destructor (unregister), both
//    under the lock held exclusively. Who reads it: status callbacks, under the lock held shared,
//    from the lookup until their enter on the slot's serial has succeeded or failed.
//  - Once a callback has entered, invalidation waits for its leave, and a table shuts every session
//    down before it unregisters; so a table is never freed under a callback that found it.
#pragma once

#include <windows.h>

class CSession;
class CSessionTable;

constexpr DWORD TABLE_NUMBER_SHIFT = 12;
constexpr DWORD TABLE_NUMBER_COUNT = 16;  // live initialised tables a process may hold at once

// The table's number, or -1 when TABLE_NUMBER_COUNT tables are registered already.
int RegisterTable(CSessionTable* table);
// After this returns, no callback looks at the table any more.
void UnregisterTable(int number);
// The generation the slots of a newly registered table start at (bit 16 set, bits 0 to 15 clear).
DWORD FirstGenerationOfNewTable();

// Status callbacks: the session whose current serial is `context`, entered (the serial word now
// holds the in-callback marker), or null. `slotHeld` tells whether the slot that the context
// names held a session at all (a context of a closed session or of a table that is gone: false).
CSession* EnterSessionByContext(DWORD_PTR context, bool& slotHeld);
