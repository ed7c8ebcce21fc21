#pragma once

#include <string>

namespace gstest
{

// A path handed over by the build (a host path such as /work/build/x.exe) as the program sees
// it: under wine the host root is drive Z:. Windows paths pass unchanged (slashes turned).
std::string ToWindowsPath(const char* path);

// The folder of this test program's executable, without a trailing backslash.
std::string GetOwnDirectory();

// A fresh folder under the temporary folder for one test, removed with all its content by
// the destructor. Not copyable.
class ScratchFolder
{
public:
    // `tag` (ASCII) makes the folder's name recognisable; the process id and a counter make
    // it unique.
    explicit ScratchFolder(const char* tag);
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    // The folder, without a trailing backslash; empty when it could not be made.
    const std::string& GetPath() const { return path; }
    // Makes `relative` (ANSI, backslash-separated, may be nested) under the folder and
    // returns its full path; empty on failure.
    std::string MakeFolder(const std::string& relative) const;

private:
    std::string path;
};

// The whole content of a file, or "" when it cannot be read (*ok, when given, tells which).
std::string ReadWholeFile(const std::string& file, int* ok = nullptr);

} // namespace gstest
