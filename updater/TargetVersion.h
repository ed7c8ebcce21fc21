#pragma once

#include "GsRelease.h"
#include "ReleaseStep.h"

#include <windows.h>

#include <vector>

// Results of CheckTargetVersion.
enum : int
{
    UPDATE_ALREADY_DONE = RELEASE_ALREADY_DONE, // the target already is the new release
    UPDATE_WRONG_FILE = RELEASE_WRONG_FILE,     // no version resource, or not the expected release
    UPDATE_ELIGIBLE = RELEASE_ELIGIBLE,         // the release that this updater replaces
};

// Exact size in bytes that the update dialog requires of an eligible target: the old
// release's, from the release description the build was given (GsRelease.h is generated).
constexpr int UPDATE_TARGET_SIZE = GS_RELEASE_OLD_SIZE;

// A file's whole version-information block (the wide-character form of the version API).
using VersionBlock = std::vector<unsigned char>;

// The four values the check looks at, each in code page 932, cut to VERSION_VALUE_MAX bytes
// and NUL-terminated; empty when not found.
struct TargetVersionStrings
{
    char fileDescription[VERSION_VALUE_MAX + 1];
    char productVersion[VERSION_VALUE_MAX + 1];
    char productName[VERSION_VALUE_MAX + 1];
    char specialBuild[VERSION_VALUE_MAX + 1];
};

// Reads the version block of the file at `path` (ANSI code page) into `block` and points
// *translation at the first entry of its "\VarFileInfo\Translation" value (inside `block`,
// valid while the block is neither changed nor destroyed). 1 on success; 0, with `block`
// empty, when the file has no version resource, cannot be read or has no Translation value.
int LoadVersionInfo(const char* path, VersionBlock& block, const DWORD** translation);

// Looks up the string value `name` ("FileDescription", ...) of `block`: first under the
// language and code page of `translation` (language in the low 16 bits), then under every
// code page and language of the version-resource documentation, code page first, in a fixed
// order; the first one found wins. The value is converted from UTF-16 to code page 932
// (characters that 932 cannot show become '?') and at most `maxLength` bytes of it are
// copied into `output`, which must hold maxLength + 1 bytes and is always NUL-terminated.
// 1 when found; 0 when not (output empty).
int QueryVersionString(char* output, const VersionBlock& block, DWORD translation, const char* name,
                       int maxLength);

// Fills `strings` from the file at `path`. 1 when the file has a readable version block; 0
// otherwise (all four values empty).
int ReadTargetVersion(const char* path, TargetVersionStrings& strings);

// The verdict for four values read by ReadTargetVersion against the release step this updater
// was built for: UPDATE_ALREADY_DONE, UPDATE_ELIGIBLE or UPDATE_WRONG_FILE.
int ClassifyTargetVersion(const TargetVersionStrings& strings);

// Tells from the target's version resource whether it is the release that this updater
// replaces (UPDATE_ELIGIBLE), already the new release (UPDATE_ALREADY_DONE) or anything else
// (UPDATE_WRONG_FILE, also for every failure). The size check is the caller's. The answer
// does not depend on the system's ANSI code page.
int CheckTargetVersion(const char* path);
