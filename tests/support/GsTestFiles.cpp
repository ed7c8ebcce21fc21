#include "GsTestFiles.h"

#include <windows.h>

#include <cstdio>

namespace gstest
{
namespace
{

// Start of the last path component: backslashes are found character by character, since in
// a double-byte code page the second byte of a character may be 0x5C.
std::string::size_type LastSeparator(const std::string& path)
{
    std::string::size_type last = std::string::npos;
    for (const char* p = path.c_str(); *p != '\0'; p = CharNextA(p))
    {
        if (*p == '\\')
            last = static_cast<std::string::size_type>(p - path.c_str());
    }
    return last;
}

// Removes a folder and everything in it. 1 on success.
int RemoveTree(const std::string& folder)
{
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE)
    {
        do
        {
            const std::string name = found.cFileName;
            if (name == "." || name == "..")
                continue;
            const std::string child = folder + "\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(child);
            else
            {
                SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileA(child.c_str());
            }
        } while (FindNextFileA(find, &found));
        FindClose(find);
    }
    return RemoveDirectoryA(folder.c_str()) ? 1 : 0;
}

} // namespace

std::string ToWindowsPath(const char* path)
{
    std::string result = path[0] == '/' ? std::string("Z:") + path : std::string(path);
    for (char& c : result)
    {
        if (c == '/')
            c = '\\';
    }
    return result;
}

std::string GetOwnDirectory()
{
    char name[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, name, MAX_PATH);
    std::string path = name;
    const auto separator = LastSeparator(path);
    return separator == std::string::npos ? std::string() : path.substr(0, separator);
}

ScratchFolder::ScratchFolder(const char* tag)
{
    static int counter = 0;
    char temp[MAX_PATH] = {};
    if (GetTempPathA(MAX_PATH, temp) == 0)
        return;
    char name[MAX_PATH] = {};
    std::snprintf(name, sizeof name, "%sgs_%s_%lu_%d", temp, tag, GetCurrentProcessId(), ++counter);
    RemoveTree(name);
    if (CreateDirectoryA(name, nullptr))
        path = name;
}

ScratchFolder::~ScratchFolder()
{
    if (!path.empty())
        RemoveTree(path);
}

std::string ScratchFolder::MakeFolder(const std::string& relative) const
{
    if (path.empty())
        return std::string();
    std::string full = path + "\\" + relative;
    // Each level in turn, splitting on whole characters only.
    for (const char* p = full.c_str() + path.size() + 1;; p = CharNextA(p))
    {
        if (*p == '\\' || *p == '\0')
        {
            const std::string level = full.substr(0, static_cast<std::size_t>(p - full.c_str()));
            if (!CreateDirectoryA(level.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
                return std::string();
            if (*p == '\0')
                break;
        }
    }
    return full;
}

std::string ReadWholeFile(const std::string& file, int* ok)
{
    std::string content;
    std::FILE* stream = std::fopen(file.c_str(), "rb");
    if (ok != nullptr)
        *ok = stream != nullptr ? 1 : 0;
    if (stream == nullptr)
        return content;
    char buffer[4096];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, stream)) > 0)
        content.append(buffer, got);
    std::fclose(stream);
    return content;
}

} // namespace gstest
