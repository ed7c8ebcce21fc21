#include "ApplyUpdate.h"

#include "GsAppFrame.h"
#include "GsMessageBox.h"

#include <algorithm>
#include <vector>

namespace
{

constexpr char FAILURE_TEXT[] = "アップデートファイルが作成できませんでした";
constexpr char FAILURE_CAPTION[] = "Error";
// Written in pieces so that a failing disk is noticed early and a test can stop the process
// part way through.
constexpr DWORD WRITE_CHUNK = 64 * 1024;

// An on-access virus scanner opens every new executable as soon as it is closed, for a moment,
// without delete sharing; renaming or removing the file fails meanwhile. The step runs on the
// dialog's thread and must not pump messages (OK would be re-entered), and Windows calls a
// window "not responding" after about 5 s without them: so all pauses of one step together stay
// within 3 s. The attempts between them are quick next to that.
constexpr DWORD LOCK_WAIT_BUDGET_MS = 3000;
constexpr DWORD LOCK_WAIT_FIRST_PAUSE_MS = 50;
constexpr DWORD LOCK_WAIT_LONGEST_PAUSE_MS = 800;

UpdateStepHook g_pUpdateStepHook = nullptr;
bool g_bUseLinks = true;

void ReachStep(int step)
{
    if (g_pUpdateStepHook != nullptr)
    {
        g_pUpdateStepHook(step);
    }
}

DWORD Outcome(bool done)
{
    return done ? ERROR_SUCCESS : GetLastError();
}

// Repeats an operation on a file this step has just written while another program holds that
// file for a moment, within one budget for the whole step. Only for such files: a file another
// program holds for its own use would not let go soon, and is refused at once.
class LockWait
{
public:
    // `attempt` returns ERROR_SUCCESS or the error it failed with; true once it succeeds.
    template <typename Attempt> bool Retry(Attempt attempt)
    {
        for (DWORD pause = LOCK_WAIT_FIRST_PAUSE_MS;;
             pause = std::min(2 * pause, LOCK_WAIT_LONGEST_PAUSE_MS))
        {
            const DWORD error = attempt();
            if (error == ERROR_SUCCESS)
            {
                return true;
            }
            if ((error != ERROR_SHARING_VIOLATION && error != ERROR_LOCK_VIOLATION &&
                 error != ERROR_ACCESS_DENIED) ||
                left == 0)
            {
                return false;
            }
            const DWORD wait = std::min(pause, left);
            left -= wait;
            ReachStep(UPDATE_STEP_PAUSED_FOR_LOCK);
            Sleep(wait);
        }
    }

private:
    DWORD left = LOCK_WAIT_BUDGET_MS;
};

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

bool Exists(const char* path)
{
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

bool IsFolder(const char* path)
{
    const DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Deletes a file of our own making, read-only or not; a folder of that name is never
// touched. The result of DeleteFileA is not trusted: some file systems report success for a
// file they keep. ERROR_SUCCESS when no file of that name is left, else why.
DWORD DeleteOwnFile(const char* path)
{
    const DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES)
    {
        return ERROR_SUCCESS;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
    {
        return ERROR_DIRECTORY;
    }
    SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
    if (!DeleteFileA(path))
    {
        return GetLastError();
    }
    return Exists(path) ? ERROR_FILE_EXISTS : ERROR_SUCCESS;
}

bool Discard(const char* path)
{
    return DeleteOwnFile(path) == ERROR_SUCCESS;
}

// Fails, as MoveFileA does, when `to` exists; returns only once the rename is on the disk.
bool Rename(const char* from, const char* to)
{
    return MoveFileExA(from, to, MOVEFILE_WRITE_THROUGH) != FALSE;
}

bool RenameOver(const char* from, const char* to)
{
    return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}

// Writes the whole content to `path`, flushes it to the disk and closes it, then reads it
// back: 1 only when the file on disk has exactly the content's digest.
int WriteVerifiedFile(const char* path, const unsigned char* content, std::size_t size,
                      const PayloadDigest& digest, LockWait& wait)
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
    if (!FlushFileBuffers(file.Get()) || !file.Close())
    {
        return 0;
    }
    ReachStep(UPDATE_STEP_NEW_FILE_WRITTEN);
    PayloadDigest onDisk;
    const bool readBack = wait.Retry([&] { return Outcome(DigestOfFile(path, onDisk)); });
    return readBack && onDisk == digest ? 1 : 0;
}

// Whether the target can lose its name now. Sharing and the read-only attribute belong to
// the file, not to a name: while another program holds the target without delete sharing, or
// while it is read-only, neither the replacement nor the removal of a second name would work,
// so no link is made.
bool MayBeReplaced(const char* target)
{
    const DWORD attributes = GetFileAttributesA(target);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_READONLY) != 0)
    {
        return false;
    }
    HANDLE file =
        CreateFileA(target, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
    {
        return false;
    }
    CloseHandle(file);
    return true;
}

// Puts the verified new file at the target and the target at the backup name, which is free.
// With hard links the target path never goes empty: the backup becomes a second name of the
// target, then the new file replaces the target in one rename. Without them (or when the
// target refuses to be replaced in place, as a read-only file does), two renames, the old
// executable safe under the backup name in between. On failure the target is as it was.
bool PutInPlace(const char* target, const UpdatePaths& paths, LockWait& wait)
{
    if (g_bUseLinks && MayBeReplaced(target) && CreateHardLinkA(paths.backup, target, nullptr))
    {
        ReachStep(UPDATE_STEP_BACKUP_LINKED);
        if (wait.Retry([&] { return Outcome(RenameOver(paths.temporary, target)); }))
        {
            ReachStep(UPDATE_STEP_REPLACED);
            return true;
        }
        // Only a second name goes: the target keeps the old content.
        if (!DeleteFileA(paths.backup))
        {
            return false;
        }
    }
    if (Rename(target, paths.backup))
    {
        ReachStep(UPDATE_STEP_TARGET_MOVED);
        if (wait.Retry([&] { return Outcome(Rename(paths.temporary, target)); }))
        {
            ReachStep(UPDATE_STEP_REPLACED);
            return true;
        }
        Rename(paths.backup, target);
    }
    return false;
}

// Takes back what an interrupted run left: its temporary file, and an older backup it had
// set aside (back to the backup name when that is free; otherwise the backup there is newer
// and the set-aside one is superseded).
bool TidyInterruptedRun(const UpdatePaths& paths)
{
    if (!Discard(paths.temporary))
    {
        return false;
    }
    if (!paths.hasBackup || !Exists(paths.setAside))
    {
        return true;
    }
    if (Exists(paths.backup))
    {
        return Discard(paths.setAside);
    }
    return Rename(paths.setAside, paths.backup);
}

int ReplaceWithBackup(const char* target, const UpdatePaths& paths, LockWait& wait)
{
    if (!Exists(target))
    {
        // An interrupted run already moved the old executable to the backup name.
        if (Exists(paths.backup) &&
            wait.Retry([&] { return Outcome(Rename(paths.temporary, target)); }))
        {
            ReachStep(UPDATE_STEP_REPLACED);
            return 1;
        }
        return 0;
    }
    const bool setAside = Exists(paths.backup);
    if (setAside)
    {
        if (!Rename(paths.backup, paths.setAside))
        {
            return 0;
        }
        ReachStep(UPDATE_STEP_OLDER_BACKUP_SET_ASIDE);
    }
    if (!PutInPlace(target, paths, wait))
    {
        if (setAside)
        {
            Rename(paths.setAside, paths.backup);
        }
        return 0;
    }
    if (setAside && Discard(paths.setAside))
    {
        ReachStep(UPDATE_STEP_OLDER_BACKUP_DELETED);
    }
    return 1;
}

} // namespace

