// Where a run's report goes (--report FILE): the file is written whole each
// time (WholeFile: a new file beside the name, renamed into place, never
// through a link nor over anything but a regular file), at the run's start,
// as the run goes, and at its end. A run ended from outside, by a signal it
// could not catch, leaves the report as of its last writing, marked
// incomplete.
#ifndef REPORT_FILE_H
#define REPORT_FILE_H

#include <string>

#include "RunReport.h"

// Before the run touches any port: whether the report can be written at
// `path`. False with the reason.
bool ReportFile_CanWrite(const std::string &path, std::string &error);

class ReportFile {
public:
    explicit ReportFile(const std::string &path) : path_(path) {}

    // Writes `report` as it stands, with `ended` set to now. A failure is
    // told once on stderr as a warning while the run goes on; once the
    // report is complete, as an error. False when it was not written.
    bool write(RunReport &report);

private:
    std::string path_;
    bool warned_ = false;
};

#endif
