// import FILE
#include "reg.h"

#include "DeletedCopies.h"

namespace reg {

int Import(Console &console, const Arguments &args)
{
    if (args.size() != 2)
        return console.Fail(SyntaxError("import"));
    const std::string &file = args[1];
    if (!FileExists(file))
        return console.Fail("reg: The file '" + file + "' was not found.");
    const std::string bytes = regfile::ReadFile(file); // what it throws names the file
    regfile::ImportReport report;
    // One copy holds everything the file deletes.
    deleted::Copy copy;
    regfile::BeforeDelete keepCopy;
    if (CommandSettings().copies)
        keepCopy = [&copy](HKEY root, const std::string &path, const std::string *valueName) {
            copy.Add({root, path, valueName ? std::optional<std::string>(*valueName) : std::nullopt});
        };
    try {
        report = regfile::Import(bytes, keepCopy);
    } catch (const regfile::Error &error) {
        return console.Warn(file + ": " + error.what());
    }
    for (const std::string &notice : report.notices)
        console.Say(notice);
    for (const std::string &problem : report.problems)
        console.Warn(file + ": " + problem);
    for (const std::string &root : report.keptRoots)
        console.Warn("a root key is never deleted: " + root);
    return Saved(console, report.complete() ? 0 : 1);
}

} // namespace reg
