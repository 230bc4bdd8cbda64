#include "support/ExactText.h"

#include <cstring>

// Out of line, so that the compiler does not see the block's size at the
// call sites: a caller's guarded read of the second character of a 1-byte
// text would otherwise draw a false -Warray-bounds.
ExactText::ExactText(const std::string &text) : size_(text.size()), bytes_(new char[text.size() + 1])
{
    memcpy(bytes_.get(), text.c_str(), text.size() + 1);
}
