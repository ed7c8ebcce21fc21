#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

// Helpers shared by the updater's tests: the programs and releases of the build, whole-file
// access, version resources made to measure, and a recorder for the program's message boxes.
namespace updtest
{

// Built files, as the Windows side sees them.
std::string OldRelease();      // the old sample release (eligible, 2,048,000 bytes)
std::string NewRelease();      // the new sample release (already updated)
std::string UpdaterProgram();  // the updater of this build
std::string VersionCarrier();  // a small program without resources
std::string StepRunner();      // runs the update step, stopping at a given step
std::string PlantedLibrary();  // a DLL that does nothing, to plant under system DLL names
std::string ProductBuildDir(); // the 32-bit product's build tree
// 1 when the payload is the new sample release (no publisher's release was configured).
int PayloadIsTheSample();

std::string ReadAll(const std::string& path, int* ok = nullptr);
int WriteAll(const std::string& path, const std::string& content);
int CopyTo(const std::string& from, const std::string& to);
int Exists(const std::string& path);
// Truncates or extends (with zeros) the file to `size` bytes.
int Resize(const std::string& path, long long size);
// The names of the files and folders in `folder`, sorted.
std::vector<std::string> ListFolder(const std::string& folder);

// A program file loaded for its resources only; freed by the destructor.
class DataModule
{
public:
    explicit DataModule(const std::string& path);
    ~DataModule();
    DataModule(const DataModule&) = delete;
    DataModule& operator=(const DataModule&) = delete;
    HMODULE Get() const { return module; }

private:
    HMODULE module;
};

// The payload resource as the build made it.
std::vector<unsigned char> BuiltPayload();

// One resource to write into a program file.
struct Resource
{
    const char* type; // MAKEINTRESOURCEA value or a name such as "BIN"
    const char* name; // MAKEINTRESOURCEA value or a name
    WORD language;
    std::vector<unsigned char> data;
};
// Writes `resources` into the program file `path`, after removing all its resources when
// `removeExisting`. 1 on success.
int WriteResources(const std::string& path, const std::vector<Resource>& resources,
                   bool removeExisting);

// A VS_VERSIONINFO block made to measure: string tables under any keys, any Translation
// entries, or parts left out.
class VersionResource
{
public:
    using Values = std::vector<std::pair<std::wstring, std::wstring>>;

    // Adds a string table; `key` is the eight hexadecimal digits "llllcccc".
    VersionResource& Table(const std::wstring& key, const Values& values);
    // Adds a Translation entry: language in the low 16 bits, code page in the high.
    VersionResource& Translation(WORD language, WORD codePage);
    // Leaves the VarFileInfo block (and so the Translation value) out.
    VersionResource& WithoutVarFileInfo();

    std::vector<unsigned char> Build() const;

private:
    std::vector<std::pair<std::wstring, Values>> tables;
    std::vector<DWORD> translations;
    bool varFileInfo = true;
};

// The four values of a release, for VersionResource::Table.
VersionResource::Values ReleaseValues(const std::wstring& description, const std::wstring& version,
                                      const std::wstring& productName,
                                      const std::wstring& specialBuild);

// Copies the version carrier to `path` and gives it `version` (language 1041) as its only
// resource. 1 on success.
int MakeVersionedFile(const std::string& path, const VersionResource& version);

// What the program showed through GsMessageBox while a recorder was installed.
struct ShownBox
{
    HWND owner;
    std::string text;
    std::string caption;
    UINT style;
};

// Puts a recorder in place of the system's message box for its lifetime: every box is
// recorded and answered with IDOK at once.
class MessageBoxRecorder
{
public:
    MessageBoxRecorder();
    ~MessageBoxRecorder();
    MessageBoxRecorder(const MessageBoxRecorder&) = delete;
    MessageBoxRecorder& operator=(const MessageBoxRecorder&) = delete;

    const std::vector<ShownBox>& Boxes() const;
};

} // namespace updtest
