// gsdiag: a console diagnostic for publishers. "gsdiag check FILE" reads FILE as the updater
// does (the same version check, from the same code) and tells what the updater would make of
// it, before a release is handed to users; "gsdiag release UPDATER" tells which release step
// an updater file carries and checks its payload against it.

#include "CodePage932.h"
#include "ReleaseStep.h"
#include "TargetVersion.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace
{

constexpr int EXIT_ELIGIBLE = 0;
constexpr int EXIT_ALREADY_UPDATED = 1;
constexpr int EXIT_WRONG_FILE = 2;
constexpr int EXIT_USAGE = 3;

constexpr UINT SHIFT_JIS = 932;

const char HELP[] = "usage: gsdiag check FILE\n"
                    "       gsdiag release UPDATER\n"
                    "\n"
                    "Reads FILE's version resource as the updater does and prints the four\n"
                    "values it compares (FileDescription, ProductVersion, ProductName,\n"
                    "SpecialBuild), the verdict of the version check (1 eligible, -1 already\n"
                    "updated, 0 wrong file) and whether the size check would pass.\n"
                    "\n"
                    "Exit codes:\n"
                    "  0  the updater would update FILE (eligible, and of the required size)\n"
                    "  1  FILE already is the new release\n"
                    "  2  the updater would refuse FILE (wrong file, wrong size, unreadable)\n"
                    "  3  wrong arguments, or this help\n"
                    "\n"
                    "release: prints the release step UPDATER carries (old and new version\n"
                    "values, sizes, version text, mask, digest) and checks that its payload\n"
                    "decodes to a program with the new values. Exit codes: 0 it does, 2 it\n"
                    "does not or UPDATER cannot be read, 3 wrong arguments.\n";

// Shows a code-page-932 text correctly in a console whatever its code page; anywhere else
// (a pipe, a file) the bytes go out as they are.
void PrintValue(const char* text)
{
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (GetConsoleMode(output, &mode))
    {
        const int length = MultiByteToWideChar(SHIFT_JIS, 0, text, -1, nullptr, 0);
        if (length > 1)
        {
            std::wstring wide(static_cast<std::size_t>(length), L'\0');
            MultiByteToWideChar(SHIFT_JIS, 0, text, -1, &wide[0], length);
            std::fflush(stdout);
            DWORD written = 0;
            WriteConsoleW(output, wide.c_str(), static_cast<DWORD>(length - 1), &written, nullptr);
        }
        return;
    }
    std::fputs(text, stdout);
}

void PrintField(const char* name, const char* value)
{
    std::printf("%-16s\"", name);
    PrintValue(value);
    std::printf("\"\n");
}

const char* DescribeVerdict(int verdict)
{
    switch (verdict)
    {
    case UPDATE_ELIGIBLE:
        return "eligible";
    case UPDATE_ALREADY_DONE:
        return "already updated";
    default:
        return "wrong file";
    }
}

int Check(const char* path)
{
    std::printf("file            %s\n", path);
    std::printf("ANSI code page  %u (values are compared in code page 932)\n", GetACP());
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path, GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
    {
        std::printf("cannot read the file (error %lu)\n", GetLastError());
        std::printf("result          refused: the updater cannot open this file\n");
        return EXIT_WRONG_FILE;
    }
    const unsigned long long size =
        static_cast<unsigned long long>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;

    TargetVersionStrings strings;
    if (!ReadTargetVersion(path, strings))
    {
        std::printf("no readable version resource (or no Translation value)\n");
    }
    PrintField("FileDescription", strings.fileDescription);
    PrintField("ProductVersion", strings.productVersion);
    PrintField("ProductName", strings.productName);
    PrintField("SpecialBuild", strings.specialBuild);

    const int verdict = ClassifyTargetVersion(strings);
    const bool sizePasses = size == static_cast<unsigned long long>(UPDATE_TARGET_SIZE);
    std::printf("verdict         %d (%s)\n", verdict, DescribeVerdict(verdict));
    std::printf("size            %llu bytes, %d required: %s%s\n", size, UPDATE_TARGET_SIZE,
                sizePasses ? "passes" : "fails",
                verdict == UPDATE_ELIGIBLE ? "" : " (checked only for an eligible file)");

    if (verdict == UPDATE_ALREADY_DONE)
    {
        std::printf("result          already updated: the updater reports it and changes "
                    "nothing\n");
        return EXIT_ALREADY_UPDATED;
    }
    if (verdict == UPDATE_ELIGIBLE && sizePasses)
    {
        std::printf("result          eligible: the updater would update this file\n");
        return EXIT_ELIGIBLE;
    }
    std::printf("result          refused: %s\n", verdict == UPDATE_ELIGIBLE
                                                     ? "the size is not the old release's"
                                                     : "not the release this updater replaces");
    return EXIT_WRONG_FILE;
}

int Release(const char* path)
{
    std::ifstream file(path, std::ios::binary);
    const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(file)),
                                           std::istreambuf_iterator<char>());
    if (!file.good() && !file.eof())
    {
        std::printf("cannot read %s\n", path);
        return EXIT_WRONG_FILE;
    }
    std::string report;
    const bool carried = CheckUpdaterFile(bytes.data(), bytes.size(), &report);
    std::printf("updater         %s\n", path);
    // The report is UTF-8; shown like the version values, in code page 932.
    std::u16string wide;
    Utf8ToUtf16(report, &wide);
    PrintValue(Utf16ToCp932(wide).c_str());
    std::printf("result          %s\n", carried ? "the payload is the release step's new release"
                                                : "this updater must not be shipped");
    return carried ? EXIT_ELIGIBLE : EXIT_WRONG_FILE;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && (std::strcmp(argv[1], "-h") == 0 || std::strcmp(argv[1], "--help") == 0))
    {
        std::fputs(HELP, stdout);
        return EXIT_USAGE;
    }
    if (argc == 3 && std::strcmp(argv[1], "release") == 0 && argv[2][0] != '\0')
    {
        return Release(argv[2]);
    }
    if (argc != 3 || std::strcmp(argv[1], "check") != 0 || argv[2][0] == '\0')
    {
        std::fputs(HELP, stderr);
        return EXIT_USAGE;
    }
    return Check(argv[2]);
}
