// A text in a heap block of exactly its length plus the NUL, so that
// AddressSanitizer reports any read past the NUL of the text under test.
#ifndef SUPPORT_EXACT_TEXT_H
#define SUPPORT_EXACT_TEXT_H

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

#endif
