#include "UpdaterTestSupport.h"

#include "GsTestFiles.h"
#include "GsTestProcess.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>

namespace
{

// Runs the host's `tool` (the host root is Z:) with an option and Windows paths as host paths,
// and waits until `done` holds (wine gives no handle of a host process). 1 when it held.
int RunOnHost(const char* tool, const char* option, const std::vector<std::string>& paths,
              const std::function<bool()>& done)
{
    using UnixName = char*(CDECL*)(const wchar_t*);
    const auto unixName = reinterpret_cast<UnixName>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    // Host paths are UTF-8, which only the wide form of the command line carries.
    std::wstring arguments(option, option + std::strlen(option));
    for (const std::string& path : paths)
    {
        wchar_t wide[MAX_PATH], hostWide[MAX_PATH];
        char* host = nullptr;
        if (unixName == nullptr ||
            !MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH) ||
            (host = unixName(wide)) == nullptr)
            return 0;
        const int converted = MultiByteToWideChar(CP_UTF8, 0, host, -1, hostWide, MAX_PATH);
        HeapFree(GetProcessHeap(), 0, host);
        if (!converted)
            return 0;
        arguments += std::wstring(L" ") + hostWide;
    }
    gstest::TestProcess process;
    std::wstring program = L"Z:\\bin\\";
    program.append(tool, tool + std::strlen(tool));
    if (!process.Start(program, arguments, L""))
        return 0;
    for (DWORD waited = 0; waited < gstest::STEP_TIMEOUT_MS; waited += 20)
    {
        if (done())
            return 1;
        Sleep(20);
    }
    return 0;
}

} // namespace

namespace updtest
{

// clang-format off
std::string OldRelease() { return gstest::ToWindowsPath(GS_OLD_RELEASE); }
std::string NewRelease() { return gstest::ToWindowsPath(GS_NEW_SAMPLE_RELEASE); }
std::string UpdaterProgram() { return gstest::ToWindowsPath(GS_UPDATER_PROGRAM); }
std::string VersionCarrier() { return gstest::ToWindowsPath(GS_VERSION_CARRIER); }
std::string PlantedLibrary() { return gstest::ToWindowsPath(GS_PLANTED_LIBRARY); }
int PayloadIsTheSample() { return GS_PAYLOAD_IS_SAMPLE; }
// clang-format on

int CopyTo(const std::string& from, const std::string& to)
{
    return CopyFileA(from.c_str(), to.c_str(), FALSE) ? 1 : 0;
}

DataModule::DataModule(const std::string& path)
    : module(LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE))
{
}

int WriteAll(const std::string& path, const std::string& content)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    const bool written =
        file != nullptr && std::fwrite(content.data(), 1, content.size(), file) == content.size();
    return file != nullptr && std::fclose(file) == 0 && written ? 1 : 0;
}

std::vector<std::string> ListFolder(const std::string& folder)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &found);
    for (BOOL more = find != INVALID_HANDLE_VALUE; more; more = FindNextFileA(find, &found))
        if (std::string(".") != found.cFileName && std::string("..") != found.cFileName)
            names.push_back(found.cFileName);
    FindClose(find);
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<unsigned char> BuiltPayload()
{
    const std::string content = gstest::ReadWholeFile(gstest::ToWindowsPath(GS_PAYLOAD_FILE));
    return std::vector<unsigned char>(content.begin(), content.end());
}

int WriteResources(const std::string& path, const std::vector<Resource>& resources,
                   bool removeExisting)
{
    HANDLE update = BeginUpdateResourceA(path.c_str(), removeExisting ? TRUE : FALSE);
    bool written = update != nullptr;
    for (const Resource& resource : resources)
        written =
            written && UpdateResourceA(update, resource.type, resource.name, resource.language,
                                       const_cast<unsigned char*>(resource.data.data()),
                                       static_cast<DWORD>(resource.data.size()));
    return update != nullptr && EndUpdateResourceA(update, !written) && written ? 1 : 0;
}

int PlantLink(const std::string& target, const std::string& link)
{
    return RunOnHost("ln", "-s", {target, link},
                     [&] { return GetFileAttributesA(link.c_str()) != INVALID_FILE_ATTRIBUTES; });
}

int RemoveWithLinks(const std::vector<std::string>& folders)
{
    return RunOnHost("rm", "-rf", folders,
                     [&]
                     {
                         for (const std::string& folder : folders)
                             if (GetFileAttributesA(folder.c_str()) != INVALID_FILE_ATTRIBUTES)
                                 return false;
                         return true;
                     });
}

} // namespace updtest
