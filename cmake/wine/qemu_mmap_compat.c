/* Preloaded into Wine's 32-bit loader when i386 programs run through qemu's user-mode emulator.
 *
 * Wine reserves its address space with mmap(MAP_FIXED_NOREPLACE). The emulator does not know
 * that flag and treats the call as a plain hint it rarely honours, so Wine splits every range
 * down to 64 KiB and makes over a hundred thousand calls before a program starts (about a
 * minute per process). Here the flag gets its kernel meaning: map at the hint or fail with
 * EEXIST. Calls without the flag go straight to the C library.
 *
 * Thread starts are spaced out: under the emulator a program's thread started right after one
 * that a system library started for itself (WinINet does when a connection is released) has
 * brought the process down (a segmentation fault inside the emulated process, now and then a
 * corrupted stack). So thread starts of one process are taken one at a time, each waits until
 * its new thread runs, and one that follows the previous start by less than the gap waits out
 * the rest. A Windows program cannot tell: its thread start only returns later. The gap, in
 * milliseconds, comes from QUENLOR_THREAD_START_GAP_MS, which the Wine runner sets for the
 * programs that meet WinINet this way (the launcher and the updater); without it thread starts
 * go straight to the C library. The programs themselves carry no such pause; players run them
 * under Wine on real hardware. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <pthread.h>
#include <semaphore.h>
#include <stdlib.h>
#include <time.h>
#include <sys/mman.h>
#include <sys/types.h>

#ifndef MAP_FIXED_NOREPLACE
#define MAP_FIXED_NOREPLACE 0x100000
#endif

#if defined(__i386__)
typedef void* (*mmap64_fn)(void*, size_t, int, int, int, off64_t);

static void* map_no_replace(void* addr, size_t len, int prot, int flags, int fd, off64_t off)
{
    static mmap64_fn next_mmap64;
    if (!next_mmap64) next_mmap64 = (mmap64_fn)dlsym(RTLD_NEXT, "mmap64");
    if (!(flags & MAP_FIXED_NOREPLACE)) return next_mmap64(addr, len, prot, flags, fd, off);

    void* got = next_mmap64(addr, len, prot, flags & ~MAP_FIXED_NOREPLACE, fd, off);
    if (got == MAP_FAILED || got == addr) return got;
    munmap(got, len);
    errno = EEXIST;
    return MAP_FAILED;
}

void* mmap(void* addr, size_t len, int prot, int flags, int fd, off_t off)
{
    return map_no_replace(addr, len, prot, flags, fd, off);
}

void* mmap64(void* addr, size_t len, int prot, int flags, int fd, off64_t off)
{
    return map_no_replace(addr, len, prot, flags, fd, off);
}

typedef int (*pthread_create_fn)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);

struct thread_start {
    void* (*routine)(void*);
    void* arg;
    sem_t running;
};

static void* run_started(void* param)
{
    struct thread_start* start = param;
    void* (*routine)(void*) = start->routine;
    void* arg = start->arg;
    sem_post(&start->running); /* the creator's record ends with this */
    return routine(arg);
}

int pthread_create(pthread_t* thread, const pthread_attr_t* attr, void* (*routine)(void*), void* arg)
{
    static pthread_create_fn next_create;
    static pthread_mutex_t one_at_a_time = PTHREAD_MUTEX_INITIALIZER;
    static long gap_ms = -1;
    if (!next_create) next_create = (pthread_create_fn)dlsym(RTLD_NEXT, "pthread_create");
    if (gap_ms < 0) {
        const char* text = getenv("QUENLOR_THREAD_START_GAP_MS");
        gap_ms = text ? atol(text) : 0;
    }
    if (gap_ms <= 0) return next_create(thread, attr, routine, arg);
    struct thread_start start = {routine, arg};
    sem_init(&start.running, 0, 0);
    static struct timespec previous; /* zero: no thread started yet */
    pthread_mutex_lock(&one_at_a_time);
    if (previous.tv_sec || previous.tv_nsec) {
        struct timespec now;
        clock_gettime(CLOCK_MONOTONIC, &now);
        long long since_ms = (now.tv_sec - previous.tv_sec) * 1000LL + (now.tv_nsec - previous.tv_nsec) / 1000000;
        if (since_ms >= 0 && since_ms < gap_ms) {
            long long rest_ms = gap_ms - since_ms;
            struct timespec rest = {(time_t)(rest_ms / 1000), (long)(rest_ms % 1000) * 1000000L};
            while (nanosleep(&rest, &rest) != 0 && errno == EINTR) {
            }
        }
    }
    int result = next_create(thread, attr, run_started, &start);
    if (result == 0) {
        while (sem_wait(&start.running) != 0 && errno == EINTR) {
        }
    }
    clock_gettime(CLOCK_MONOTONIC, &previous);
    pthread_mutex_unlock(&one_at_a_time);
    sem_destroy(&start.running);
    return result;
}
#else
/* The 64-bit build only exists so that 64-bit processes (the wine server) load it quietly. */
int quenlor_qemu_mmap_compat_unused;
#endif
