#include "tableregistry.h"

#include "nimbrel.h"

namespace {

SRWLOCK g_registryLock = SRWLOCK_INIT;
CSessionTable* g_tables[TABLE_NUMBER_COUNT] = {};
volatile LONG g_tablesStarted = 0;

}  // namespace

int RegisterTable(CSessionTable* table)
{
    AcquireSRWLockExclusive(&g_registryLock);
    int number = -1;
    for (DWORD i = 0; i < TABLE_NUMBER_COUNT && number < 0; ++i) {
        if (!g_tables[i]) {
            g_tables[i] = table;
            number = static_cast<int>(i);
        }
    }
    ReleaseSRWLockExclusive(&g_registryLock);
    return number;
}

void UnregisterTable(int number)
{
    if (number < 0 || number >= static_cast<int>(TABLE_NUMBER_COUNT)) return;
    AcquireSRWLockExclusive(&g_registryLock);
    g_tables[number] = nullptr;
    ReleaseSRWLockExclusive(&g_registryLock);
}

DWORD FirstGenerationOfNewTable()
{
    // Each table starts one invalidation step further; the value wraps after 32768 tables.
    const DWORD started = static_cast<DWORD>(InterlockedIncrement(&g_tablesStarted) - 1);
    return 0x10000u + (started << 17);
}

CSession* EnterSessionByContext(DWORD_PTR context, bool& slotHeld)
{
    slotHeld = false;
    CSession* entered = nullptr;
    AcquireSRWLockShared(&g_registryLock);
    if (CSessionTable* table = g_tables[(static_cast<DWORD>(context) >> TABLE_NUMBER_SHIFT) & (TABLE_NUMBER_COUNT - 1)]) {
        slotHeld = table->SessionFor(context) != nullptr;
        // The handshake runs on the slot's serial word, not through the session: until it succeeds
        // the session may be closing on the client's thread. Once it has, invalidation waits for
        // our leave, so the slot's session stays the one that owns this serial.
        volatile LONG* serial = table->SerialFor(context);
        const LONG expected = static_cast<LONG>(context);
        if (slotHeld && serial && InterlockedCompareExchange(serial, SERIAL_IN_CALLBACK, expected) == expected) {
            entered = table->SessionFor(context);
            // Cannot happen while the serial matched; the word is given back regardless.
            if (!entered) InterlockedCompareExchange(serial, expected, SERIAL_IN_CALLBACK);
        }
    }
    ReleaseSRWLockShared(&g_registryLock);
    return entered;
}
