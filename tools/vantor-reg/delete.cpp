// delete KEY [/v NAME | /ve | /va] [/f]
#include "reg.h"

#include "DeletedCopies.h"

namespace reg {

int Delete(Console &console, const Arguments &args)
{
    const std::optional<Switches> switches = ParseSwitches(args, 1, {"ve", "va", "f"}, {"v"});
    std::optional<std::string> valueName;
    if (!switches || !ValueChoice(*switches, valueName) || (valueName && switches->contains("va")))
        return console.Fail(SyntaxError("delete"));
    const bool allValues = switches->contains("va");
    const std::optional<KeyName> name = ParseKey(args[1]);
    if (!name || (!valueName && !allValues && regfile::IsHiveRoot(name->root, name->path)))
        return console.Fail(kBadKey);
    LSTATUS status = ERROR_SUCCESS;
    const OwnedKey key(Open(*name, KEY_ALL_ACCESS, &status));
    if (!key)
        return console.Fail(Unopened(status));
    if (valueName && !ValueExists(key.get(), *valueName))
        return console.Fail(kNoValue);

    if (!switches->contains("f")) {
        const std::string what = valueName    ? "the registry value '" + Shown(*valueName) + "'"
                                 : allValues ? "all registry values in '" + name->shown + "'"
                                             : "the registry key '" + name->shown + "'";
        const Answer answer = console.Ask("Are you sure you want to delete " + what + "?", false);
        if (answer != Answer::Yes)
            return console.Refused(answer);
    }
    const std::vector<regfile::Value> values = allValues ? regfile::ValuesOf(key.get()) : std::vector<regfile::Value>();
    deleted::Copy copy;
    if (CommandSettings().copies) {
        try {
            std::vector<deleted::Doomed> doomed;
            for (const regfile::Value &value : values)
                doomed.push_back({name->root, name->path, value.name});
            if (!allValues)
                doomed.push_back({name->root, name->path, valueName});
            copy.Add(doomed);
        } catch (const deleted::CopyError &error) {
            return console.Warn(error.what());
        }
        if (!copy.File().empty())
            console.Copied(copy.File());
    }
    // One call family for each name: names are WTF-8, for the W functions.
    if (valueName) {
        if (RegDeleteValueW(key.get(), Wide(*valueName).c_str()) != ERROR_SUCCESS)
            return console.Fail(kDenied);
    } else if (allValues) {
        for (const regfile::Value &value : values)
            if (RegDeleteValueW(key.get(), Wide(value.name).c_str()) != ERROR_SUCCESS)
                return console.Fail(kDenied);
    } else if (regfile::DeleteTree(name->root, name->path) != ERROR_SUCCESS) {
        return console.Fail(kDenied);
    }
    console.Changed(allValues ? values.size() : 1);
    return Done(console);
}

} // namespace reg
