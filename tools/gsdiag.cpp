// gsdiag: a console diagnostic for publishers. "gsdiag check FILE" decides about FILE with
// the updater's own function and tells what the updater would make of it; "gsdiag payload
// UPDATER" checks the new release an updater carries, and "gsdiag release UPDATER" which
// release step it carries, before it is handed to users.

#include "CodePage932.h"
#include "PayloadContainer.h"
#include "PayloadResource.h"
#include "ReleaseStep.h"
#include "Sha256.h"
#include "TargetCheck.h"
#include "TargetVersion.h"
#include "UpdatePaths.h"
#include "UpdaterResources.h"

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
constexpr int EXIT_IN_USE = 4;

constexpr UINT SHIFT_JIS = 932;

const char HELP[] =
    "usage: gsdiag check FILE\n"
    "       gsdiag payload UPDATER\n"
    "       gsdiag release UPDATER\n"
    "\n"
    "check: decides about FILE with the updater's own checks and prints the four\n"
    "version values it compares (FileDescription, ProductVersion, ProductName,\n"
    "SpecialBuild), the verdict of the version check (1 eligible, -1 already\n"
    "updated, 0 wrong file), the size check and what the updater would do.\n"
    "Exit codes:\n"
    "  0  the updater would update FILE (eligible, and of the required size)\n"
    "  1  FILE already is the new release\n"
    "  2  the updater would refuse FILE (wrong file, wrong size, unreadable)\n"
    "  3  wrong arguments, or this help\n"
    "  4  another program holds FILE open: the updater asks to close it\n"
    "\n"
    "payload: loads UPDATER's payload as the updater does, prints its header and\n"
    "the SHA-256 it carries, and checks that the payload expands to exactly that\n"
    "digest. Exit codes: 0 the payload is sound, 2 it is not (missing, damaged, or\n"
    "without its digest: the updater would refuse to update), 3 wrong arguments.\n"
    "\n"
    "release: prints the release step UPDATER carries (old and new version\n"
    "values, sizes, version text, mask, digest) and UPDATER's own version values,\n"
    "and checks that these name the new release and that its payload decodes to\n"
    "a program with the new values and the digest. Exit codes: 0 it does, 2 it\n"
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

// The four values and the size of `path`, as the version check and the size rule see them.
void PrintFile(const char* path)
{
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
    std::printf("verdict         %d (%s)\n", verdict, DescribeVerdict(verdict));
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (GetFileAttributesExA(path, GetFileExInfoStandard, &data))
    {
        const unsigned long long size =
            static_cast<unsigned long long>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
        std::printf("size            %llu bytes, %d required: %s%s\n", size, UPDATE_TARGET_SIZE,
                    size == static_cast<unsigned long long>(UPDATE_TARGET_SIZE) ? "passes"
                                                                                : "fails",
                    verdict == UPDATE_ELIGIBLE ? "" : " (checked only for an eligible file)");
    }
}

int Check(const char* path)
{
    std::printf("file            %s\n", path);
    std::printf("ANSI code page  %u (values are compared in code page 932)\n", GetACP());
    // The decision is the updater's own; what is printed around it only explains it.
    const int verdict = CheckTarget(path);
    const DWORD attributes = GetFileAttributesA(path);
    char backup[UPDATE_PATH_SIZE];
    if (attributes == INVALID_FILE_ATTRIBUTES && verdict == TARGET_ELIGIBLE &&
        MakeBackupPath(path, backup))
    {
        std::printf("missing; an interrupted update left the old release as %s\n", backup);
        PrintFile(backup);
    }
    else if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
    {
        std::printf("cannot read the file (error %lu)\n", GetLastError());
    }
    else if (verdict != TARGET_IN_USE)
    {
        PrintFile(path);
    }
    switch (verdict)
    {
    case TARGET_ELIGIBLE:
        std::printf("result          eligible: the updater would update this file\n");
        return EXIT_ELIGIBLE;
    case TARGET_ALREADY_DONE:
        std::printf("result          already updated: the updater reports it and changes "
                    "nothing\n");
        return EXIT_ALREADY_UPDATED;
    case TARGET_IN_USE:
        std::printf("result          in use: another program holds the file open; the updater "
                    "asks to close it and changes nothing\n");
        return EXIT_IN_USE;
    default:
        std::printf("result          refused: the updater would call it the wrong file\n");
        return EXIT_WRONG_FILE;
    }
}

std::string Hex(const unsigned char* bytes, std::size_t size)
{
    Sha256::Digest digest{};
    if (size != digest.size())
    {
        return "(not a digest: " + std::to_string(size) + " bytes)";
    }
    std::memcpy(digest.data(), bytes, size);
    return Sha256::ToHex(digest);
}

// The bytes of resource "BIN" `id`, empty when there is none.
std::vector<unsigned char> ReadBinary(HMODULE module, int id)
{
    HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(id), "BIN");
    HGLOBAL loaded = resource != nullptr ? LoadResource(module, resource) : nullptr;
    const auto* data = static_cast<const unsigned char*>(loaded ? LockResource(loaded) : nullptr);
    return data != nullptr
               ? std::vector<unsigned char>(data, data + SizeofResource(module, resource))
               : std::vector<unsigned char>();
}

int Payload(const char* path)
{
    HMODULE module = LoadLibraryExA(path, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (module == nullptr)
    {
        std::printf("updater         %s: cannot load it (error %lu)\n", path, GetLastError());
        return EXIT_WRONG_FILE;
    }
    std::printf("updater         %s\n", path);
    const std::vector<unsigned char> resource = ReadBinary(module, IDR_PAYLOAD);
    const std::vector<unsigned char> carried = ReadBinary(module, IDR_PAYLOAD_DIGEST);
    PayloadHeader header{};
    if (ReadPayloadHeader(resource.data(), resource.size(), header) == PAYLOAD_OK)
    {
        std::printf("payload         %zu bytes, body %lu, mask 0x%02lX, expands to %lu bytes\n",
                    resource.size(), static_cast<unsigned long>(header.compressedLength),
                    static_cast<unsigned long>(header.mask & 0xFF),
                    static_cast<unsigned long>(header.expandedLength));
    }
    else
    {
        std::printf("payload         %s\n",
                    resource.empty() ? "missing" : "shorter than its header");
    }
    std::printf("carried digest  %s\n",
                carried.empty() ? "missing" : Hex(carried.data(), carried.size()).c_str());
    // The updater's own loading decides; the digest is printed as the tools compute it.
    std::vector<unsigned char> executable;
    PayloadDigest digest;
    const int sound = LoadPayload(module, executable, digest);
    FreeLibrary(module);
    if (!sound)
    {
        std::printf("result          refused: the payload is missing, damaged or does not match "
                    "its digest; the updater would change nothing\n");
        return EXIT_WRONG_FILE;
    }
    std::printf("expanded        %zu bytes, sha256 %s\n", executable.size(),
                Sha256::ToHex(Sha256::Of(executable.data(), executable.size())).c_str());
    std::printf("result          sound: the payload expands to the executable its digest "
                "names\n");
    return EXIT_ELIGIBLE;
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
    if (argc == 3 && argv[2][0] != '\0' && std::strcmp(argv[1], "release") == 0)
    {
        return Release(argv[2]);
    }
    if (argc == 3 && argv[2][0] != '\0' && std::strcmp(argv[1], "check") == 0)
    {
        return Check(argv[2]);
    }
    if (argc == 3 && argv[2][0] != '\0' && std::strcmp(argv[1], "payload") == 0)
    {
        return Payload(argv[2]);
    }
    std::fputs(HELP, stderr);
    return EXIT_USAGE;
}
