#include "pool/address_space.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace gevrast {

#if defined(_WIN32)

void* reserve_address_space(uint32_t bytes)
{
    if (bytes == 0) return nullptr;
    return VirtualAlloc(nullptr, bytes, MEM_RESERVE, PAGE_READWRITE);
}

bool commit_address_space(void* base, uint32_t offset, uint32_t bytes)
{
    if (bytes == 0) return true;
    return VirtualAlloc(static_cast<uint8_t*>(base) + offset, bytes, MEM_COMMIT, PAGE_READWRITE) != nullptr;
}

void release_address_space(void* base, uint32_t /*bytes*/)
{
    if (base) VirtualFree(base, 0, MEM_RELEASE);
}

#else

void* reserve_address_space(uint32_t bytes)
{
    if (bytes == 0) return nullptr;
    void* p = mmap(nullptr, bytes, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    return p == MAP_FAILED ? nullptr : p;
}

bool commit_address_space(void* base, uint32_t offset, uint32_t bytes)
{
    if (bytes == 0) return true;
    // Protection changes by whole pages; widening to page bounds only touches pages of this
    // reservation, and anonymous pages read as zero until written.
    const uintptr_t page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    uintptr_t begin = reinterpret_cast<uintptr_t>(base) + offset;
    uintptr_t end = begin + bytes;
    begin &= ~(page - 1);
    end = (end + page - 1) & ~(page - 1);
    return mprotect(reinterpret_cast<void*>(begin), end - begin, PROT_READ | PROT_WRITE) == 0;
}

void release_address_space(void* base, uint32_t bytes)
{
    if (base) munmap(base, bytes);
}

#endif

}  // namespace gevrast
