#include "UpdatePaths.h"

#include <windows.h>

#include <cstring>
#include <initializer_list>

namespace
{

constexpr char BACKUP_SUFFIX[] = "bak";
constexpr char TEMPORARY_SUFFIX[] = "new";
constexpr char SET_ASIDE_SUFFIX[] = "old";
// A path too short for a name beside it gets its temporary name by appending.
constexpr char SHORT_TEMPORARY_TAIL[] = ".new";

// Where the character that holds byte `index` of `text` starts: scanning from the front is
// the only way to tell a trail byte from a lead byte in a double-byte code page.
std::size_t CharacterStart(const char* text, std::size_t index)
{
    std::size_t start = 0;
    while (start < index)
    {
        const std::size_t width =
            IsDBCSLeadByte(static_cast<BYTE>(text[start])) && text[start + 1] != '\0' ? 2 : 1;
        if (start + width > index)
        {
            break;
        }
        start += width;
    }
    return start;
}

bool SameName(const char* a, const char* b)
{
    return lstrcmpiA(a, b) == 0;
}

// The name the system opens for `targetPath`, into `fullPath` (UPDATE_PATH_SIZE bytes): the
// full path, whose last name has lost the dots and blanks at its end that the system ignores
// ("Larkspurgleam.bak." opens Larkspurgleam.bak), in its long form where the file exists (a
// short name such as LARKSP~1.BAK opens it too). The names beside the target are built from
// this text, so that the checks against them see what the system will touch. Worked out in
// wide characters and converted back without best fit: the ANSI functions would hand back a
// long name the code page cannot carry in its best-fit form, which names another file.
bool MakeFullPath(const char* targetPath, char* fullPath)
{
    wchar_t given[MAX_PATH];
    wchar_t full[MAX_PATH];
    wchar_t longForm[MAX_PATH];
    if (MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, targetPath, -1, given, MAX_PATH) == 0)
    {
        return false;
    }
    const DWORD length = GetFullPathNameW(given, MAX_PATH, full, nullptr);
    if (length == 0 || length >= MAX_PATH)
    {
        return false;
    }
    const DWORD longLength = GetLongPathNameW(full, longForm, MAX_PATH);
    for (const wchar_t* form : {longForm, full})
    {
        if (form == longForm && (longLength == 0 || longLength >= MAX_PATH))
        {
            continue;
        }
        BOOL usedDefault = FALSE;
        if (WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, form, -1, fullPath, UPDATE_PATH_SIZE,
                                nullptr, &usedDefault) != 0 &&
            !usedDefault)
        {
            return true;
        }
    }
    fullPath[0] = '\0';
    return false;
}

} // namespace

int MakeSiblingPath(const char* targetPath, const char* suffix, char* siblingPath)
{
    if (siblingPath == nullptr)
    {
        return 0;
    }
    siblingPath[0] = '\0';
    if (targetPath == nullptr || suffix == nullptr || std::strlen(suffix) != 3)
    {
        return 0;
    }
    const std::size_t length = std::strlen(targetPath);
    if (length <= 3 || length >= static_cast<std::size_t>(UPDATE_PATH_SIZE))
    {
        return 0;
    }
    const std::size_t keep = CharacterStart(targetPath, length - 3);
    std::memcpy(siblingPath, targetPath, keep);
    std::memcpy(siblingPath + keep, suffix, 4);
    return 1;
}

int MakeBackupPath(const char* targetPath, char* backupPath)
{
    return MakeSiblingPath(targetPath, BACKUP_SUFFIX, backupPath);
}

int MakeUpdatePaths(const char* targetPath, UpdatePaths& paths)
{
    paths = UpdatePaths{};
    if (targetPath == nullptr || targetPath[0] == '\0' ||
        std::strlen(targetPath) >= static_cast<std::size_t>(UPDATE_PATH_SIZE))
    {
        return 0;
    }
    if (std::strlen(targetPath) <= 3)
    {
        // Too short for a name beside it: no backup, and a temporary name by appending.
        std::strcpy(paths.target, targetPath);
        std::strcpy(paths.temporary, targetPath);
        std::strcat(paths.temporary, SHORT_TEMPORARY_TAIL);
        return 1;
    }
    if (!MakeFullPath(targetPath, paths.target))
    {
        return 0;
    }
    const char* fullPath = paths.target;
    paths.hasBackup = MakeBackupPath(fullPath, paths.backup) != 0;
    MakeSiblingPath(fullPath, TEMPORARY_SUFFIX, paths.temporary);
    MakeSiblingPath(fullPath, SET_ASIDE_SUFFIX, paths.setAside);
    return paths.hasBackup && !SameName(fullPath, paths.backup) &&
                   !SameName(fullPath, paths.temporary) && !SameName(fullPath, paths.setAside)
               ? 1
               : 0;
}
