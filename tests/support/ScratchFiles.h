// What tests and benchmarks that work on files share: a folder of their own,
// and a file's whole text.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

// A new, empty folder, removed with all it holds when the object goes.
class TempDir {
public:
    explicit TempDir(const std::string &label = "vantor-test",
                     const std::filesystem::path &parent = std::filesystem::temp_directory_path())
    {
        std::string pattern = (parent / (label + ".XXXXXX")).string();
        if (!mkdtemp(pattern.data()))
            throw std::runtime_error("cannot make a folder " + pattern);
        path_ = pattern;
    }
    ~TempDir()
    {
        namespace fs = std::filesystem;
        std::error_code ignored;
        // A test may have taken the write permission from the folder.
        fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(path_, ignored);
    }
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    const std::string &path() const { return path_; }
    std::string file(const std::string &name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// The file's bytes; empty when it cannot be read.
inline std::string readFile(const std::string &path)
{
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

inline void writeFile(const std::string &path, const std::string &text)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}
