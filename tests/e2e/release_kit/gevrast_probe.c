/* A game client's first calls into GevrastSSE, built from the SDK alone and linked through one of
 * its import libraries. No C runtime is used, so the same file links with the Microsoft linker
 * without one. Exit status 0 when every result is right, else the number of the first wrong one. */
#include <GevrastSSE.h>

#ifdef PROBE_WITHOUT_CRT
__declspec(dllimport) void __stdcall ExitProcess(unsigned int code);
int _fltused; /* the Microsoft compilers' mark that floating point is used */
#endif

static SORT_ENTRY entries[4];
static VECTOR3 a, b, cross;
static ANALYZE_RECORD record;

static int probe(void)
{
    int i;
    for (i = 0; i < 4; ++i) {
        entries[i].iKey = (i * 7) % 4 - 1; /* -1, 2, 1, 0 */
        entries[i].dwValue = 100u + (unsigned)i;
    }
    QSortIntASC(entries, 4); /* stdcall, 8 argument bytes */
    for (i = 0; i < 4; ++i)
        if (entries[i].iKey != i - 1) return 1;
    if (entries[0].dwValue != 100u || entries[3].dwValue != 101u) return 2;

    a.x = 3.0f; a.y = 4.0f; a.z = 0.0f;
    if (VECTOR3Length(&a) < 4.999f || VECTOR3Length(&a) > 5.001f) return 3; /* float in st(0) */

    b.x = 0.0f; b.y = 0.0f; b.z = 2.0f;
    CrossProduct(&cross, &a, &b); /* (4 * 2, -(3 * 2), 0) */
    if (cross.x != 8.0f || cross.y != -6.0f || cross.z != 0.0f) return 4;
    if (DotProduct(&a, &cross) != 0.0f) return 5;

    BeginAnalyze(&record); /* the two caller-cleans exports */
    EndAnalyze(&record);
    if (record.qwStart == 0) return 6;
    return 0;
}

#ifdef PROBE_WITHOUT_CRT
void probe_start(void)
{
    ExitProcess((unsigned int)probe());
}
#else
int main(void)
{
    return probe();
}
#endif
