// The logging library Dunmore's three functions; portable declaration of an outside component.
#pragma once

#include "platform/export.h"

#if defined(DUNMORE_BUILDING)
#define DUNMORE_API MW_DLL_EXPORT
#else
#define DUNMORE_API
#endif

#if defined(__GNUC__)
#define DUNMORE_PRINTF(f, a) __attribute__((format(printf, f, a)))
#else
#define DUNMORE_PRINTF(f, a)
#endif

// C linkage, undecorated, caller cleans up the stack. Callers ignore every return value.
extern "C" {
// Level 0 writes nothing, 1 error records only, 2 and above trace lines too.
DUNMORE_API int MW_CDECL qvSetLogLevel(int level);
// One trace line, printf-style.
DUNMORE_API int MW_CDECL qvLog(const char* format, ...) DUNMORE_PRINTF(1, 2);
// One error record: a text or null, the component (7), the severity (4), a detail code, a spare 0.
DUNMORE_API int MW_CDECL qvSetError(const char* text, int component, int severity, int detail,
                                    int extra);
}
