#include "support/TempDir.h"

#include <filesystem>
#include <random>
#include <stdexcept>
#include <system_error>

namespace fs = std::filesystem;

// create_directory reports a name that exists already as not made, so that a
// name another process took at the same moment is passed over, as mkdtemp
// would. The short suffix keeps the paths that tests print readable.
TempDir::TempDir()
{
    static const char kNameCharacters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device seed;
    std::mt19937_64 random(seed());
    std::uniform_int_distribution<std::size_t> pick(0, sizeof kNameCharacters - 2);
    std::error_code error;
    const fs::path base = fs::temp_directory_path(error);
    if (error)
        throw std::runtime_error("no temporary folder: " + error.message());
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = "ravelin-test-";
        for (int i = 0; i < 6; ++i)
            name += kNameCharacters[pick(random)];
        const fs::path candidate = base / name;
        if (fs::create_directory(candidate, error)) {
            fs::permissions(candidate, fs::perms::owner_all, fs::perm_options::replace, error);
            path_ = candidate.string();
            return;
        }
        if (error)
            break;
    }
    throw std::runtime_error("no temporary directory could be made under " + base.string() +
                             (error ? ": " + error.message() : ""));
}

TempDir::~TempDir()
{
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

std::string TempDir::file(const std::string &name) const { return (fs::path(path_) / name).string(); }

std::size_t TempDir::entryCount() const
{
    std::size_t count = 0;
    for (auto it = fs::directory_iterator(path_); it != fs::directory_iterator(); ++it)
        ++count;
    return count;
}
