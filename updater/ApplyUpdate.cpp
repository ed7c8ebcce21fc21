#include "ApplyUpdate.h"

#include "GsAppFrame.h"
#include "GsMessageBox.h"
#include "PayloadContainer.h"
#include "UpdaterResources.h"

#include <cstring>
#include <string>

namespace
{

constexpr char FAILURE_TEXT[] = "アップデートファイルが作成できませんでした";
constexpr char FAILURE_CAPTION[] = "Error";
constexpr char PAYLOAD_TYPE[] = "BIN";
constexpr char TEMPORARY_PREFIX[] = "upd";
// Written in pieces so that a failing disk is noticed early and a test can stop the process
// part way through.
constexpr DWORD WRITE_CHUNK = 64 * 1024;

UpdateStepHook g_pUpdateStepHook = nullptr;

void ReachStep(int step)
{
    if (g_pUpdateStepHook != nullptr)
    {
        g_pUpdateStepHook(step);
    }
}

// A file handle closed on every path. Close reports whether closing worked, which for a
// written file is part of whether the write worked.
class FileHandle
{
public:
    explicit FileHandle(HANDLE opened) : handle(opened) {}
    ~FileHandle() { Close(); }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    bool IsOpen() const { return handle != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return handle; }
    bool Close()
    {
        if (handle == INVALID_HANDLE_VALUE)
        {
            return true;
        }
        const BOOL closed = CloseHandle(handle);
        handle = INVALID_HANDLE_VALUE;
        return closed != FALSE;
    }

private:
    HANDLE handle;
};

bool FileExists(const char* path)
{
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

long long FileSizeOnDisk(const char* path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path, GetFileExInfoStandard, &data))
    {
        return -1;
    }
    return static_cast<long long>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
}

// The folder of `path` with its trailing backslash, as GetTempFileNameA wants it: "." for a
// bare name, the drive for "C:name". The scan goes character by character, since the second
// byte of a double-byte character may be 0x5C.
std::string FolderOf(const char* path)
{
    const char* afterLast = nullptr;
    for (const char* p = path; *p != '\0'; ++p)
    {
        if (IsDBCSLeadByte(static_cast<BYTE>(*p)) && p[1] != '\0')
        {
            ++p;
        }
        else if (*p == '\\')
        {
            afterLast = p + 1;
        }
    }
    if (afterLast != nullptr)
    {
        return std::string(path, static_cast<std::size_t>(afterLast - path));
    }
    if (path[0] != '\0' && path[1] == ':')
    {
        return std::string(path, 2);
    }
    return ".";
}

// Writes the whole content to `path`, flushes it to the disk and closes it; 1 only when every
// step worked and the file on disk has exactly `size` bytes.
int WriteCompleteFile(const char* path, const unsigned char* content, std::size_t size)
{
    FileHandle file(CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsOpen())
    {
        return 0;
    }
    std::size_t written = 0;
    while (written < size)
    {
        const std::size_t left = size - written;
        const DWORD chunk = left < WRITE_CHUNK ? static_cast<DWORD>(left) : WRITE_CHUNK;
        DWORD done = 0;
        if (!WriteFile(file.Get(), content + written, chunk, &done, nullptr) || done == 0)
        {
            return 0;
        }
        if (written == 0)
        {
            ReachStep(UPDATE_STEP_NEW_FILE_PARTIAL);
        }
        written += done;
    }
    LARGE_INTEGER length;
    if (!FlushFileBuffers(file.Get()) || !GetFileSizeEx(file.Get(), &length) ||
        static_cast<unsigned long long>(length.QuadPart) != size || !file.Close())
    {
        return 0;
    }
    return FileSizeOnDisk(path) == static_cast<long long>(size) ? 1 : 0;
}

// Makes the backup name free: 1 when no file carries it (any older backup deleted).
int FreeBackupName(const char* backupPath)
{
    if (!FileExists(backupPath))
    {
        return 1;
    }
    DeleteFileA(backupPath);
    // The result of the delete is not trusted: some file systems report success for a file
    // they keep.
    if (FileExists(backupPath))
    {
        return 0;
    }
    ReachStep(UPDATE_STEP_OLD_BACKUP_DELETED);
    return 1;
}

// Fails, as MoveFileA does, when `to` exists; returns only once the rename is on the disk.
bool Rename(const char* from, const char* to)
{
    return MoveFileExA(from, to, MOVEFILE_WRITE_THROUGH) != FALSE;
}

} // namespace

