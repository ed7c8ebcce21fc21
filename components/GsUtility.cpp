#include "GsUtility.h"

#include "GsPathText.h"
#include "GsRegistry.h"

#include <commdlg.h>
#include <shlobj.h>

#include <cstddef>
#include <cstdio>
#include <cstring>

char g_szBrowseSelection[MAX_PATH];

#if !defined(_WIN64)
// The shipped 32-bit product: the record sizes the system expects there.
static_assert(offsetof(OPENFILENAMEA, lpTemplateName) + sizeof(LPCSTR) == 76,
              "the Open-File record without the Windows 2000 fields is 76 bytes");
static_assert(sizeof(MEMORYSTATUS) == 32, "the memory record is 32 bytes");
#endif

namespace
{

const char kCurrentVersionKey[] = "Software\\Microsoft\\Windows\\CurrentVersion";
const char kShellFoldersKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

// The shell's allocator, released at the end of the scope. Item lists from the shell are freed
// through it.
class ShellAllocator
{
public:
    ShellAllocator()
    {
        if (FAILED(SHGetMalloc(&allocator)))
        {
            allocator = nullptr;
        }
    }
    ~ShellAllocator()
    {
        if (allocator != nullptr)
        {
            allocator->Release();
        }
    }
    ShellAllocator(const ShellAllocator&) = delete;
    ShellAllocator& operator=(const ShellAllocator&) = delete;

    IMalloc* Get() const { return allocator; }

private:
    IMalloc* allocator = nullptr;
};

// An item list owned for a scope and freed through the shell's allocator.
class ItemList
{
public:
    ItemList(IMalloc* owner, LPITEMIDLIST owned) : allocator(owner), list(owned) {}
    ~ItemList()
    {
        if (list != nullptr && allocator != nullptr)
        {
            allocator->Free(list);
        }
    }
    ItemList(const ItemList&) = delete;
    ItemList& operator=(const ItemList&) = delete;

private:
    IMalloc* allocator;
    LPITEMIDLIST list;
};

// Sets an error mode for a scope and puts the previous one back on every way out.
class ErrorModeScope
{
public:
    explicit ErrorModeScope(UINT mode) : previous(SetErrorMode(mode)) {}
    ~ErrorModeScope() { SetErrorMode(previous); }
    ErrorModeScope(const ErrorModeScope&) = delete;
    ErrorModeScope& operator=(const ErrorModeScope&) = delete;

private:
    UINT previous;
};

// Reads a text value through a local registry object. Success needs both the read and a
// non-empty text, so a failed or partial read never passes for a path; the first byte is 0 on
// failure. The key is opened for reading only: these values are readable by every user, also
// under HKEY_LOCAL_MACHINE, which a program that is not elevated may not open for writing.
int ReadFolderValue(HKEY root, const char* subKey, const char* valueName, char* buffer, int size)
{
    buffer[0] = '\0';
    CGsRegistry registry;
    if (registry.OpenKeyToRead(root, subKey) &&
        registry.GetString(valueName, buffer, size, nullptr) && buffer[0] != '\0')
    {
        return 1;
    }
    buffer[0] = '\0';
    return 0;
}

// The two directory calls report the length written, or the size needed (terminator included)
// when the buffer is too small; only the first is a success.
int DirectoryResult(UINT length, int size)
{
    return length > 0 && length < static_cast<UINT>(size) ? 1 : 0;
}

// Whether `text` begins with `prefix`, ASCII letters in either case.
bool StartsWith(const char* text, const char* prefix)
{
    for (; *prefix != '\0'; ++text, ++prefix)
    {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; };
        if (lower(*text) != lower(*prefix))
        {
            return false;
        }
    }
    return true;
}

// A function of kernel32 that older systems lack, or null. Through the generic function type,
// which converts to any other without a warning.
template <typename Function> Function FindKernelFunction(const char* name)
{
    const HMODULE kernel = GetModuleHandleA("kernel32.dll");
    const FARPROC found = kernel != nullptr ? GetProcAddress(kernel, name) : nullptr;
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(found));
}

bool IsPlainByte(const char* position)
{
    return GsNextChar(position) == position + 1;
}

