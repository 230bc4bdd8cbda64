// A fresh directory for one test, open to its owner only, removed with
// everything in it when the object goes. It is made with std::filesystem in
// the system's temporary folder, so that the tests of every target of the
// project (the Windows build under Wine too) use it.
#ifndef SUPPORT_TEMP_DIR_H
#define SUPPORT_TEMP_DIR_H

#include <cstddef>
#include <string>

class TempDir {
public:
    // Throws std::runtime_error when no directory can be made.
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    const std::string &path() const { return path_; }
    // `name` inside the directory.
    std::string file(const std::string &name) const;
    bool isEmpty() const { return entryCount() == 0; }
    std::size_t entryCount() const;

private:
    std::string path_;
};

#endif
