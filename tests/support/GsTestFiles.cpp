#include "GsTestFiles.h"

#include <windows.h>

#include <shlobj.h>

#include <algorithm>
#include <fstream>
#include <iterator>

namespace gstest
{
namespace
{

void RemoveTree(const std::string& folder)
{
    const std::string from = folder + '\0'; // a list of one name
    SHFILEOPSTRUCTA operation = {};
    operation.wFunc = FO_DELETE;
    operation.pFrom = from.c_str();
    operation.fFlags = FOF_NO_UI;
    SHFileOperationA(&operation);
}

} // namespace

std::string ToWindowsPath(const char* path)
{
    std::string result = path[0] == '/' ? std::string("Z:") + path : std::string(path);
    std::replace(result.begin(), result.end(), '/', '\\');
    return result;
}

ScratchFolder::ScratchFolder(const char* tag)
{
    static int counter = 0;
    char temp[MAX_PATH] = {};
    const std::string name = std::string(temp, GetTempPathA(MAX_PATH, temp)) + "gs_" + tag + "_" +
                             std::to_string(GetCurrentProcessId()) + "_" +
                             std::to_string(++counter);
    RemoveTree(name);
    if (temp[0] != '\0' && CreateDirectoryA(name.c_str(), nullptr))
        path = name;
}

ScratchFolder::~ScratchFolder()
{
    if (!path.empty())
        RemoveTree(path);
}

std::string ScratchFolder::MakeFolder(const std::string& relative) const
{
    const std::string full = path + "\\" + relative;
    const int made = path.empty() ? -1 : SHCreateDirectoryExA(nullptr, full.c_str(), nullptr);
    return made == ERROR_SUCCESS || made == ERROR_ALREADY_EXISTS ? full : std::string();
}

std::string ReadWholeFile(const std::string& file, int* ok)
{
    // In one read: byte by byte, a 2 MB release takes a part of a second under emulation.
    std::ifstream stream(file, std::ios::binary | std::ios::ate);
    if (ok != nullptr)
        *ok = stream ? 1 : 0;
    std::string content(stream ? static_cast<std::size_t>(stream.tellg()) : 0, '\0');
    stream.seekg(0);
    stream.read(content.data(), static_cast<std::streamsize>(content.size()));
    return content;
}

int Resize(const std::string& path, long long size)
{
    const HANDLE file =
        CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0, nullptr);
    LARGE_INTEGER position;
    position.QuadPart = size;
    const BOOL done = SetFilePointerEx(file, position, nullptr, FILE_BEGIN) && SetEndOfFile(file);
    CloseHandle(file);
    return done ? 1 : 0;
}

} // namespace gstest
