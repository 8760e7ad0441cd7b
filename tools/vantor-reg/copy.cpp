// copy KEY1 KEY2 [/s] [/f]
#include "reg.h"

namespace reg {

namespace {

// A key's values and, when wanted, its subkeys: read whole before anything is
// written, so a copy into the source's own subtree ends.
struct Tree {
    std::string name; // below its parent (the top one is the destination)
    std::vector<regfile::Value> values;
    std::vector<Tree> subkeys;
};

// `shown` names the key that is read.
Tree ReadTree(HKEY key, const std::string &name, const std::string &shown, bool recurse)
{
    Tree tree{name, regfile::ValuesOf(key), {}};
    if (recurse)
        regfile::EachSubkey(key, shown, [&](HKEY sub, const std::string &subName) {
            tree.subkeys.push_back(ReadTree(sub, subName, shown + "\\" + subName, true));
        });
    return tree;
}

struct Copier {
    Console &console;
    bool overwriteAll;
    Answer refusal = Answer::Yes; // set when a question ends the copy

    // Writes the tree into `key`; `sourcePath` is the source key's path below
    // its root, as the question shows it.
    bool Write(HKEY key, const Tree &tree, const std::string &sourcePath)
    {
        for (const regfile::Value &value : tree.values) {
            if (!overwriteAll && ValueExists(key, value.name)) {
                const Answer answer = console.Ask("The value '" + sourcePath + "\\" + Shown(value.name) + "' already "
                                                  "exists in the destination key. Do you want to overwrite it?", true);
                if (answer == Answer::No)
                    continue;
                if (answer == Answer::EndOfInput) {
                    refusal = answer;
                    return false;
                }
                overwriteAll = answer == Answer::All;
            }
            if (RegSetValueExW(key, Wide(value.name).c_str(), 0, value.type,
                               reinterpret_cast<const BYTE *>(value.data.data()),
                               static_cast<DWORD>(value.data.size())) != ERROR_SUCCESS)
                return false;
        }
        for (const Tree &sub : tree.subkeys) {
            HKEY created = nullptr;
            if (RegCreateKeyExW(key, Wide(sub.name).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &created,
                                nullptr) != ERROR_SUCCESS)
                return false;
            const OwnedKey subkey(created);
            if (!Write(subkey.get(), sub, sourcePath + "\\" + sub.name))
                return false;
        }
        return true;
    }
};

} // namespace

int Copy(Console &console, const Arguments &args)
{
    const std::optional<Switches> switches = ParseSwitches(args, 2, {"s", "f"}, {});
    if (!switches)
        return console.Fail(SyntaxError("copy"));
    const std::optional<KeyName> from = ParseKey(args[1]);
    const std::optional<KeyName> to = ParseKey(args[2]);
    if (args[2].starts_with('/') || args[2].starts_with('-'))
        return console.Fail("reg: Invalid registry key");
    if (!from || !to)
        return console.Fail(kBadKey);
    if (from->root == to->root && regfile::SameLetters(from->path, to->path))
        return console.Fail("reg: The source and destination keys cannot be the same");
    LSTATUS status = ERROR_SUCCESS;
    const OwnedKey source(Open(*from, KEY_READ, &status));
    if (!source)
        return console.Fail(Unopened(status));
    const Tree tree = ReadTree(source.get(), "", from->shown, switches->contains("s"));
    HKEY created = nullptr;
    if (RegCreateKeyExA(to->root, to->path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &created, nullptr) !=
        ERROR_SUCCESS)
        return console.Fail(kDenied);
    const OwnedKey destination(created);
    Copier copier{console, switches->contains("f")};
    if (copier.Write(destination.get(), tree, from->path))
        return Saved(console, 0);
    return copier.refusal == Answer::Yes ? console.Fail(kDenied) : console.Refused(copier.refusal);
}

} // namespace reg
