// A fresh directory under /tmp for one test, removed with everything in it
// when the object goes.
#ifndef SUPPORT_TEMP_DIR_H
#define SUPPORT_TEMP_DIR_H

#include <string>

class TempDir {
public:
    // Throws std::runtime_error when no directory can be made.
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    const std::string &path() const { return path_; }
    // path() + "/" + name
    std::string file(const std::string &name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

#endif
