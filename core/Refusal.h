// Why the registry refused what the program asked: as data, so that each
// window can say it in its own language. The English words are what the
// registry itself said, for the places that show no language.
#pragma once

#include <string>

struct RegistryRefusal {
    enum class Cause {
        Requested,         // the registry file was made read-only on request
        NotUnderstood,     // the file holds something that could not be read (problem, line)
        FileNotWritable,
        FolderNotWritable,
        WineServerRunning, // a Wine server runs for the prefix and would overwrite the change
        SaveFailed,        // problem, error
        RootKey,           // a root key, or the top key of a hive, is never deleted
        EmptyLevel,        // level (from 1) of the path is empty
        NameTooLong,       // the name is longer than limit characters
        TooDeep,           // the path has more than limit levels
        SystemError,       // Windows refused: error is its code, words its message
        Other,             // only the registry's own words
    };
    // What was wrong with the file or its save.
    enum class Problem {
        None,
        NotRegistryFile,
        CutShort,
        TextBeforeFirstKey,
        KeyLine,
        KeyPathTooDeep,
        KeyOption,
        ValueLine,
        Line,
        TooLarge,
        NotRegularFile,
        Unreadable,
        FolderLocked,
        LockFailed,
        WriteFailed,
        RewriteWaits,
        RewriteUnfinished,
    };

    Cause cause = Cause::Other;
    Problem problem = Problem::None;
    std::string file;   // the registry file, where one refused
    unsigned line = 0;  // NotUnderstood: the line of the problem, when known
    int error = 0;      // the system's error number, where there is one
    unsigned level = 0; // EmptyLevel
    unsigned limit = 0; // NameTooLong, TooDeep
    std::string words;  // in English
    bool told = false;  // the user has been told this refusal already
};
