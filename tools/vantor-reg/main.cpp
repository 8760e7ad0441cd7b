// vantor-reg: Wine's `reg` for a Wine prefix, without starting Wine. It reads
// and writes the prefix's registry files through our registry engine (which
// asks the prefix's Wine server instead while one runs) and answers as
// `wine reg` does: the same operations, the same output on standard output and
// the same exit statuses. A read that fails for another reason than a missing
// key or value ends the command with status 1. See vantor-reg --help.
#include <vantor_registry.h>

#include <algorithm>
#include <cstdlib>
#include <exception>
#include <new>

#include "reg.h"

#include "files/safe_file.h"

namespace reg {

static const char kHelp[] = R"(Usage: vantor-reg [--prefix DIR] [--no-copy] [--json] [--status] OPERATION [ARGUMENTS]
       vantor-reg --version

Reads and changes the registry of a Wine prefix the way `wine reg` does, with
the same output and exit statuses, without starting Wine. The prefix is DIR,
else $WINEPREFIX, else ~/.wine.

Operations (switches may start with / or -, in any case):
  query KEY [/v NAME | /ve] [/s] [/f DATA [/k] [/d] [/c] [/e]] [/t TYPES] [/se SEP]
      Lists a key's values and subkeys; /s goes down the whole tree. /f
      searches key names, value names and data for DATA (/k keys only, /d data
      only, /c case counts, /e whole text); /t keeps the listed types (comma
      separated); /se shows REG_MULTI_SZ separators as SEP.
  add KEY [/v NAME | /ve] [/t TYPE] [/s SEP] [/d DATA] [/f]
      Creates the key and sets a value. TYPE is REG_SZ (the default),
      REG_MULTI_SZ, REG_EXPAND_SZ, REG_DWORD, REG_QWORD, REG_BINARY, REG_NONE
      or REG_DWORD_BIG_ENDIAN. Numbers are decimal or 0x hexadecimal;
      REG_BINARY data is hexadecimal digits; REG_MULTI_SZ strings are split at
      SEP (default \0).
  delete KEY [/v NAME | /ve | /va] [/f]
      Deletes a value, all values of the key (/va), or the key with all below.
  copy KEY1 KEY2 [/s] [/f]
      Copies the values of KEY1 (and with /s its subkeys) into KEY2.
  export KEY FILE [/y]
      Writes KEY and all below it to FILE as a .reg file (version 5, UTF-16).
  import [--all-or-nothing] FILE | -
      Applies a .reg file (version 5 in UTF-16 or UTF-8, or REGEDIT4); -
      reads it from standard input, a pipe or a file. --all-or-nothing
      changes nothing unless every line is understood and every change is
      allowed; otherwise it names each problem line and exits with 4.
  copies
      Lists the copies kept before deletes from this prefix, newest first,
      with the keys each holds and the command that brings it back.

Before every delete (delete, and the [-KEY] and "NAME"=- lines of an
import) a copy of what goes is kept as a .reg file in
$XDG_STATE_HOME/vantor/deleted (~/.local/state/vantor/deleted), one file
for each command, for 30 days and 100 MB at most; --no-copy keeps none.

KEY is ROOT\PATH with ROOT one of HKLM, HKCU, HKCR, HKU, HKCC or their long
names. Without /f (or /y for export) a change that overwrites or deletes asks
first and reads the answer from standard input; the end of input answers No.

--json answers with one JSON document on standard output (see
vantor-reg(1)) and asks no question. --status (and --json) ends with a status
that tells the failures apart:
  0 done or found, 1 any other failure, 2 no such key, 3 no such value or a
  search that found nothing, 4 bad arguments or input (nothing changed),
  5 a hive may not be changed or a save failed, 6 the bridge into a running
  Wine failed, 7 out of memory.

Exit status without them: 0 on success, 1 on any failure or refusal. Messages
are printed on standard output as Wine's reg prints them.)";

// What this vantor-reg knows beyond Wine's reg, for callers to test.
constexpr char kFeatures[] = "json status all-or-nothing copies";

constexpr struct {
    const char *name;
    int (*run)(Console &, const Arguments &);
} kOperations[] = {
    {"query", Query},   {"add", Add},       {"delete", Delete}, {"copy", Copy},
    {"export", Export}, {"import", Import}, {"copies", Copies},
};

static int Help(Console &console)
{
    console.Say(kHelp);
    return 0;
}

static int Run(Console &console, Arguments args)
{
    if (!args.empty() && (args[0] == "--help" || args[0] == "-h"))
        return Help(console);
    Settings &settings = CommandSettings();
    std::string &prefix = settings.prefix;
    while (!args.empty() && args[0].starts_with("--")) {
        if (args[0] == "--prefix" && args.size() >= 2) {
            prefix = args[1];
            args.erase(args.begin(), args.begin() + 2);
        } else if (args[0] == "--no-copy" || args[0] == "--json" || args[0] == "--status") {
            settings.copies = settings.copies && args[0] != "--no-copy";
            settings.json = settings.json || args[0] == "--json";
            settings.statuses = settings.statuses || args[0] != "--no-copy";
            args.erase(args.begin());
        } else if (args[0] == "--version") {
            console.Say("vantor-reg " VANTOR_VERSION);
            console.Say(kFeatures);
            return 0;
        } else {
            return console.Fail("reg: Invalid option [" + args[0] + "]. Type \"REG /?\" for help.");
        }
    }
    if (args.empty())
        return console.Fail(SyntaxError(""));
    if (args.size() >= 2 && (args[1] == "/?" || args[1] == "-?"))
        return args.size() == 2 ? Help(console) : console.Fail(SyntaxError(args[0]));
    if (args[0] == "/?" || args[0] == "-?")
        return Help(console);
    const auto operation = std::ranges::find_if(
        kOperations, [&args](const auto &known) { return regfile::SameLetters(args[0], known.name); });
    if (operation == std::end(kOperations))
        return console.Fail("reg: Invalid option [" + args[0] + "]. Type \"REG /?\" for help.");
    // An export here that a crash cut short while rewriting a hard-linked
    // file in place is undone; one that cannot be is undone by the next
    // export to that file, which tells its failure.
    (void)files::finishRewritesIn(".");
    const char *wine = std::getenv("WINEPREFIX");
    const char *home = std::getenv("HOME");
    if (prefix.empty())
        prefix = wine && *wine ? std::string(wine) : std::string(home ? home : "") + "/.wine";
    if (!FileExists(prefix + "/system.reg"))
        return console.Warn("no Wine prefix at " + prefix + " (no system.reg there)");
    // One command is one batch: nothing else is expected to change the
    // files meanwhile, and every save still checks.
    if (VtrRegReset(prefix.c_str()) != ERROR_SUCCESS || VtrRegBeginBatch() != ERROR_SUCCESS)
        return console.Warn("cannot read the registry of " + prefix);
    return operation->run(console, args);
}

} // namespace reg

int main(int argc, char **argv)
{
    reg::Console console;
    int status = 1; // whatever the command throws is told and ends it with this
    try {
        status = reg::Run(console, reg::Arguments(argv + 1, argv + argc));
    } catch (const std::bad_alloc &) {
        status = console.Warn("out of memory", reg::Failure::OutOfMemory);
    } catch (const std::exception &error) {
        status = console.Warn(error.what());
    } catch (...) {
        status = console.Warn("an unknown failure");
    }
    // What a command left unsaved (a copy that a question ended) is saved
    // here, where its failure still reaches the exit status.
    if (VtrRegDirectory())
        status = reg::Saved(console, status);
    return console.Finish() ? status : 1;
}
