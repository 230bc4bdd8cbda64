#include "RackTries.h"

bool rackTriesAgain(const ProgressEvent &last)
{
    switch (last.result) {
    case ProgressResult::Failed:
        return !last.notSupported;
    case ProgressResult::NotConfirmed:
    case ProgressResult::NotVerified:
        return true;
    default:
        return false;
    }
}

std::string rackTryNote(int attempt)
{
    if (attempt <= 1) {
        return "";
    }
    const int lastDigit = attempt % 10;
    const bool teen = attempt % 100 >= 11 && attempt % 100 <= 13;
    const char *suffix = teen ? "th" : lastDigit == 1 ? "st" : lastDigit == 2 ? "nd" : lastDigit == 3 ? "rd" : "th";
    return " (" + std::to_string(attempt) + suffix + " try)";
}
