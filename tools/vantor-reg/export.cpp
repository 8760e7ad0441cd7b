// export KEY FILE [/y]
#include "reg.h"

#include "files/safe_file.h"

namespace reg {

int Export(Console &console, const Arguments &args)
{
    const std::optional<Switches> switches = ParseSwitches(args, 2, {"y"}, {});
    if (!switches)
        return console.Fail(SyntaxError("export"));
    const std::optional<KeyName> name = ParseKey(args[1]);
    if (!name)
        return console.Fail(kBadKey);
    const OwnedKey key(Open(*name, KEY_READ));
    if (!key)
        return console.Fail(kNoKey);
    const std::string &file = args[2];
    if (!switches->contains("y") && files::replacesAFile(file)) {
        const Answer answer =
            console.Ask("The file '" + file + "' already exists. Do you want to overwrite it?", false);
        if (answer != Answer::Yes)
            return console.Refused(answer);
    }
    try {
        regfile::ExportKeyToFile(key.get(), name->shown, regfile::Format::Unicode, file);
    } catch (const regfile::FileError &error) {
        console.Warn(error.what());
        return console.Fail("Path not found.");
    }
    return 0;
}

} // namespace reg
