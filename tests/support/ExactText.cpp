#include "support/ExactText.h"

#include <cstring>
#include <random>
#include <stdexcept>

// Out of line, so that the compiler does not see the block's size at the
// call sites: a caller's guarded read of the second character of a 1-byte
// text would otherwise draw a false -Warray-bounds.
ExactText::ExactText(const std::string &text) : size_(text.size()), bytes_(new char[text.size() + 1])
{
    memcpy(bytes_.get(), text.c_str(), text.size() + 1);
}

ScratchDir::ScratchDir()
{
    std::random_device seed;
    std::mt19937_64 random(seed());
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::filesystem::path candidate = base / ("ravelin-modules-" + std::to_string(random()));
        if (std::filesystem::create_directory(candidate)) {
            path_ = candidate;
            return;
        }
    }
    throw std::runtime_error("no scratch directory could be made under " + base.string());
}

ScratchDir::~ScratchDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}