int ShowFileDialog(bool save, HWND owner, char* path, char* fileTitle, char* directory,
                   const char* filter, const char* defaultExtension)
{
    OPENFILENAMEA dialog;
    std::memset(&dialog, 0, sizeof(dialog));
    // The form without the fields added in Windows 2000, as the platform defines its size.
    dialog.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = filter;
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = path;
    dialog.nMaxFile = MAX_PATH;
    dialog.lpstrFileTitle = fileTitle;
    dialog.nMaxFileTitle = MAX_PATH;
    dialog.lpstrInitialDir = directory;
    dialog.lpstrDefExt = defaultExtension;
    dialog.Flags = save ? (OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY)
                        : (OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY);
    const BOOL chosen = save ? GetSaveFileNameA(&dialog) : GetOpenFileNameA(&dialog);
    if (!chosen)
    {
        return 0;
    }
    if (directory != nullptr)
    {
        lstrcpyA(directory, path);
        // A backslash at offset 0 is left alone: cutting there would leave no folder at all.
        char* separator = GsFindLastBackslash(directory);
        if (separator != nullptr && separator != directory)
        {
            *separator = '\0';
        }
    }
    return 1;
}

bool CanOpen(const std::string& path)
{
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
    {
        return false;
    }
    std::fclose(file);
    return true;
}

} // namespace

int CALLBACK BrowseCallbackProc(HWND window, UINT message, LPARAM, LPARAM)
{
    if (message == BFFM_INITIALIZED)
    {
        SendMessageA(window, BFFM_SETSELECTIONA, TRUE,
                     reinterpret_cast<LPARAM>(g_szBrowseSelection));
    }
    return 0;
}

int FormatOSVersionText(const OSVERSIONINFOA& info, char* text)
{
    if (text == nullptr)
    {
        return 1;
    }
    // The record may come from anywhere: never read its service-pack text past the field.
    char csd[sizeof(info.szCSDVersion)];
    std::memcpy(csd, info.szCSDVersion, sizeof(csd));
    csd[sizeof(csd) - 1] = '\0';
    const int major = static_cast<int>(info.dwMajorVersion);
    const int minor = static_cast<int>(info.dwMinorVersion);
    switch (info.dwPlatformId)
    {
    case VER_PLATFORM_WIN32_WINDOWS:
        if (minor == 0)
        {
            wsprintfA(text, "Windows95 %d.%d %s", major, minor, csd);
        }
        else if (minor == 90)
        {
            wsprintfA(text, "WindowsMe %d.%d %s", major, minor, csd);
        }
        else
        {
            wsprintfA(text, "Windows98 %d.%d %s", major, minor, csd);
        }
        break;
    case VER_PLATFORM_WIN32_NT:
        if (major == 5 && minor == 1)
        {
            wsprintfA(text, "WindowsXP %s (NT:%d.%d)", csd, 5, minor);
        }
        else if (major == 5)
        {
            wsprintfA(text, "Windows2000 %s (NT:%d.%d)", csd, 5, minor);
        }
        else
        {
            wsprintfA(text, "WindowsNT %d.%d %s", major, minor, csd);
        }
        break;
    default:
        lstrcpyA(text, "Unknown OS Version");
        break;
    }
    return 1;
}

std::string GsDriveRoot(const char* path)
{
    char root[MAX_PATH];
    GsCopyText(root, path, sizeof(root));
    // A drive's root ends at the first backslash after the first character, a share's at the
    // one after its name (\\server\share\). A long path's prefix (\\?\, \\?\UNC\, \\.\) stands
    // before the same forms.
    std::size_t from = 1;
    int levels = 1;
    if (StartsWith(root, "\\\\?\\UNC\\"))
    {
        from = 8;
        levels = 2;
    }
    else if (StartsWith(root, "\\\\?\\") || StartsWith(root, "\\\\.\\"))
    {
        from = 5;
    }
    else if (StartsWith(root, "\\\\"))
    {
        from = 2;
        levels = 2;
    }
    // Offsets up to 258, so that the terminator still fits after the backslash.
    const std::size_t limit = sizeof(root) - 1;
    for (int level = 0; level < levels; ++level)
    {
        const char* separator = GsFindBackslash(root, from, limit);
        if (separator == nullptr)
        {
            // A share named without its final backslash, which the system needs in a root.
            const std::size_t length = std::strlen(root);
            if (level == 1 && length > from && length + 1 < limit)
            {
                root[length] = '\\';
                root[length + 1] = '\0';
            }
            return root;
        }
        from = static_cast<std::size_t>(separator - root) + 1;
    }
    root[from] = '\0';
    return root;
}

