// The run reports that tests make, checked against the schema shipped in
// docs/ by Python's jsonschema, and read back.
#ifndef SUPPORT_REPORT_CHECK_H
#define SUPPORT_REPORT_CHECK_H

#include <nlohmann/json.hpp>

#include <string>

// What the schema finds wrong with the report file, one line a fault;
// empty when it is valid.
std::string reportSchemaFaults(const std::string &file);

// The report file as JSON; a discarded value when it is missing or does
// not parse.
nlohmann::json readReport(const std::string &file);

#endif
