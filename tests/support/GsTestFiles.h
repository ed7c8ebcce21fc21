#pragma once

#include <string>

namespace gstest
{

// A host path handed over by the build (/work/x.exe) as the program sees it: under wine the
// host root is drive Z:. Windows paths pass unchanged (slashes turned).
std::string ToWindowsPath(const char* path);

// A fresh folder under the temporary folder, removed with all its content by the destructor.
class ScratchFolder
{
public:
    explicit ScratchFolder(const char* tag); // ASCII, to recognise the folder by
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    // Without a trailing backslash; empty when the folder could not be made.
    const std::string& GetPath() const { return path; }
    // Makes `relative` (may be nested) under the folder: its full path, empty on failure.
    std::string MakeFolder(const std::string& relative) const;

private:
    std::string path;
};

// The whole content of a file, "" when it cannot be read (*ok, when given, tells which).
std::string ReadWholeFile(const std::string& file, int* ok = nullptr);
// Truncates or pads with zeros (sparse) the file `path`, made when missing. 1 when done.
int Resize(const std::string& path, long long size);

} // namespace gstest
