#include "ApplyUpdate.h"

#include "GsAppFrame.h"
#include "GsMessageBox.h"
#include "PinnedFolder.h"

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

// Present unless the folder says the name is missing: a name Windows keeps for a deleted file
// still open elsewhere refuses every open, and is not free.
bool Exists(const CPinnedFolder& folder, const char* path)
{
    DWORD attributes;
    const DWORD error = folder.Attributes(path, attributes);
    return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
}

// A folder, or a link or junction in the place of a name the step would have to remove.
bool IsFolder(const CPinnedFolder& folder, const char* path)
{
    DWORD attributes;
    return folder.Attributes(path, attributes) == ERROR_SUCCESS &&
           (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0;
}

bool Discard(const CPinnedFolder& folder, const char* path)
{
    return folder.Remove(path) == ERROR_SUCCESS;
}

// Fails, as MoveFileA does, when `to` exists. A rename is a change of the folder's entries,
// not of data: the file system commits it with its own metadata, and the step flushes the
// folder once its renames are done.
bool Rename(const CPinnedFolder& folder, const char* from, const char* to)
{
    return folder.Rename(from, to, false) == ERROR_SUCCESS;
}

// Writes the whole content to the new file `path`, created where no name was, flushes it to
// the disk and closes it, then reads it back: 1 only when the file on disk has exactly the
// content's digest.
int WriteVerifiedFile(const CPinnedFolder& folder, const char* path, const unsigned char* content,
                      std::size_t size, const PayloadDigest& digest, LockWait& wait)
{
    HANDLE created;
    if (folder.CreateNew(path, created) != ERROR_SUCCESS)
    {
        return 0;
    }
    FileHandle file(created);
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
    // The data is on the disk before any rename can make it the target.
    if (!FlushFileBuffers(file.Get()) || !file.Close())
    {
        return 0;
    }
    ReachStep(UPDATE_STEP_NEW_FILE_WRITTEN);
    PayloadDigest onDisk;
    const bool readBack = wait.Retry(
        [&]
        {
            HANDLE opened;
            const DWORD error = folder.Open(path, GENERIC_READ, FILE_SHARE_READ, opened);
            if (error != ERROR_SUCCESS)
            {
                return error;
            }
            FileHandle reading(opened);
            return Outcome(DigestOfHandle(reading.Get(), onDisk));
        });
    return readBack && onDisk == digest ? 1 : 0;
}

// Whether the target can lose its name now. Sharing and the read-only attribute belong to
// the file, not to a name: while another program holds the target without delete sharing, or
// while it is read-only, neither the replacement nor the removal of a second name would work,
// so no link is made.
bool MayBeReplaced(const CPinnedFolder& folder, const char* target)
{
    DWORD attributes;
    if (folder.Attributes(target, attributes) != ERROR_SUCCESS ||
        (attributes & FILE_ATTRIBUTE_READONLY) != 0)
    {
        return false;
    }
    HANDLE file;
    if (folder.Open(target, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, file) !=
        ERROR_SUCCESS)
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
bool PutInPlace(const CPinnedFolder& folder, const char* target, const UpdatePaths& paths,
                LockWait& wait)
{
    if (g_bUseLinks && MayBeReplaced(folder, target) &&
        folder.Link(target, paths.backup) == ERROR_SUCCESS)
    {
        ReachStep(UPDATE_STEP_BACKUP_LINKED);
        if (wait.Retry([&] { return folder.Rename(paths.temporary, target, true); }))
        {
            ReachStep(UPDATE_STEP_REPLACED);
            return true;
        }
        // Only a second name goes: the target keeps the old content.
        if (!Discard(folder, paths.backup))
        {
            return false;
        }
    }
    if (Rename(folder, target, paths.backup))
    {
        ReachStep(UPDATE_STEP_TARGET_MOVED);
        if (wait.Retry([&] { return folder.Rename(paths.temporary, target, false); }))
        {
            ReachStep(UPDATE_STEP_REPLACED);
            return true;
        }
        Rename(folder, paths.backup, target);
    }
    return false;
}

// Takes back what an interrupted run left: its temporary file, and an older backup it had
// set aside (back to the backup name when that is free; otherwise the backup there is newer
// and the set-aside one is superseded).
bool TidyInterruptedRun(const CPinnedFolder& folder, const UpdatePaths& paths)
{
    if (!Discard(folder, paths.temporary))
    {
        return false;
    }
    if (!paths.hasBackup || !Exists(folder, paths.setAside))
    {
        return true;
    }
    if (Exists(folder, paths.backup))
    {
        return Discard(folder, paths.setAside);
    }
    return Rename(folder, paths.setAside, paths.backup);
}

int ReplaceWithBackup(const CPinnedFolder& folder, const char* target, const UpdatePaths& paths,
                      LockWait& wait)
{
    if (!Exists(folder, target))
    {
        // An interrupted run already moved the old executable to the backup name.
        if (Exists(folder, paths.backup) &&
            wait.Retry([&] { return folder.Rename(paths.temporary, target, false); }))
        {
            ReachStep(UPDATE_STEP_REPLACED);
            return 1;
        }
        return 0;
    }
    const bool setAside = Exists(folder, paths.backup);
    if (setAside)
    {
        if (!Rename(folder, paths.backup, paths.setAside))
        {
            return 0;
        }
        ReachStep(UPDATE_STEP_OLDER_BACKUP_SET_ASIDE);
    }
    if (!PutInPlace(folder, target, paths, wait))
    {
        if (setAside)
        {
            Rename(folder, paths.setAside, paths.backup);
        }
        return 0;
    }
    if (setAside && Discard(folder, paths.setAside))
    {
        ReachStep(UPDATE_STEP_OLDER_BACKUP_DELETED);
    }
    return 1;
}

} // namespace

int ReplaceExecutable(const char* targetPath, const unsigned char* content, std::size_t size,
                      const PayloadDigest& digest, const wchar_t* checkedFolder)
{
    // From here on every name is taken in the one folder held for the step, and the target by
    // the name the system opens for it.
    UpdatePaths paths;
    CPinnedFolder folder;
    if (content == nullptr || size == 0 || !MakeUpdatePaths(targetPath, paths) ||
        !folder.Pin(paths.target) ||
        (checkedFolder != nullptr && lstrcmpiW(folder.RealPath(), checkedFolder) != 0) ||
        IsFolder(folder, paths.target) || (paths.hasBackup && IsFolder(folder, paths.backup)) ||
        !TidyInterruptedRun(folder, paths))
    {
        return 0;
    }
    // Only the temporary file is this step's own: the waits are for it alone.
    LockWait wait;
    auto discardTemporary = [&] { wait.Retry([&] { return folder.Remove(paths.temporary); }); };
    if (!WriteVerifiedFile(folder, paths.temporary, content, size, digest, wait))
    {
        discardTemporary();
        return 0;
    }

    int result = 0;
    if (paths.hasBackup)
    {
        result = ReplaceWithBackup(folder, paths.target, paths, wait);
    }
    else if (wait.Retry([&] { return folder.Rename(paths.temporary, paths.target, true); }))
    {
        ReachStep(UPDATE_STEP_REPLACED);
        result = 1;
    }
    if (!result)
    {
        discardTemporary();
    }
    folder.Flush();
    return result;
}

int TidyUpdateLeftovers(const char* targetPath)
{
    UpdatePaths paths;
    CPinnedFolder folder;
    return MakeUpdatePaths(targetPath, paths) && folder.Pin(paths.target) &&
                   TidyInterruptedRun(folder, paths)
               ? 1
               : 0;
}

int ApplyUpdateFrom(HMODULE module, const char* targetPath, HWND owner,
                    const wchar_t* checkedFolder)
{
    int result = 0;
    std::vector<unsigned char> executable;
    PayloadDigest digest;
    if (targetPath != nullptr && LoadPayload(module, executable, digest))
    {
        result = ReplaceExecutable(targetPath, executable.data(), executable.size(), digest,
                                   checkedFolder);
    }
    if (!result)
    {
        GsMessageBox(owner, FAILURE_TEXT, FAILURE_CAPTION, MB_OK | MB_ICONERROR);
    }
    return result;
}

int ApplyUpdate(const char* targetPath, HWND owner, const wchar_t* checkedFolder)
{
    HMODULE module = g_pAppFrame != nullptr ? g_pAppFrame->instance : nullptr;
    if (module == nullptr)
    {
        GsMessageBox(owner, FAILURE_TEXT, FAILURE_CAPTION, MB_OK | MB_ICONERROR);
        return 0;
    }
    return ApplyUpdateFrom(module, targetPath, owner, checkedFolder);
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