int ReplaceExecutable(const char* targetPath, const unsigned char* content, std::size_t size,
                      const PayloadDigest& digest)
{
    UpdatePaths paths;
    if (content == nullptr || size == 0 || !MakeUpdatePaths(targetPath, paths) ||
        IsFolder(targetPath) || (paths.hasBackup && IsFolder(paths.backup)) ||
        !TidyInterruptedRun(paths))
    {
        return 0;
    }
    // Only the temporary file is this step's own: the waits are for it alone.
    LockWait wait;
    auto discardTemporary = [&] { wait.Retry([&] { return DeleteOwnFile(paths.temporary); }); };
    if (!WriteVerifiedFile(paths.temporary, content, size, digest, wait))
    {
        discardTemporary();
        return 0;
    }

    int result = 0;
    if (paths.hasBackup)
    {
        result = ReplaceWithBackup(targetPath, paths, wait);
    }
    else if (wait.Retry([&] { return Outcome(RenameOver(paths.temporary, targetPath)); }))
    {
        ReachStep(UPDATE_STEP_REPLACED);
        result = 1;
    }
    if (!result)
    {
        discardTemporary();
    }
    return result;
}

int TidyUpdateLeftovers(const char* targetPath)
{
    UpdatePaths paths;
    return MakeUpdatePaths(targetPath, paths) && TidyInterruptedRun(paths) ? 1 : 0;
}

int ApplyUpdateFrom(HMODULE module, const char* targetPath, HWND owner)
{
    int result = 0;
    std::vector<unsigned char> executable;
    PayloadDigest digest;
    if (targetPath != nullptr && LoadPayload(module, executable, digest))
    {
        result = ReplaceExecutable(targetPath, executable.data(), executable.size(), digest);
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

void SetUpdateUsesLinks(bool useLinks)
{
    g_bUseLinks = useLinks;
}
