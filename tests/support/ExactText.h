// Test helpers shared by the module tests.
//
// ExactText holds a text in a heap block of exactly its length plus the NUL,
// so that AddressSanitizer reports any read past the NUL of the text under
// test. ScratchDir is a fresh directory for one test, removed with its
// content when the object goes; it uses std::filesystem so that the tests
// build for every target of the project.
#ifndef SUPPORT_EXACT_TEXT_H
#define SUPPORT_EXACT_TEXT_H

#include <filesystem>
#include <memory>
#include <string>

class ExactText {
public:
    explicit ExactText(const std::string &text);
    char *get() const { return bytes_.get(); }
    std::string bytes() const { return std::string(bytes_.get(), size_ + 1); }

private:
    size_t size_;
    std::unique_ptr<char[]> bytes_;
};

class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir &) = delete;
    ScratchDir &operator=(const ScratchDir &) = delete;

    std::string file(const std::string &name) const { return (path_ / name).string(); }
    bool isEmpty() const { return std::filesystem::is_empty(path_); }
    std::size_t entryCount() const
    {
        std::size_t count = 0;
        for (auto it = std::filesystem::directory_iterator(path_); it != std::filesystem::directory_iterator(); ++it)
            ++count;
        return count;
    }

private:
    std::filesystem::path path_;
};

#endif
