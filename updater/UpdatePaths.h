#pragma once

// The names the update step uses beside the target. Each is the target's path with its last
// three characters replaced, so it lives in the same folder, has the same length and fits
// wherever the target fits.

// Paths, including the names beside the target, are limited to 259 bytes and the NUL.
constexpr int UPDATE_PATH_SIZE = 260;

// `targetPath` with its last three characters replaced by the three characters of `suffix`,
// into `siblingPath` (UPDATE_PATH_SIZE bytes). A double-byte character is never cut in two:
// when the cut falls inside one, the whole character goes. 1 when there is such a name; 0
// (siblingPath empty) for a path of three characters or fewer, or one that does not fit.
int MakeSiblingPath(const char* targetPath, const char* suffix, char* siblingPath);

// The backup name: the target with "bak" in place of its last three characters.
int MakeBackupPath(const char* targetPath, char* backupPath);

// Every name the update step needs for one target.
struct UpdatePaths
{
    char target[UPDATE_PATH_SIZE];    // the target as the system opens it (see MakeUpdatePaths)
    char backup[UPDATE_PATH_SIZE];    // the previous release after the update ("bak")
    char temporary[UPDATE_PATH_SIZE]; // the new release while it is written ("new")
    char setAside[UPDATE_PATH_SIZE];  // an older backup while the update runs ("old")
    bool hasBackup;                   // false only for paths of three characters or fewer
};

// Fills `paths` for `targetPath`. 0 when the target does not fit or is itself one of its own
// names (a ".bak" chosen as the target would be overwritten as its own backup). The names are
// built from the target's full path as the system opens it (GetFullPathNameA: without the dots
// and blanks that end its last name, so "Larkspurgleam.bak." is the backup itself; a short
// name in its long form), which must fit too. A path of three characters or fewer has no
// backup and its temporary name is the text with ".new" appended. Every name, the target's
// included, is exact in the ANSI code page: a path whose full or long form the code page
// cannot carry is refused rather than replaced by its best-fit neighbour.
int MakeUpdatePaths(const char* targetPath, UpdatePaths& paths);
