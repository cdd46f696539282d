// Calling convention and linkage of every GevrastSSE export.
//
// All exports are stdcall with 32-bit arguments and results; the DLL names them with the
// decoration a 32-bit Windows compiler gives stdcall functions ("_Name@N"). The native
// 32-bit build compiles the same code into a static library with the same convention.
#pragma once

#include <stdint.h>

#if !defined(__i386__) && !defined(_M_IX86)
#error "GevrastSSE is a 32-bit x86 library: its records hold 32-bit addresses"
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
#else
#define GEVRAST_CALL __attribute__((stdcall))
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
#else
#define GEVRAST_CDECL __attribute__((cdecl))
#endif
#define GEVRAST_CDECL_API(type) GEVRAST_EXTERN_C GEVRAST_LINKAGE type GEVRAST_CDECL
