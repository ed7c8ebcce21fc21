#pragma once

#include "PayloadDigest.h"
#include "PayloadResource.h"
#include "UpdatePaths.h"

#include <windows.h>

#include <cstddef>

// The update step: the new executable from the payload resource replaces the target, and the
// old one is kept beside it under the backup name (the path with "bak" in place of its last
// three characters).
//
// What it guarantees:
// - The payload is decoded and its SHA-256 compared with the digest the updater carries
//   before the disk is touched; the new file is written under the temporary name, flushed,
//   closed and read back against the same digest before anything is renamed.
// - The target path holds the complete old or the complete new executable at every instant
//   where the file system has hard links: the backup is made as a second name of the target,
//   and the new file is renamed over the target in one step. Elsewhere, between two renames,
//   the old executable is at the backup name and the new one at the temporary name, and the
//   next run finishes the update (see CheckTarget).
// - An older backup is set aside under the "old" name, not deleted, until the new executable
//   is in place. After a reported failure everything is as it was, older backup included.
// - A later run reuses and removes the names an interrupted one left.
// - Every name is taken in the one folder that holds the target, held for the step (see
//   CPinnedFolder): a link or junction planted under one of the names is never followed, and
//   the folder cannot be swapped for a junction while the step runs, so nothing outside it is
//   deleted, overwritten or created.
// - The new file's data is flushed to the disk (FlushFileBuffers) before any rename makes it
//   the target. The renames themselves are changes of the folder's entries, which the file
//   system commits with its metadata; once they are done the folder is flushed too, where the
//   file system allows it.
// It cannot guarantee what the disk does not: a machine that loses power while the disk's own
// cache still holds what it acknowledged, or a file system that ignores the flushes.
// Updates the file at `targetPath` (ANSI) from the payload of the frame's module. On failure
// shows "アップデートファイルが作成できませんでした" ("Error", MB_ICONERROR) owned by `owner`.
// 1 when the new executable is in place, complete and flushed; 0 otherwise.
// `checkedFolder`, when given, is the real folder (CPinnedFolder::RealPath) in which the target
// was checked: the step refuses, changing nothing, unless the folder it holds is that one.
int ApplyUpdate(const char* targetPath, HWND owner, const wchar_t* checkedFolder = nullptr);

// ApplyUpdate with the payload taken from `module` (a loaded image or a data-file module).
int ApplyUpdateFrom(HMODULE module, const char* targetPath, HWND owner,
                    const wchar_t* checkedFolder = nullptr);

// Puts `size` bytes of `content`, whose SHA-256 is `digest`, at `targetPath`, keeping the
// previous file under the backup name. Refuses (0, nothing changed) a target that is its own
// backup or temporary name, a target or backup name held by a folder or a link, a name beside
// the target that is a link the system follows, a backup that cannot be set aside, and a new
// file that does not read back as written. A path too short for a backup name is
// replaced in one rename without a backup. A missing target whose backup holds the old
// release (an interrupted run) simply receives the new file. While another program holds the
// new file for a moment (a virus scanner does, as it is closed), its read-back, renaming and
// removal are retried, up to 3 s of pauses in all. Shows nothing. 1 when the new file is in
// place; 0 when everything was left as it was, but for a new file still held by another
// program, which the next run removes.
int ReplaceExecutable(const char* targetPath, const unsigned char* content, std::size_t size,
                      const PayloadDigest& digest, const wchar_t* checkedFolder = nullptr);

// Removes what an interrupted update of `targetPath` left beside it: the temporary file, and
// a set-aside older backup (put back under the backup name when that is free). 1 when nothing
// of it is left.
int TidyUpdateLeftovers(const char* targetPath);

// Points in ReplaceExecutable at which a test can observe or stop the process.
enum UpdateStep : int
{
    UPDATE_STEP_NEW_FILE_PARTIAL = 1,   // the first part of the new file is written
    UPDATE_STEP_NEW_FILE_WRITTEN,       // the new file is complete and closed; read back next
    UPDATE_STEP_OLDER_BACKUP_SET_ASIDE, // an older backup carries the "old" name
    UPDATE_STEP_BACKUP_LINKED,          // the backup name is a second name of the target
    UPDATE_STEP_TARGET_MOVED,           // without links: the old executable is the backup
    UPDATE_STEP_REPLACED,               // the new executable carries the target name
    UPDATE_STEP_OLDER_BACKUP_DELETED,   // the set-aside older backup is gone
    UPDATE_STEP_PAUSED_FOR_LOCK,        // another program holds the new file: a pause, a retry
};

// Test seams: `hook` is called with each UpdateStep as it is reached (null: none, the
// default); returns the hook installed before. With links off, the step behaves as on a file
// system without hard links.
using UpdateStepHook = void (*)(int step);
UpdateStepHook SetUpdateStepHook(UpdateStepHook hook);
void SetUpdateUsesLinks(bool useLinks);
