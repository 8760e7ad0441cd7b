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

/* Saves every pending change of every hive now.
 *
 * A save that fails is answered by the call that committed it (this one,
 * RegFlushKey, VtrRegEndBatch, or outside a batch RegCloseKey of a hive's
 * last open key or a write made while none is open): ERROR_DISK_FULL (112),
 * ERROR_WRITE_FAULT (29), ERROR_ACCESS_DENIED (5), or ERROR_LOCK_VIOLATION
 * (33) when another program held the registry folder's lock for 10 seconds.
 * The changes are then forgotten and reads show the file, which is left as
 * it was unless only the last step, syncing the folder after the rename,
 * failed. A file with other hard links is rewritten in place once the room
 * for its new text is reserved; only on a copy-on-write file system can that
 * rewrite still fail midway and leave it torn. */
LSTATUS VtrRegFlushAll(void);

/* A batch: a run of calls by one program that knows no other program changes
 * the registry meanwhile, such as one command of a command-line tool. Inside a
 * batch the engine looks at each hive file once, on its first use, and probes
 * once whether the files may be written and whether a Wine server runs, and
 * trusts what it found for the calls that follow. Every save still checks
 * all of it again under the folder's lock: a Wine server that started
 * meanwhile makes the save fail (ERROR_ACCESS_DENIED) and leaves the file as
 * it is, and a file that another program saved meanwhile is merged with our
 * changes. The changes of a batch are saved when it ends, or earlier by
 * VtrRegFlushAll or RegFlushKey, rather than when the last open key of a hive
 * closes: RegCloseKey and the writes made while no key is open save nothing.
 * VtrRegEndBatch saves them, answers with the first failed save as
 * VtrRegFlushAll does (ERROR_SUCCESS when all were saved), and goes back to
 * checking on every call, as VtrRegReset does. VtrRegBeginBatch returns
 * ERROR_SUCCESS. */
LSTATUS VtrRegBeginBatch(void);
LSTATUS VtrRegEndBatch(void);

/* The registry directory in use (UTF-8, absolute), or null before first use. */
const char *VtrRegDirectory(void);

/* TRUE when the registry directory in use held none of the three hive files
 * when the engine found it: a registry that starts empty, for its program to
 * furnish. Finds the directory first when nothing has used it yet. */
BOOL VtrRegIsNew(void);

/* Makes one hive read-only, or writable again: fileName is "system.reg",
 * "user.reg" or "userdef.reg", or null for all three. On a read-only hive
 * existing keys open and read as usual; creating a key and every write give
 * ERROR_ACCESS_DENIED, and the file is never touched. Returns
 * ERROR_FILE_NOT_FOUND for an unknown file name. The setting lasts until
 * VtrRegReset.
 *
 * A hive is also read-only when its file cannot be written (or has no write
 * permission bits at all, which holds even for root), when the file could not
 * be understood, or, for keys opened before a Wine server started for the
 * prefix, while that server runs (keys opened while it runs are the server's
 * own, see VtrRegFailureNote). The environment
 * variable VANTOR_REGISTRY_READONLY ("1" or "all", or file names separated by
 * commas) makes hives read-only from the start. The reason a hive is
 * read-only is told once on stderr; VtrRegHiveState and VtrRegFailureNote
 * give it to the program. */
LSTATUS VtrRegSetReadOnly(const char *fileName, BOOL readOnly);

/* Why the hive of one file refuses changes. */
typedef enum VtrHiveCause {
    VTR_HIVE_WRITABLE = 0,
    VTR_HIVE_READ_ONLY_REQUESTED = 1, /* VtrRegSetReadOnly or VANTOR_REGISTRY_READONLY */
    VTR_HIVE_NOT_UNDERSTOOD = 2,      /* the file could not be read or understood */
    VTR_HIVE_FILE_NOT_WRITABLE = 3,
    VTR_HIVE_FOLDER_NOT_WRITABLE = 4,
    VTR_HIVE_WINE_SERVER_RUNNING = 5, /* one that started after the hive was read */
    VTR_HIVE_SAVE_FAILED = 6          /* only in a failed call's note */
} VtrHiveCause;

