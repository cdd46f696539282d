// Calling convention and linkage of every GevrastSSE export.
//
// All exports are stdcall with 32-bit arguments and results; the DLL names them with the
// decoration a 32-bit Windows compiler gives stdcall functions ("_Name@N"). The native
// 32-bit build compiles the same code into a static library with the same convention.
#pragma once

#include <stdint.h>

// The library ships as 32-bit x86 code: its published records hold 32-bit addresses. The same
// sources also build as x86-64 code outside Windows, only to measure the hot paths on hardware
// whose kernel runs 32-bit programs emulated; there records holding addresses are wider and
// the calling convention is the platform's one.
#if defined(__i386__) || defined(_M_IX86)
#define GEVRAST_X86_32 1
#elif defined(__x86_64__) && !defined(_WIN32)
#define GEVRAST_X86_32 0
#else
#error "GevrastSSE is a 32-bit x86 library: its records hold 32-bit addresses"
#endif

// Checks a record layout that holds addresses: in force for every 32-bit build, where the
// layout is the published one; a 64-bit measuring build has wider address fields.
#if GEVRAST_X86_32
#define GEVRAST_LAYOUT32_ASSERT(condition, message) static_assert(condition, message)
#else
#define GEVRAST_LAYOUT32_ASSERT(condition, message) static_assert(true, message)
#endif

#if defined(_WIN32)
#define GEVRAST_CALL __stdcall
#if defined(GEVRAST_BUILDING_DLL)
#define GEVRAST_LINKAGE __declspec(dllexport)
#elif defined(GEVRAST_STATIC)
#define GEVRAST_LINKAGE
#else
#define GEVRAST_LINKAGE __declspec(dllimport)
#endif
#elif GEVRAST_X86_32
#define GEVRAST_CALL __attribute__((stdcall))
#define GEVRAST_LINKAGE
#else
#define GEVRAST_CALL
#define GEVRAST_LINKAGE
#endif

#ifdef __cplusplus
#define GEVRAST_EXTERN_C extern "C"
#else
#define GEVRAST_EXTERN_C
#endif

// Declares one exported function: GEVRAST_API(void*) DPCQCreate(void);
#define GEVRAST_API(type) GEVRAST_EXTERN_C GEVRAST_LINKAGE type GEVRAST_CALL

// Caller-cleans exports (the two profiling entry points).
#if defined(_WIN32)
#define GEVRAST_CDECL __cdecl
#elif GEVRAST_X86_32
#define GEVRAST_CDECL __attribute__((cdecl))
#else
#define GEVRAST_CDECL
#endif
#define GEVRAST_CDECL_API(type) GEVRAST_EXTERN_C GEVRAST_LINKAGE type GEVRAST_CDECL
