#pragma once

// The release step an updater carries: which release it replaces, which it installs, and how
// it shows and packs it. Kept as a release description, a small UTF-8 text file of
// "key = value" lines that the publisher's tool writes and the build reads:
//
//   # comment
//   format = 1
//   old.FileDescription = ...     the four version values the eligible (old) release carries,
//   old.ProductVersion = ...      compared as the updater compares them (code page 932, ASCII
//   old.ProductName = ...         letters without regard to case)
//   old.SpecialBuild = ...
//   old.size = 2048000            exact size in bytes of the old release
//   new.FileDescription = ...     the values of the new release: a target whose description,
//   new.ProductVersion = ...      version and name are these is already updated
//   new.ProductName = ...
//   new.SpecialBuild = ...
//   new.size = 2048000            size of the new release, which the payload expands to
//   version_text = Version 1.0.0.1   shown in the dialog: "【<version_text>】"
//   mask = 0x5A                   the payload's scrambling mask (0..255)
//
// A value is everything after " = " up to the end of the line, blanks included; "key =" at the
// end of a line is an empty value. Every key appears exactly once; blank lines and lines
// starting with '#' are ignored.

#include <cstddef>
#include <cstdint>
#include <string>

struct ReleaseValues
{
    std::string fileDescription;
    std::string productVersion;
    std::string productName;
    std::string specialBuild;
};

struct ReleaseStep
{
    ReleaseValues oldRelease; // UTF-8
    std::uint32_t oldSize = 0;
    ReleaseValues newRelease; // UTF-8
    std::uint32_t newSize = 0;
    std::string versionText;
    unsigned mask = 0;
};

// Reads a description. false with a one-line reason ("line 4: ...") in *error when it is not
// one.
bool ParseReleaseStep(const std::string& text, ReleaseStep* step, std::string* error);

// Writes the description of `step`, comments included; ParseReleaseStep reads it back equal.
std::string FormatReleaseStep(const ReleaseStep& step);

// Results of ClassifyVersionValues, the version check's verdicts.
enum : int
{
    RELEASE_ALREADY_DONE = -1,
    RELEASE_WRONG_FILE = 0,
    RELEASE_ELIGIBLE = 1,
};

// Longest part of a version value that is kept and compared, in bytes (code page 932).
constexpr int VERSION_VALUE_MAX = 255;

// Compares two code-page-932 values over at most VERSION_VALUE_MAX bytes: ASCII letters
// without regard to case, every other byte exactly, and both bytes of a double-byte character
// exactly (its second byte is never taken for a letter). 1 when equal, 0 otherwise.
int VersionTextEquals(const char* value, const char* expected);

// The values a release step is checked against, in code page 932.
struct ReleaseCheckValues
{
    const char* oldFileDescription;
    const char* oldProductVersion;
    const char* oldProductName;
    const char* oldSpecialBuild;
    const char* newFileDescription;
    const char* newProductVersion;
    const char* newProductName;
};

// The verdict on a target's four values (code page 932): already updated when its
// description, version and name are the new release's; eligible when all four are the old
// release's; the wrong file otherwise.
int ClassifyVersionValues(const char* fileDescription, const char* productVersion,
                          const char* productName, const char* specialBuild,
                          const ReleaseCheckValues& step);

// A release's four values in code page 932, as the check reads them from a file.
ReleaseValues ToCp932(const ReleaseValues& utf8);

// Checks that the payload container `payload` is what `step` promises: it decodes, with the
// step's mask, to new.size bytes of a program whose version values are the new release's (all
// four) and which the updater would call already updated, and, when `digest` is given, whose
// SHA-256 is those `digestSize` bytes. Empty when it is; otherwise one line that says what
// differs.
std::string CheckPayloadAgainstStep(const ReleaseStep& step, const unsigned char* payload,
                                    std::size_t size, const unsigned char* digest = nullptr,
                                    std::size_t digestSize = 0);

// The updater's own version resource names the release it installs: its FileVersion and
// ProductVersion are the new release's ProductVersion text, its fixed part carries that text's
// numbers, and its OriginalFilename is this.
inline constexpr char UPDATER_FILE_NAME[] = "LarkspurgleamUpdater.exe";

// The four numbers of a version text, as a version resource's fixed part holds them: the first
// four runs of decimal digits ("1, 0, 0, 1" and "Version 1.0.0.1" give 1 0 0 1), each kept to
// 65535; missing ones are 0.
void VersionNumbersOf(const std::string& text, std::uint16_t numbers[4]);

// Reads from an updater's program file the release step it carries (its release description
// resource) and checks its own version resource, its payload and digest resources against it,
// as CheckPayloadAgainstStep does. The report, UTF-8 lines, tells what the updater carries and
// what was found; true when the updater names the new release, the payload is the described new
// release and its digest is there and right.
bool CheckUpdaterFile(const unsigned char* data, std::size_t size, std::string* report);

// Parses a decimal or 0x-prefixed hex number no larger than `limit`: digits only, no sign, no
// blanks. Shared by the description's fields and the publisher's tool's arguments.
bool ParseUnsignedNumber(const std::string& text, std::uint64_t limit, std::uint64_t* value);
