// import FILE
#include "reg.h"

namespace reg {

int Import(Console &console, const Arguments &args)
{
    if (args.size() != 2)
        return console.Fail(SyntaxError("import"));
    const std::string &file = args[1];
    if (!FileExists(file))
        return console.Fail("reg: The file '" + file + "' was not found.");
    regfile::ImportReport report;
    try {
        report = regfile::ImportFile(file);
    } catch (const regfile::FileError &) {
        throw; // what it says names the file
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
