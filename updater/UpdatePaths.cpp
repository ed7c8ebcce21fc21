#include "UpdatePaths.h"

#include <windows.h>

#include <cstring>

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
    paths.hasBackup = MakeBackupPath(targetPath, paths.backup) != 0;
    if (paths.hasBackup)
    {
        MakeSiblingPath(targetPath, TEMPORARY_SUFFIX, paths.temporary);
        MakeSiblingPath(targetPath, SET_ASIDE_SUFFIX, paths.setAside);
        return !SameName(targetPath, paths.backup) && !SameName(targetPath, paths.temporary) &&
               !SameName(targetPath, paths.setAside);
    }
    std::strcpy(paths.temporary, targetPath);
    std::strcat(paths.temporary, SHORT_TEMPORARY_TAIL);
    return 1;
}
