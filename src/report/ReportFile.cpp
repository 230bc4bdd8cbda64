#include "ReportFile.h"

#include <cstdio>

#include "WholeFile.h"

bool ReportFile_CanWrite(const std::string &path, std::string &error)
{
    return WholeFile_CanWrite(path, error);
}

bool ReportFile::write(RunReport &report)
{
    report.ended = reportTimeNow();
    std::string error;
    if (WholeFile_Write(path_, formatRunReport(report), error)) {
        return true;
    }
    if (report.complete) {
        fprintf(stderr, "ERROR: the report \"%s\" was not written: %s\n", path_.c_str(), error.c_str());
    } else if (!warned_) {
        fprintf(stderr, "WARNING: the report \"%s\" could not be brought up to date: %s\n", path_.c_str(),
                error.c_str());
    }
    warned_ = true;
    return false;
}
