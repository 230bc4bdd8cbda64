#include "support/ReportCheck.h"

#include "support/Files.h"
#include "support/Process.h"

#include <stdexcept>

std::string reportSchemaFaults(const std::string &file)
{
    const ProcessResult check = runProcess({"python3", RAVELIN_REPORT_CHECKER, RAVELIN_REPORT_SCHEMA, file});
    if (check.status == 0) {
        return "";
    }
    return check.out + check.err + "(status " + std::to_string(check.status) + ")";
}

nlohmann::json readReport(const std::string &file)
{
    try {
        return nlohmann::json::parse(readFile(file), nullptr, false);
    } catch (const std::runtime_error &) {
        return nlohmann::json::value_t::discarded;
    }
}
