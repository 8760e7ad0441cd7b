// import FILE | -
#include "reg.h"

#include "DeletedCopies.h"

namespace reg {

int Import(Console &console, const Arguments &args)
{
    if (args.size() != 2)
        return console.Fail(SyntaxError("import"));
    const std::string &file = args[1];
    const bool standardInput = file == "-";
    if (!standardInput && !FileExists(file))
        return console.Fail("reg: The file '" + file + "' was not found.");
    // One copy holds everything the file deletes.
    deleted::Copy copy;
    regfile::BeforeDelete keepCopy;
    if (CommandSettings().copies)
        keepCopy = [&copy](HKEY root, const std::string &path, const std::string *valueName) {
            copy.Add({root, path, valueName ? std::optional<std::string>(*valueName) : std::nullopt});
        };
    const std::string shown = standardInput ? "standard input" : file;
    regfile::ImportReport report;
    try {
        report = standardInput ? regfile::ImportStandardInput(keepCopy) : regfile::ImportFile(file, keepCopy);
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
    if (!report.complete())
        return Saved(console, console.Told(Failure::Other, std::to_string(report.problems.size() +
                                                                          report.keptRoots.size()) +
                                                               " lines of " + shown + " were not applied"));
    return Saved(console, 0);
}

} // namespace reg
