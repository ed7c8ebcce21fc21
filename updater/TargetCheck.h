#pragma once

// What OK decides about a target before anything is changed. The updater's dialog and the
// publisher's diagnostic both call CheckTarget, so their verdicts cannot differ.
enum TargetVerdict : int
{
    TARGET_ALREADY_DONE = -1, // already the new release
    TARGET_WRONG_FILE = 0,    // missing, unreadable, not the old release, or of the wrong size
    TARGET_ELIGIBLE = 1,      // the old release of the required size: the update may run
    TARGET_IN_USE = 2,        // another program holds the file open
};

// The verdict for the file at `path` (ANSI): the path limit, a probe for another program
// holding the file, the open for reading that the dialog always made, the version check and,
// for an eligible file, the size. When `path` does not exist but its backup name holds an
// eligible old release, an earlier update was interrupted between its renames: that backup
// is checked instead, and TARGET_ELIGIBLE lets the update step finish the job.
int CheckTarget(const char* path);

// 1 when the dialog should offer `path` at start: it exists, or an interrupted update left
// the old release under its backup name.
int IsTargetOffered(const char* path);

// Test seam: replaces the probe for another program holding the file without sharing (1 when
// held; null: the real one, the default) and returns the probe installed before. Lets a test
// show Windows' answer for a running program's file, which that probe does not see there.
using TargetHoldProbe = int (*)(const char* path);
TargetHoldProbe SetTargetHoldProbe(TargetHoldProbe probe);
