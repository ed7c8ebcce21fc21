#pragma once

#include <windows.h>

#include <string>
#include <vector>

// The updater tests' helpers: the build's programs and releases, files, links and resources.
namespace updtest
{

std::string OldRelease();     // the old sample release (eligible, 2,048,000 bytes)
std::string NewRelease();     // the new sample release (already updated)
std::string UpdaterProgram(); // the updater of this build
std::string VersionCarrier(); // a small program without resources
std::string PlantedLibrary(); // a DLL that does nothing, to plant under system DLL names
int PayloadIsTheSample();     // 1 unless the build was given a publisher's release

int WriteAll(const std::string& path, const std::string& content);
int CopyTo(const std::string& from, const std::string& to);
std::vector<std::string> ListFolder(const std::string& folder); // the names in it, sorted
std::vector<unsigned char> BuiltPayload(); // the payload resource as the build made it

// A link `link` to `target` (paths without blanks) as a program without rights plants one:
// under wine the host's symbolic link (made by its ln) stands for a junction. 1 when there.
int PlantLink(const std::string& target, const std::string& link);
// Removes folders that hold links (a scratch folder's removal would follow them). 1: gone.
int RemoveWithLinks(const std::vector<std::string>& folders);

// A program file loaded for its resources only.
class DataModule
{
public:
    explicit DataModule(const std::string& path);
    ~DataModule() { FreeLibrary(module); }
    DataModule(const DataModule&) = delete;
    DataModule& operator=(const DataModule&) = delete;
    HMODULE Get() const { return module; }

private:
    HMODULE module;
};

struct Resource
{
    const char* type; // MAKEINTRESOURCEA value or a name such as "BIN"
    const char* name;
    WORD language;
    std::vector<unsigned char> data;
};
// Writes `resources` into the program file `path`, first removing all when `removeExisting`.
int WriteResources(const std::string& path, const std::vector<Resource>& resources,
                   bool removeExisting);

} // namespace updtest
