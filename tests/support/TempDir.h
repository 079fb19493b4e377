// A private directory under $TMPDIR (or /tmp), removed with everything in it at the end.
#pragma once
#include <string>

namespace testsupport {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    const std::string &path() const { return path_; }
    std::string file(const std::string &name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Whole contents of a file ("" when it cannot be read).
std::string readFile(const std::string &path);
bool writeFile(const std::string &path, const std::string &bytes);

} // namespace testsupport
