// Export macro for the project's shared libraries; platform glue, the one place that knows the ABI.
#pragma once

// A library defines <NAME>_BUILDING while it is compiled, and its public header defines its own
// macro from that: MW_DLL_EXPORT while building, nothing for callers (see VARNEL_API in
// upload/varnel.h). Callers need no attribute: MinGW and ELF both resolve plain declarations
// against the import library or the shared object.
#if defined(_WIN32)
#define MW_DLL_EXPORT __declspec(dllexport)
#else
#define MW_DLL_EXPORT __attribute__((visibility("default")))
#endif

// The caller-cleans-up calling convention; the only one on 64-bit targets and on Linux.
#if defined(_WIN32)
#define MW_CDECL __cdecl
#else
#define MW_CDECL
#endif