int MakeBackupPath(const char* targetPath, char* backupPath)
{
    if (backupPath == nullptr)
    {
        return 0;
    }
    backupPath[0] = '\0';
    if (targetPath == nullptr)
    {
        return 0;
    }
    const std::size_t length = std::strlen(targetPath);
    if (length <= 3 || length >= static_cast<std::size_t>(UPDATE_PATH_SIZE))
    {
        return 0;
    }
    std::memcpy(backupPath, targetPath, length - 3);
    std::memcpy(backupPath + length - 3, "bak", 4);
    return 1;
}

int ReplaceExecutable(const char* targetPath, const unsigned char* content, std::size_t size)
{
    if (targetPath == nullptr || content == nullptr || size == 0 ||
        std::strlen(targetPath) >= static_cast<std::size_t>(UPDATE_PATH_SIZE))
    {
        return 0;
    }
    // The new file is made complete beside the target first: the same volume, so that putting
    // it in place is a rename.
    const std::string folder = FolderOf(targetPath);
    char temporaryPath[UPDATE_PATH_SIZE] = {};
    if (folder.size() >= static_cast<std::size_t>(UPDATE_PATH_SIZE) ||
        !GetTempFileNameA(folder.c_str(), TEMPORARY_PREFIX, 0, temporaryPath))
    {
        return 0;
    }
    if (!WriteCompleteFile(temporaryPath, content, size))
    {
        DeleteFileA(temporaryPath);
        return 0;
    }
    ReachStep(UPDATE_STEP_NEW_FILE_WRITTEN);

    char backupPath[UPDATE_PATH_SIZE];
    // A target already ending in "bak" is its own backup name: deleting "the older backup"
    // would delete the target itself.
    if (MakeBackupPath(targetPath, backupPath) && lstrcmpiA(backupPath, targetPath) != 0 &&
        FreeBackupName(backupPath) && Rename(targetPath, backupPath))
    {
        ReachStep(UPDATE_STEP_TARGET_MOVED);
        if (Rename(temporaryPath, targetPath))
        {
            ReachStep(UPDATE_STEP_REPLACED);
            return 1;
        }
        Rename(backupPath, targetPath);
        DeleteFileA(temporaryPath);
        return 0;
    }
    // No backup: the target is replaced in one step, or not at all.
    if (MoveFileExA(temporaryPath, targetPath, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    {
        ReachStep(UPDATE_STEP_REPLACED);
        return 1;
    }
    DeleteFileA(temporaryPath);
    return 0;
}

int LoadPayload(HMODULE module, std::vector<unsigned char>& executable)
{
    executable.clear();
    HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(IDR_PAYLOAD), PAYLOAD_TYPE);
    if (resource == nullptr)
    {
        return 0;
    }
    const DWORD size = SizeofResource(module, resource);
    HGLOBAL loaded = LoadResource(module, resource);
    const void* data = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (data == nullptr || size == 0)
    {
        return 0;
    }
    // The resource stays as it is in the image; the container is read from a copy.
    const auto* first = static_cast<const unsigned char*>(data);
    const std::vector<unsigned char> copy(first, first + size);
    return ExpandPayload(copy.data(), copy.size(), executable) == PAYLOAD_OK ? 1 : 0;
}

int ApplyUpdateFrom(HMODULE module, const char* targetPath, HWND owner)
{
    int result = 0;
    if (targetPath != nullptr &&
        std::strlen(targetPath) < static_cast<std::size_t>(UPDATE_PATH_SIZE))
    {
        std::vector<unsigned char> executable;
        if (LoadPayload(module, executable))
        {
            result = ReplaceExecutable(targetPath, executable.data(), executable.size());
        }
    }
    if (!result)
    {
        GsMessageBox(owner, FAILURE_TEXT, FAILURE_CAPTION, MB_OK | MB_ICONERROR);
    }
    return result;
}

int ApplyUpdate(const char* targetPath, HWND owner)
{
    HMODULE module = g_pAppFrame != nullptr ? g_pAppFrame->instance : nullptr;
    if (module == nullptr)
    {
        GsMessageBox(owner, FAILURE_TEXT, FAILURE_CAPTION, MB_OK | MB_ICONERROR);
        return 0;
    }
    return ApplyUpdateFrom(module, targetPath, owner);
}

UpdateStepHook SetUpdateStepHook(UpdateStepHook hook)
{
    const UpdateStepHook before = g_pUpdateStepHook;
    g_pUpdateStepHook = hook;
    return before;
}