std::string GsVolumeRoot(const char* path)
{
    // The volume's own mount point: a folder where another volume is mounted is a root of its
    // own. The full path first, since a relative one would give the boot volume.
    // Looked up at run time: Windows 95, 98, Me and NT 4 do not have it.
    using VolumePathName = BOOL(WINAPI*)(LPCSTR, LPSTR, DWORD);
    const auto volumePathName = FindKernelFunction<VolumePathName>("GetVolumePathNameA");
    char full[MAX_PATH];
    char root[MAX_PATH];
    const DWORD length = GetFullPathNameA(path, sizeof(full), full, nullptr);
    if (volumePathName == nullptr || length == 0 || length >= sizeof(full) ||
        !volumePathName(full, root, sizeof(root) - 1))
    {
        return GsDriveRoot(path);
    }
    // The system's roots end in a backslash; wine leaves it off a mount point named itself.
    root[sizeof(root) - 1] = '\0';
    const char* last = GsFindLastBackslash(root);
    std::string volume = root;
    if (last == nullptr || last[1] != '\0')
    {
        volume += '\\';
    }
    return volume;
}

int CGsUtility::GetProgramFilesDir(char* buffer, int size)
{
    if (buffer == nullptr || size < 1)
    {
        return 0;
    }
    if (ReadFolderValue(HKEY_LOCAL_MACHINE, kCurrentVersionKey, "ProgramFilesDir", buffer, size))
    {
        return 1;
    }
    if (!DirectoryResult(GetWindowsDirectoryA(buffer, static_cast<UINT>(size)), size))
    {
        buffer[0] = '\0';
    }
    return 0;
}

int CGsUtility::GetDesktopDir(char* buffer, int size)
{
    if (buffer == nullptr || size < 1)
    {
        return 0;
    }
    return ReadFolderValue(HKEY_CURRENT_USER, kShellFoldersKey, "Desktop", buffer, size);
}

int CGsUtility::GetWindowsDir(char* buffer, int size)
{
    if (buffer == nullptr || size < 1)
    {
        return 0;
    }
    return DirectoryResult(GetWindowsDirectoryA(buffer, static_cast<UINT>(size)), size);
}

int CGsUtility::GetTempDir(char* buffer, int size)
{
    if (buffer == nullptr || size < 1)
    {
        return 0;
    }
    return DirectoryResult(GetTempPathA(static_cast<DWORD>(size), buffer), size);
}

int CGsUtility::GetProgramsDir(HWND owner, char* buffer, int size)
{
    if (buffer == nullptr || size < 1)
    {
        return 0;
    }
    // The shell writes up to MAX_PATH bytes, so it converts into a buffer of that size and the
    // caller's gets the text only when it fits.
    char shellPath[MAX_PATH] = {};
    BOOL converted = FALSE;
    {
        ShellAllocator allocator;
        LPITEMIDLIST programs = nullptr;
        if (SUCCEEDED(SHGetSpecialFolderLocation(owner, CSIDL_PROGRAMS, &programs)))
        {
            ItemList owned(allocator.Get(), programs);
            converted = SHGetPathFromIDListA(programs, shellPath);
        }
    }
    if (converted && shellPath[0] != '\0' && GsCopyText(buffer, shellPath, size))
    {
        return 1;
    }
    return ReadFolderValue(HKEY_CURRENT_USER, kShellFoldersKey, "Programs", buffer, size);
}

int CGsUtility::ExtractFileName(const char* path, char* name)
{
    if (path == nullptr || name == nullptr)
    {
        return 1;
    }
    const char* separator = GsFindLastBackslash(path);
    lstrcpyA(name, separator != nullptr ? separator + 1 : path);
    return 1;
}

int CGsUtility::ExtractDirectory(const char* path, char* directory)
{
    if (path == nullptr || directory == nullptr)
    {
        return 1;
    }
    const char* separator = GsFindLastBackslash(path);
    const std::size_t length =
        separator != nullptr ? static_cast<std::size_t>(separator - path) : 0;
    // memmove: the caller may pass the path's own buffer.
    std::memmove(directory, path, length);
    directory[length] = '\0';
    return 1;
}