/* What went wrong, for VTR_HIVE_NOT_UNDERSTOOD and VTR_HIVE_SAVE_FAILED. */
typedef enum VtrHiveProblem {
    VTR_PROBLEM_NONE = 0,
    VTR_PROBLEM_NOT_REGISTRY_FILE = 1,
    VTR_PROBLEM_CUT_SHORT = 2, /* no line break at the end */
    VTR_PROBLEM_TEXT_BEFORE_FIRST_KEY = 3,
    VTR_PROBLEM_KEY_LINE = 4,
    VTR_PROBLEM_KEY_PATH_TOO_DEEP = 5,
    VTR_PROBLEM_KEY_OPTION = 6,
    VTR_PROBLEM_VALUE_LINE = 7,
    VTR_PROBLEM_LINE = 8,
    VTR_PROBLEM_TOO_LARGE = 9,
    VTR_PROBLEM_NOT_REGULAR_FILE = 10,
    VTR_PROBLEM_UNREADABLE = 11,   /* error holds the errno */
    VTR_PROBLEM_FOLDER_LOCKED = 12, /* by another program, for too long */
    VTR_PROBLEM_LOCK_FAILED = 13,  /* error holds the errno */
    VTR_PROBLEM_WRITE_FAILED = 14, /* error holds the errno */
    VTR_PROBLEM_REWRITE_WAITS = 15, /* a rewrite in place that a crash cut short waits to be undone */
    VTR_PROBLEM_REWRITE_UNFINISHED = 16 /* undoing it failed; error holds the errno */
} VtrHiveProblem;

typedef struct VtrHiveState {
    VtrHiveCause cause;
    const char *file;   /* the hive file, absolute, UTF-8 */
    DWORD line;         /* VTR_HIVE_NOT_UNDERSTOOD: the line of the first problem; else 0 */
    const char *reason; /* in words, as told on stderr; empty when writable */
    VtrHiveProblem problem;
    int error;          /* the errno of the problem, where it has one; else 0 */
    BOOL told;          /* VtrRegMarkTold was called for this very refusal */
} VtrHiveState;

/* Whether the hive of fileName ("system.reg", "user.reg" or "userdef.reg")
 * may be written now, and if not why: the file is read when it changed, and
 * the checks of a write are run. While a Wine server that Wine can reach runs,
 * only a request makes a hive read-only. ERROR_FILE_NOT_FOUND for an unknown
 * file name. The texts stay valid until the next registry call. */
LSTATUS VtrRegHiveState(const char *fileName, VtrHiveState *state);

/* The state of the hive that refused the last registry call (a change or its
 * save), as VtrRegHiveState gives it; ERROR_FILE_NOT_FOUND when the last call
 * failed for another reason or did not fail. The texts stay valid until the
 * next registry call. */
LSTATUS VtrRegFailureState(VtrHiveState *state);

/* Records that the program told its user why the hive of fileName refuses
 * changes now: the states of that refusal then say so (told), until the hive
 * refuses for another reason. ERROR_FILE_NOT_FOUND for an unknown file name. */
LSTATUS VtrRegMarkTold(const char *fileName);

/* Why the last registry call failed, in UTF-8, where the engine knows more
 * than the error code: a hive that refused the change or its save ("FILE:
 * REASON", the reason as VtrRegHiveState gives it), or, while a Wine server
 * runs for the prefix and every call goes to that server's registry through
 * a helper program inside the prefix's Wine, why that way failed (no Wine
 * loader, the helper was not built or ended or hung, the server ended).
 * Otherwise null. The same text goes to stderr. The text stays valid until
 * the next registry call. */
const char *VtrRegFailureNote(void);

#ifdef __cplusplus
}
#endif

#endif
