/* Preloaded into Wine's 32-bit loader when i386 programs run through qemu's user-mode emulator.
 *
 * Wine reserves its address space with mmap(MAP_FIXED_NOREPLACE). The emulator does not know
 * that flag and treats the call as a plain hint it rarely honours, so Wine splits every range
 * down to 64 KiB and makes over a hundred thousand calls before a program starts (about a
 * minute per process). Here the flag gets its kernel meaning: map at the hint or fail with
 * EEXIST. Calls without the flag go straight to the C library.
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
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
#else
/* The 64-bit build only exists so that 64-bit processes (the wine server) load it quietly. */
int quenlor_qemu_mmap_compat_unused;
#endif
