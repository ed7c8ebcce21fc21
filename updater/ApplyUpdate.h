#pragma once

#include <windows.h>

#include <cstddef>
#include <vector>

// The update step: the new executable from the payload resource replaces the target, and the
// old one is kept beside it under the backup name (the path with "bak" in place of its last
// three characters).
//
// Nothing is lost on any path. The payload is decoded and checked completely before the disk
// is touched. The new file is written beside the target under a temporary name, flushed,
// closed and checked for its size before the old executable is moved. After a reported
// failure the target path holds the old executable unchanged; a process killed at any moment
// leaves a complete executable at the target path or at the backup path.

// Paths, including the backup and temporary names, are limited to 259 bytes and the NUL.
constexpr int UPDATE_PATH_SIZE = 260;

// Updates the file at `targetPath` (ANSI) from the payload of the frame's module. On failure
// shows "アップデートファイルが作成できませんでした" ("Error", MB_ICONERROR) owned by `owner`.
// 1 when the new executable is in place, complete and on disk; 0 otherwise.
int ApplyUpdate(const char* targetPath, HWND owner);

// ApplyUpdate with the payload taken from `module` (a loaded image or a data-file module).
int ApplyUpdateFrom(HMODULE module, const char* targetPath, HWND owner);

// Copies resource "BIN" 107 of `module` and expands it into `executable`, checking the
// container throughout (see ExpandPayload). 1 on success; 0, with `executable` empty, when
// the resource is missing or damaged.
int LoadPayload(HMODULE module, std::vector<unsigned char>& executable);

// The backup name of `targetPath`: the path with its last three characters replaced by
// "bak", into `backupPath` (UPDATE_PATH_SIZE bytes). 1 when there is one; 0 (backupPath
// empty) for a path of three characters or fewer, or one that does not fit.
int MakeBackupPath(const char* targetPath, char* backupPath);

// Puts `size` bytes of `content` at `targetPath`, keeping the previous file under the backup
// name when one can be made (an older file of that name is deleted first). When no backup
// can be made (no backup name, an older backup that cannot be deleted, a rename that fails),
// the complete new file replaces the target in one rename. Shows nothing. 1 when the new file
// is in place; 0 when the target is left as it was (an older backup may be gone).
int ReplaceExecutable(const char* targetPath, const unsigned char* content, std::size_t size);

// Points in ReplaceExecutable at which a test can observe or stop the process.
enum UpdateStep : int
{
    UPDATE_STEP_NEW_FILE_PARTIAL = 1, // the first part of the new file is written
    UPDATE_STEP_NEW_FILE_WRITTEN,     // the new file is complete and closed; nothing else moved
    UPDATE_STEP_OLD_BACKUP_DELETED,   // an older backup was deleted
    UPDATE_STEP_TARGET_MOVED,         // the old executable carries the backup name
    UPDATE_STEP_REPLACED,             // the new executable carries the target name
};

// Test seam: `hook` is called with each UpdateStep as it is reached (null: none, the
// default). Returns the hook installed before.
using UpdateStepHook = void (*)(int step);
UpdateStepHook SetUpdateStepHook(UpdateStepHook hook);
