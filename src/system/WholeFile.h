// A file that a run writes whole under a name its user chose, as the run
// report is: the text goes to a new file beside the name (created new, so
// never through a link), reaches the disk, and then takes the name in one
// step, so that a reader sees the old file or the new one, never a part.
// A name that holds anything but a regular file (a link, a FIFO, a folder,
// a device) is left as it is: the write fails instead.
#ifndef WHOLE_FILE_H
#define WHOLE_FILE_H

#include <string>

// Whether `path` could be written so now: its name holds nothing or a
// regular file, and a new file can be made beside it. False with the reason.
bool WholeFile_CanWrite(const std::string &path, std::string &error);

// Writes `text` as above. False with the reason; whatever had the name is
// then left as it was, and the new file is removed.
bool WholeFile_Write(const std::string &path, const std::string &text, std::string &error);

#endif