// Plain comparisons rather than the C library's classification: only ASCII letters change,
// whatever locale the process runs in.
int CGsUtility::MakeUpper(char* text)
{
    if (text == nullptr)
    {
        return 1;
    }
    for (char* p = text; *p != '\0'; p += GsNextChar(p) - p)
    {
        if (IsPlainByte(p) && *p >= 'a' && *p <= 'z')
        {
            *p = static_cast<char>(*p - 'a' + 'A');
        }
    }
    return 1;
}

int CGsUtility::MakeLower(char* text)
{
    if (text == nullptr)
    {
        return 1;
    }
    for (char* p = text; *p != '\0'; p += GsNextChar(p) - p)
    {
        if (IsPlainByte(p) && *p >= 'A' && *p <= 'Z')
        {
            *p = static_cast<char>(*p - 'A' + 'a');
        }
    }
    return 1;
}

int CGsUtility::GetFreeDiskSpace(const char* path, ULONGLONG* freeBytes)
{
    if (path == nullptr || freeBytes == nullptr)
    {
        return 0;
    }
    const std::string root = GsVolumeRoot(path);
    // Looked up at run time: the first releases of Windows 95 do not have it.
    using FreeSpaceEx = BOOL(WINAPI*)(LPCSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER);
    const auto freeSpaceEx = FindKernelFunction<FreeSpaceEx>("GetDiskFreeSpaceExA");
    if (freeSpaceEx != nullptr)
    {
        ULARGE_INTEGER available;
        ULARGE_INTEGER total;
        ULARGE_INTEGER totalFree;
        if (!freeSpaceEx(root.c_str(), &available, &total, &totalFree))
        {
            return 0;
        }
        *freeBytes = totalFree.QuadPart;
        return 1;
    }
    DWORD sectorsPerCluster = 0;
    DWORD bytesPerSector = 0;
    DWORD freeClusters = 0;
    DWORD totalClusters = 0;
    if (!GetDiskFreeSpaceA(root.c_str(), &sectorsPerCluster, &bytesPerSector, &freeClusters,
                           &totalClusters))
    {
        return 0;
    }
    *freeBytes = static_cast<ULONGLONG>(sectorsPerCluster) * bytesPerSector * freeClusters;
    return 1;
}

int CGsUtility::IsFixedDrive(const char* path)
{
    if (path == nullptr)
    {
        return 0;
    }
    return GetDriveTypeA(GsVolumeRoot(path).c_str()) == DRIVE_FIXED ? 1 : 0;
}

int CGsUtility::GetOSVersionText(char* text)
{
    OSVERSIONINFOA info;
    std::memset(&info, 0, sizeof(info));
    info.dwOSVersionInfoSize = sizeof(info);
    GetVersionExA(&info);
    return FormatOSVersionText(info, text);
}

int CGsUtility::IsWindowsNT()
{
    OSVERSIONINFOA info;
    std::memset(&info, 0, sizeof(info));
    info.dwOSVersionInfoSize = sizeof(info);
    GetVersionExA(&info);
    return info.dwPlatformId == VER_PLATFORM_WIN32_NT ? 1 : 0;
}

void CGsUtility::GetMemoryStatus(MEMORYSTATUS* status)
{
    if (status == nullptr)
    {
        return;
    }
    status->dwLength = sizeof(MEMORYSTATUS);
    GlobalMemoryStatus(status);
}

SIZE_T CGsUtility::GetTotalPhysicalMemory()
{
    MEMORYSTATUS status;
    std::memset(&status, 0, sizeof(status));
    GetMemoryStatus(&status);
    return status.dwTotalPhys;
}

SIZE_T CGsUtility::GetAvailablePhysicalMemory()
{
    MEMORYSTATUS status;
    std::memset(&status, 0, sizeof(status));
    GetMemoryStatus(&status);
    return status.dwAvailPhys;
}

int CGsUtility::QueryComputerName(char* buffer, int size)
{
    if (buffer == nullptr || size < 1)
    {
        return 0;
    }
    DWORD length = static_cast<DWORD>(size);
    return GetComputerNameA(buffer, &length) ? 1 : 0;
}

