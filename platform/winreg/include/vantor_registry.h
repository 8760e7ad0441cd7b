/*
 * Engine controls that the Windows API has no word for: where the registry
 * lives, and committing or dropping what is held in memory. Tests and tools
 * use these; a program written against the Windows API never needs them.
 */
#ifndef VANTOR_REGISTRY_ENGINE_H
#define VANTOR_REGISTRY_ENGINE_H

#include "winreg.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Saves every pending change, closes every open handle and forgets the loaded
 * hives. The next registry call finds the registry directory again from the
 * environment ($VANTOR_REGISTRY, $WINEPREFIX, $XDG_DATA_HOME/vantor/registry),
 * or uses dir when it is not null. */
LSTATUS VtrRegReset(const char *dir);

/* Saves every pending change of every hive now. */
LSTATUS VtrRegFlushAll(void);

/* The registry directory in use (UTF-8, absolute), or null before first use. */
const char *VtrRegDirectory(void);

#ifdef __cplusplus
}
#endif

#endif
