// copies: the copies kept before deletes from this prefix, newest first.
#include "reg.h"

#include "DeletedCopies.h"

namespace reg {

namespace {

// For a shell: in single quotes, a quote inside as '\''.
std::string Quoted(const std::string &text)
{
    std::string quoted = "'";
    for (const char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

} // namespace

int Copies(Console &console, const Arguments &args)
{
    if (args.size() != 1)
        return console.Fail(SyntaxError("copies"));
    const std::string &prefix = CommandSettings().prefix;
    for (const deleted::Listed &copy : deleted::List(deleted::Folder(), prefix)) {
        console.Say(copy.file);
        for (const std::string &key : copy.keys)
            console.Say("    " + key);
        console.Say("  brought back by: vantor-reg --prefix " + Quoted(prefix) + " import " + Quoted(copy.file));
    }
    return 0;
}

} // namespace reg