int CGsUtility::QueryUserName(char* buffer, int size)
{
    if (buffer == nullptr || size < 1)
    {
        return 0;
    }
    DWORD length = static_cast<DWORD>(size);
    return GetUserNameA(buffer, &length) ? 1 : 0;
}

BOOL CGsUtility::SetWallpaper(const char* imagePath)
{
    // The system takes the path through a non-const pointer but only reads it.
    return SystemParametersInfoA(SPI_SETDESKWALLPAPER, 0, const_cast<char*>(imagePath),
                                 SPIF_UPDATEINIFILE | SPIF_SENDWININICHANGE);
}

int CGsUtility::SaveFileDialog(HWND owner, char* path, char* fileTitle, char* directory,
                               const char* filter, const char* defaultExtension)
{
    return ShowFileDialog(true, owner, path, fileTitle, directory, filter, defaultExtension);
}

int CGsUtility::OpenFileDialog(HWND owner, char* path, char* fileTitle, char* directory,
                               const char* filter, const char* defaultExtension)
{
    return ShowFileDialog(false, owner, path, fileTitle, directory, filter, defaultExtension);
}

int CGsUtility::BrowseFolderDialog(HWND owner, char* path, const char* title,
                                   const char* initialSelection)
{
    ShellAllocator allocator;
    if (allocator.Get() == nullptr)
    {
        return 0;
    }
    BROWSEINFOA info;
    std::memset(&info, 0, sizeof(info));
    info.hwndOwner = owner;
    info.lpszTitle = title;
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_DONTGOBELOWDOMAIN;
    if (initialSelection != nullptr)
    {
        // Cut to whole characters and always terminated, however long the selection is.
        GsCopyText(g_szBrowseSelection, initialSelection, sizeof(g_szBrowseSelection));
        info.lpfn = BrowseCallbackProc;
    }
    const LPITEMIDLIST chosen = SHBrowseForFolderA(&info);
    if (chosen == nullptr)
    {
        return 0;
    }
    ItemList owned(allocator.Get(), chosen);
    if (path != nullptr)
    {
        SHGetPathFromIDListA(chosen, path);
    }
    return 1;
}

int CGsUtility::FilesExist(const char* fileName, const char* secondFileName, const char* folder)
{
    if (fileName == nullptr || folder == nullptr)
    {
        return 0;
    }
    if (!CanOpen(std::string(folder) + fileName))
    {
        return 0;
    }
    if (secondFileName != nullptr && !CanOpen(std::string(folder) + secondFileName))
    {
        return 0;
    }
    return 1;
}

int CGsUtility::FindCdRomDrive(const char* fileName, const char* secondFileName, std::string& drive)
{
    drive.clear();
    char roots[512] = {};
    // One byte short of the buffer: the last byte stays 0, so the walk ends inside it.
    if (GetLogicalDriveStringsA(sizeof(roots) - 1, roots) == 0)
    {
        return 0;
    }
    // An empty drive must not bring up the system's "insert a disk" box.
    ErrorModeScope quiet(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    for (const char* root = roots; *root != '\0'; root += std::strlen(root) + 1)
    {
        // Through the table, so that a derived utility's FilesExist is the one asked.
        if (GetDriveTypeA(root) == DRIVE_CDROM && FilesExist(fileName, secondFileName, root))
        {
            drive = root;
            break;
        }
    }
    return drive.empty() ? 0 : 1;
}

int CGsUtility::CreateDirectoryPath(const char* path)
{
    if (path == nullptr)
    {
        return 1;
    }
    char level[MAX_PATH];
    for (const char* p = path;; p = GsNextChar(p))
    {
        const std::size_t offset = static_cast<std::size_t>(p - path);
        // A level ending here or later cannot fit the buffer: nothing deeper can be created.
        if (offset >= sizeof(level))
        {
            break;
        }
        const bool end = *p == '\0';
        // The backslash of a drive root (C:\) and a leading one end no level.
        const bool separator = *p == '\\' && offset > 0 && path[offset - 1] != ':';
        if ((end || separator) && offset > 0)
        {
            std::memcpy(level, path, offset);
            level[offset] = '\0';
            CreateDirectoryA(level, nullptr);
        }
        if (end)
        {
            break;
        }
    }
    return 1;
}
