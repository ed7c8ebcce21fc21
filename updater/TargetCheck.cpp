#include "TargetCheck.h"

#include "GsFile.h"
#include "TargetVersion.h"
#include "UpdatePaths.h"

#include <windows.h>

#include <cstring>

namespace
{

bool IsFile(const char* path)
{
    const DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// Opening without any sharing fails exactly when some other handle is open on the file (a
// running program's image included), which is what would make the replacement fail later.
bool IsHeldByAnother(const char* path)
{
    HANDLE file =
        CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE)
    {
        CloseHandle(file);
        return false;
    }
    const DWORD error = GetLastError();
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

int CheckFile(const char* path)
{
    if (IsHeldByAnother(path))
    {
        return TARGET_IN_USE;
    }
    CGsFile file;
    if (!file.Open(path, GS_FILE_READ | GS_FILE_BINARY))
    {
        return TARGET_WRONG_FILE;
    }
    int verdict = CheckTargetVersion(path);
    if (verdict == UPDATE_ELIGIBLE && file.GetSize() != UPDATE_TARGET_SIZE)
    {
        verdict = UPDATE_WRONG_FILE;
    }
    file.Close();
    return verdict;
}

} // namespace

int CheckTarget(const char* path)
{
    if (path == nullptr || path[0] == '\0' ||
        std::strlen(path) >= static_cast<std::size_t>(UPDATE_PATH_SIZE))
    {
        return TARGET_WRONG_FILE;
    }
    if (GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES &&
        GetLastError() == ERROR_FILE_NOT_FOUND)
    {
        char backup[UPDATE_PATH_SIZE];
        const int verdict =
            MakeBackupPath(path, backup) && IsFile(backup) ? CheckFile(backup) : TARGET_WRONG_FILE;
        return verdict == TARGET_ELIGIBLE || verdict == TARGET_IN_USE ? verdict : TARGET_WRONG_FILE;
    }
    return CheckFile(path);
}

int IsTargetOffered(const char* path)
{
    if (path == nullptr || std::strlen(path) >= static_cast<std::size_t>(UPDATE_PATH_SIZE))
    {
        return 0;
    }
    char backup[UPDATE_PATH_SIZE];
    return IsFile(path) || (GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES &&
                            MakeBackupPath(path, backup) && IsFile(backup));
}
