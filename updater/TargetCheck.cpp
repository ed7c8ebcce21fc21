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

TargetHoldProbe g_pHoldProbe = nullptr;

bool IsRefused(const char* path, DWORD access, DWORD share)
{
    HANDLE file = CreateFileA(path, access, share, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file != INVALID_HANDLE_VALUE)
    {
        CloseHandle(file);
        return false;
    }
    const DWORD error = GetLastError();
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

// Opening without any sharing fails when some other handle is open on the file, which is what
// would make the replacement fail later.
int IsOpenElsewhere(const char* path)
{
    return IsRefused(path, GENERIC_READ, 0) ? 1 : 0;
}

// A running program's file: Windows lets it be read without write sharing (the loader keeps
// no handle open, so the probe above passes), but an image mapped for execution refuses to be
// opened for writing, whatever sharing is offered, with a sharing violation. A scanner's
// brief hold offers write sharing and passes here. Told at once: a running program does not
// let go while the step waits.
bool IsRunningImage(const char* path)
{
    return IsRefused(path, FILE_WRITE_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
}

bool IsHeldByAnother(const char* path)
{
    const TargetHoldProbe probe = g_pHoldProbe != nullptr ? g_pHoldProbe : IsOpenElsewhere;
    return probe(path) != 0 || IsRunningImage(path);
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

TargetHoldProbe SetTargetHoldProbe(TargetHoldProbe probe)
{
    const TargetHoldProbe before = g_pHoldProbe;
    g_pHoldProbe = probe;
    return before;
}
