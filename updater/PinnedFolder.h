#pragma once

#include <windows.h>

#include <vector>

// The folder of an update's target, held open for the length of the update so that every
// name the update touches is in that one folder. The folder is opened once by its path (a
// junction an administrator made on the way is followed, as Windows follows it), then held
// without delete sharing, so that it cannot be renamed or replaced by a link while held. The
// names in it are opened, created, linked, renamed and removed relative to that handle, never
// by a path resolved again, and a name that is itself a link or reparse point is never
// followed: it is a name like any other, which only Remove touches (as a name). A name that
// opens as something other than itself (a link the system followed) is refused with
// ERROR_CANT_RESOLVE_FILENAME.
//
// The operations take the ANSI path of an entry (the target, or a name beside it); its folder
// part must be the pinned path's own, byte for byte, else ERROR_INVALID_NAME. They return
// ERROR_SUCCESS or the Win32 error of the failure. A missing name is ERROR_FILE_NOT_FOUND or
// ERROR_PATH_NOT_FOUND, and nothing else: a name Windows keeps while a deleted file is still
// open elsewhere ("delete pending") answers ERROR_ACCESS_DENIED and counts as present.
class CPinnedFolder
{
public:
    CPinnedFolder() = default;
    ~CPinnedFolder();
    CPinnedFolder(const CPinnedFolder&) = delete;
    CPinnedFolder& operator=(const CPinnedFolder&) = delete;

    // Opens and holds the folder that holds `entryPath` (ANSI; a path without a backslash
    // is in the current folder). 1 when held; 0 when the path cannot be carried to the
    // wide form exactly, the folder cannot be opened, or it is not a folder.
    int Pin(const char* entryPath);
    bool IsPinned() const { return folder != INVALID_HANDLE_VALUE; }
    // The real folder behind the handle (GetFinalPathNameByHandleW), "" when not pinned.
    const wchar_t* RealPath() const { return realPath.data(); }

    // The attributes of the entry itself (a link's own, not its target's).
    DWORD Attributes(const char* path, DWORD& attributes) const;
    // Opens an existing entry itself (never what a link names), with `access` and `share`;
    // `file` is INVALID_HANDLE_VALUE on failure. The caller closes it.
    DWORD Open(const char* path, ACCESS_MASK access, DWORD share, HANDLE& file) const;
    // Creates a new file where no name exists (a link of that name counts as one), for
    // reading and writing, without sharing.
    DWORD CreateNew(const char* path, HANDLE& file) const;
    // Renames the entry `from` to `to`; `replace` lets `to` go if it is a file.
    DWORD Rename(const char* from, const char* to, bool replace) const;
    // Makes `newName` a second name of the file `existing` (a hard link); `newName` must be
    // free.
    DWORD Link(const char* existing, const char* newName) const;
    // Removes the name `path`: a file (read-only or not) or a link as a name; a folder never
    // (ERROR_DIRECTORY). The file is first renamed to a unique name beside it, so that its
    // name is free at once even where Windows keeps a deleted file's name until the last
    // handle closes. ERROR_SUCCESS when the name is gone, also when there was none.
    DWORD Remove(const char* path) const;
    // Asks the file system to commit the folder's entries (best effort; some refuse).
    void Flush() const;

private:
    // The entry's name relative to the folder, wide; false when `path` is not directly in it.
    bool NameOf(const char* path, std::vector<wchar_t>& name) const;
    long OpenRelative(const std::vector<wchar_t>& name, ACCESS_MASK access, DWORD share,
                      unsigned long disposition, unsigned long options, HANDLE& file) const;
    long SetName(HANDLE file, int informationClass, const std::vector<wchar_t>& name,
                 bool replace) const;
    bool IsPending(const std::vector<wchar_t>& name) const;
    bool IsEntryItself(HANDLE file, const std::vector<wchar_t>& name) const;

    HANDLE folder = INVALID_HANDLE_VALUE;
    std::vector<char> folderText;       // the folder part of the pinned path, ANSI, NUL-ended
    std::vector<wchar_t> realPath{0};   // the real folder, for diagnosis and tests
    mutable unsigned long removals = 0; // counts the unique names this folder handed out
    // Test seam: files removed while deleted names stay pending, each held open until Unpin.
    mutable std::vector<std::pair<HANDLE, std::vector<wchar_t>>> pending;
};

// Turns on the process mitigation that refuses to follow junctions a non-administrator made
// (the redirection trust policy), where Windows has it. 1 when set; 0 where the system lacks
// it (the call is looked up at run time and fails quietly).
int EnableRedirectionTrust();

// Test seams. With `pending` on, a removed file keeps its current name until the folder is
// let go, and that name refuses every open with access denied, as Windows does while another
// program holds a deleted file with delete sharing. `setPolicy` replaces the system's
// SetProcessMitigationPolicy (null: the system's, looked up).
void SetDeletedNamesStayPending(bool pending);
using MitigationSetter = BOOL(WINAPI*)(PROCESS_MITIGATION_POLICY, PVOID, SIZE_T);
void SetMitigationSetter(MitigationSetter setPolicy);
