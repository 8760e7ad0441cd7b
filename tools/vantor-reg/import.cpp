// import [--all-or-nothing] FILE | -
#include "reg.h"

#include "DeletedCopies.h"

#include <vantor_registry.h>

#include <algorithm>

namespace reg {

namespace {

// The files of the roots a batch changes that may not be changed now, as
// problems of the batch.
void RefuseUnchangeableHives(regfile::ImportReport &report)
{
    const struct {
        HKEY root;
        const char *file;
    } hives[] = {{HKEY_LOCAL_MACHINE, "system.reg"}, {HKEY_CLASSES_ROOT, "system.reg"},
                 {HKEY_CURRENT_CONFIG, "system.reg"}, {HKEY_CURRENT_USER, "user.reg"},
                 {HKEY_USERS, "userdef.reg"}};
    std::vector<std::string> told;
    for (const auto &hive : hives) {
        VtrHiveState state{};
        if (std::ranges::find(report.roots, hive.root) == report.roots.end() ||
            std::ranges::find(told, hive.file) != told.end() ||
            VtrRegHiveState(hive.file, &state) != ERROR_SUCCESS || state.cause == VTR_HIVE_WRITABLE)
            continue;
        told.emplace_back(hive.file);
        report.problems.push_back(std::string(state.file) + ": " + state.reason);
    }
}

} // namespace

int Import(Console &console, const Arguments &args)
{
    const bool allOrNothing = args.size() == 3 && args[1] == "--all-or-nothing";
    if (args.size() != (allOrNothing ? 3 : 2))
        return console.Fail(SyntaxError("import"));
    const std::string &file = args.back();
    const bool standardInput = file == "-";
    if (!standardInput && !FileExists(file))
        return console.Fail("reg: The file '" + file + "' was not found.");
    // One copy holds everything the file deletes.
    deleted::Copy copy;
    regfile::ImportOptions options;
    if (CommandSettings().copies)
        options.beforeDelete = [&copy](HKEY root, const std::string &path, const std::string *valueName) {
            copy.Add({root, path, valueName ? std::optional<std::string>(*valueName) : std::nullopt});
        };
    options.allOrNothing = allOrNothing;
    options.allowed = RefuseUnchangeableHives;
    const std::string shown = standardInput ? "standard input" : file;
    regfile::ImportReport report;
    try {
        report = standardInput ? regfile::ImportStandardInput(options) : regfile::ImportFile(file, options);
    } catch (const regfile::FileError &) {
        throw; // what it says names the file
    } catch (const regfile::Error &error) {
        return console.Warn(shown + ": " + error.what(), Failure::BadInput);
    }
    console.Changed(report.changes);
    if (!copy.File().empty())
        console.Copied(copy.File());
    for (const std::string &notice : report.notices)
        console.Say(notice);
    for (const std::string &problem : report.problems)
        console.Notice(shown + ": " + problem);
    for (const std::string &root : report.keptRoots)
        console.Notice("a root key is never deleted: " + root);
    if (!report.applied) {
        // A switch of our own: its status is ours whatever --status says.
        const std::string nothing = "nothing of " + shown + " was applied: " +
                                    std::to_string(report.problems.size() + report.keptRoots.size()) +
                                    " lines could not be";
        console.Warn(nothing, Failure::BadInput);
        return static_cast<int>(Failure::BadInput);
    }
    if (!report.complete())
        return Saved(console, console.Told(Failure::Other, std::to_string(report.problems.size() +
                                                                          report.keptRoots.size()) +
                                                               " lines of " + shown + " were not applied"));
    return Saved(console, 0);
}

} // namespace reg
