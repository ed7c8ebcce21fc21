// gspayload: builds, inspects and unpacks the payload container the updater carries, and
// exposes the raw LZSS stream for diagnosis. Standard library only, so the same source
// builds on the publisher's Linux hosts and as a Windows console program.

#include "CodePage932.h"
#include "GsLZSS.h"
#include "PayloadContainer.h"
#include "PeVersionReader.h"
#include "ReleaseStep.h"
#include "Sha256.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace
{

constexpr int EXIT_OK = 0;
constexpr int EXIT_DATA = 1;  // bad data or an I/O failure
constexpr int EXIT_USAGE = 2; // wrong arguments

constexpr unsigned DEFAULT_MASK = 0x5A;
// No input the tool handles legitimately comes near this; refusing early keeps a wrong path
// (a disk image, say) from eating memory, and keeps every length inside an int.
constexpr std::size_t MAX_INPUT = 512u * 1024 * 1024;

const char HELP[] = R"(usage: gspayload COMMAND ARGS...

Commands:
  build NEW_EXE OUT.bin [--mask N]
      Compress NEW_EXE into a payload container, and write its SHA-256 as
      OUT.bin.sha256 (32 raw bytes, the updater's resource BIN 108). N is the
      scrambling mask, 0..255, decimal or 0x-prefixed hex; the default is 0x5A
      (0 leaves the body unscrambled).
  inspect FILE.bin
      Print the header fields, decode the body and check that it yields
      exactly the expanded length and the digest in FILE.bin.sha256 (the
      updater refuses a payload without its digest).
  extract FILE.bin OUT
      Write the executable the container decodes to.
  encode IN OUT
      Write the raw LZSS stream of IN (no header, no scrambling).
  decode IN OUT SIZE
      Decode the raw LZSS stream IN, which must yield exactly SIZE bytes.
  release OLD.exe NEW.exe OUT_DIR [--mask N]
      Make the release step of an updater that replaces OLD.exe with NEW.exe:
      reads both programs' version resources (as the updater's check reads
      them), refuses two files it could not tell apart, and writes into
      OUT_DIR the payload (LarkspurgleamPayload.bin), its digest (.sha256)
      and the release description (LarkspurgleamRelease.txt; its format is in
      updater/ReleaseStep.h). Then build with
      cmake --preset win32 -DGS_RELEASE=OUT_DIR.
  stage DESCRIPTION OUT_DIR --payload FILE.bin | --new-release EXE
      For the build: checks that the payload (or the one built from EXE with
      the description's mask) decodes to the description's new release and
      to its digest (FILE.bin.sha256), and writes them, the description and
      the generated headers into OUT_DIR.
  check-updater UPDATER.exe
      Print the release step an updater carries and check that its payload
      decodes to the new release it describes (what "gsdiag release" does on
      Windows; the build runs it on every updater it makes).
  -h, --help
      Show this text.

Container format (all fields unsigned 32-bit little-endian):
  bytes  0..51   reserved, zero when built, ignored when read
  bytes 52..55   compressed length: bytes of body after the header
  bytes 56..59   mask; only the low 8 bits are used
  bytes 60..63   expanded length: size of the decoded executable
  bytes 64..71   reserved, zero when built, ignored when read
  bytes 72..     body: the LZSS stream with body[i] ^= (i & mask)
  Bytes after the body are ignored.

LZSS stream: 4096-byte ring, initially zero, first write at position 4078;
each flag byte covers eight items, low bit first. A set bit is a literal
byte; a clear bit is a pair b0 b1 copying (b1 & 0x0F) + 3 bytes from ring
position b0 | (b1 & 0xF0) << 4. No header and no end marker.

Outputs are written to a temporary file beside the target and renamed into
place, so a failure never leaves a partial file.

Exit codes:
  0  success
  1  bad data or an I/O error (the message says which)
  2  wrong arguments
)";

// Reports a failure as a single line on stderr and yields the exit code to return.
int Fail(int code, const std::string& message)
{
    std::fprintf(stderr, "gspayload: %s\n", message.c_str());
    return code;
}

int UsageError(const std::string& message)
{
    return Fail(EXIT_USAGE, message + " (see gspayload --help)");
}

std::string ErrnoText(int error)
{
    return error != 0 ? std::strerror(error) : "unknown error";
}

// Reads the whole file in binary. On failure, returns false with `error` set.
bool ReadFile(const std::string& path, std::vector<unsigned char>& data, std::string& error)
{
    data.clear();
    errno = 0;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
    {
        error = "cannot open " + path + ": " + ErrnoText(errno);
        return false;
    }
    unsigned char chunk[64 * 1024];
    bool ok = true;
    for (;;)
    {
        errno = 0;
        const std::size_t got = std::fread(chunk, 1, sizeof chunk, file);
        if (data.size() + got > MAX_INPUT)
        {
            error = path + " is larger than " + std::to_string(MAX_INPUT) + " bytes";
            ok = false;
            break;
        }
        data.insert(data.end(), chunk, chunk + got);
        if (got < sizeof chunk)
        {
            if (std::ferror(file))
            {
                error = "cannot read " + path + ": " + ErrnoText(errno);
                ok = false;
            }
            break;
        }
    }
    std::fclose(file);
    if (!ok)
        data.clear();
    return ok;
}

// Writes `data` to a temporary file beside `path`, then renames it over `path`; any failure
// removes the temporary file and leaves `path` as it was.
bool WriteFileAtomically(const std::string& path, const unsigned char* data, std::size_t size,
                         std::string& error)
{
    const std::string temporary = path + ".gspayload-tmp";
    errno = 0;
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    if (file == nullptr)
    {
        error = "cannot create " + temporary + ": " + ErrnoText(errno);
        return false;
    }
    bool written = size == 0 || std::fwrite(data, 1, size, file) == size;
    written = std::fflush(file) == 0 && written;
    const int writeErrno = errno;
    written = std::fclose(file) == 0 && written;
    if (!written)
    {
        error = "cannot write " + temporary + ": " + ErrnoText(writeErrno);
        std::remove(temporary.c_str());
        return false;
    }
    errno = 0;
    bool renamed = std::rename(temporary.c_str(), path.c_str()) == 0;
#ifdef _WIN32
    // Windows refuses to rename over an existing file; retry once the old one is gone.
    if (!renamed && std::remove(path.c_str()) == 0)
    {
        errno = 0;
        renamed = std::rename(temporary.c_str(), path.c_str()) == 0;
    }
#endif
    if (!renamed)
    {
        error = "cannot replace " + path + ": " + ErrnoText(errno);
        std::remove(temporary.c_str());
    }
    return renamed;
}

bool WriteFileAtomically(const std::string& path, const std::vector<unsigned char>& data,
                         std::string& error)
{
    return WriteFileAtomically(path, data.data(), data.size(), error);
}

std::string Hex(std::uint32_t value, int digits)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*lX", digits, static_cast<unsigned long>(value));
    return text;
}

// How many bytes the container's body decodes to when allowed at most the expanded length;
// `overruns` tells whether the stream wanted to go further. Only meaningful once the header
// has passed its own checks.
std::uint32_t MeasureBody(const std::vector<unsigned char>& resource, const PayloadHeader& header,
                          bool& overruns)
{
    std::vector<unsigned char> body(resource.begin() + PAYLOAD_HEADER_SIZE,
                                    resource.begin() + PAYLOAD_HEADER_SIZE +
                                        header.compressedLength);
    const int bodyLength = static_cast<int>(body.size());
    Unscramble(body.data(), bodyLength, static_cast<unsigned char>(header.mask & 0xFF));
    std::vector<unsigned char> decoded(header.expandedLength);
    auto codec = std::make_unique<CGsLZSS>();
    overruns = codec->Decode(body.data(), decoded.data(), bodyLength,
                             static_cast<int>(decoded.size())) == 0;
    return static_cast<std::uint32_t>(codec->decodedSize);
}

std::string DigestPath(const std::string& containerPath)
{
    return containerPath + ".sha256";
}

int Build(const std::vector<std::string>& args)
{
    std::vector<std::string> files;
    bool maskGiven = false;
    std::uint64_t mask = DEFAULT_MASK;
    for (std::size_t i = 0; i < args.size(); ++i)
    {
        const std::string& arg = args[i];
        std::string maskText;
        if (arg == "--mask")
        {
            if (i + 1 == args.size())
                return UsageError("--mask needs a value");
            maskText = args[++i];
        }
        else if (arg.compare(0, 7, "--mask=") == 0)
            maskText = arg.substr(7);
        else if (arg.size() > 1 && arg[0] == '-')
            return UsageError("build: unknown option " + arg);
        else
        {
            files.push_back(arg);
            continue;
        }
        if (maskGiven)
            return UsageError("--mask given twice");
        maskGiven = true;
        if (!ParseUnsignedNumber(maskText, 255, &mask))
            return UsageError("bad mask '" + maskText + "': expected 0..255 (decimal or 0x hex)");
    }
    if (files.size() != 2)
        return UsageError("build takes NEW_EXE OUT.bin [--mask N]");
    const std::string& inputPath = files[0];
    const std::string& outputPath = files[1];

    std::vector<unsigned char> executable;
    std::string error;
    if (!ReadFile(inputPath, executable, error))
        return Fail(EXIT_DATA, error);
    if (executable.empty())
        return Fail(EXIT_DATA, inputPath + " is empty");
    if (executable.size() > PAYLOAD_MAX_EXPANDED)
        return Fail(EXIT_DATA, inputPath + " is larger than the container allows (" +
                                   std::to_string(PAYLOAD_MAX_EXPANDED) + " bytes)");

    std::vector<unsigned char> container;
    if (!BuildPayload(executable.data(), executable.size(), static_cast<unsigned char>(mask),
                      container))
        return Fail(EXIT_DATA, "cannot build a container from " + inputPath);
    const Sha256::Digest digest = Sha256::Of(executable.data(), executable.size());
    // The digest first: a container never stands without the digest of what it holds.
    if (!WriteFileAtomically(DigestPath(outputPath), digest.data(), digest.size(), error) ||
        !WriteFileAtomically(outputPath, container, error))
        return Fail(EXIT_DATA, error);
    std::printf("%s: %zu bytes -> %s: %zu bytes (body %zu bytes, mask %s)\n", inputPath.c_str(),
                executable.size(), outputPath.c_str(), container.size(),
                container.size() - PAYLOAD_HEADER_SIZE,
                Hex(static_cast<std::uint32_t>(mask), 2).c_str());
    std::printf("%s: sha256 %s\n", DigestPath(outputPath).c_str(), Sha256::ToHex(digest).c_str());
    return EXIT_OK;
}

int Inspect(const std::vector<std::string>& args)
{
    if (args.size() != 1)
        return UsageError("inspect takes FILE.bin");
    const std::string& path = args[0];
    std::vector<unsigned char> resource;
    std::string error;
    if (!ReadFile(path, resource, error))
        return Fail(EXIT_DATA, error);

    PayloadHeader header{};
    const PayloadResult headerResult = ReadPayloadHeader(resource.data(), resource.size(), header);
    std::printf("file:              %s\n", path.c_str());
    std::printf("resource size:     %zu bytes\n", resource.size());
    if (headerResult != PAYLOAD_OK)
        return Fail(EXIT_DATA, path + ": " + DescribePayloadResult(headerResult));

    std::printf("compressed length: %lu bytes\n",
                static_cast<unsigned long>(header.compressedLength));
    std::printf("mask:              %s (low byte %s)\n", Hex(header.mask, 8).c_str(),
                Hex(header.mask & 0xFF, 2).c_str());
    std::printf("expanded length:   %lu bytes\n",
                static_cast<unsigned long>(header.expandedLength));
    const std::size_t room = resource.size() - PAYLOAD_HEADER_SIZE;
    if (header.compressedLength < room)
        std::printf("trailing bytes:    %zu (ignored)\n", room - header.compressedLength);

    std::vector<unsigned char> executable;
    const PayloadResult result = ExpandPayload(resource.data(), resource.size(), executable);
    if (result == PAYLOAD_OK || result == PAYLOAD_OVERRUN || result == PAYLOAD_SHORT)
    {
        bool overruns = false;
        const std::uint32_t decoded = MeasureBody(resource, header, overruns);
        std::printf("decodes to:        %lu bytes%s\n", static_cast<unsigned long>(decoded),
                    overruns ? " and the stream continues past the expanded length" : "");
    }
    if (result != PAYLOAD_OK)
        return Fail(EXIT_DATA, path + ": " + DescribePayloadResult(result));
    const Sha256::Digest digest = Sha256::Of(executable.data(), executable.size());
    std::printf("sha256:            %s\n", Sha256::ToHex(digest).c_str());
    std::vector<unsigned char> expected;
    if (!ReadFile(DigestPath(path), expected, error))
        return Fail(EXIT_DATA, error + " (the updater refuses a payload without its digest)");
    if (expected.size() != digest.size())
        return Fail(EXIT_DATA, DigestPath(path) + " is not a SHA-256 digest (32 bytes)");
    if (!std::equal(digest.begin(), digest.end(), expected.begin()))
        return Fail(EXIT_DATA, path + " does not decode to the executable its digest names");
    std::printf("result:            ok, decodes to exactly the expanded length and the digest\n");
    return EXIT_OK;
}

int Extract(const std::vector<std::string>& args)
{
    if (args.size() != 2)
        return UsageError("extract takes FILE.bin OUT");
    std::vector<unsigned char> resource;
    std::string error;
    if (!ReadFile(args[0], resource, error))
        return Fail(EXIT_DATA, error);
    std::vector<unsigned char> executable;
    const PayloadResult result = ExpandPayload(resource.data(), resource.size(), executable);
    if (result != PAYLOAD_OK)
        return Fail(EXIT_DATA, args[0] + ": " + DescribePayloadResult(result));
    if (!WriteFileAtomically(args[1], executable, error))
        return Fail(EXIT_DATA, error);
    std::printf("%s: %zu bytes\n", args[1].c_str(), executable.size());
    return EXIT_OK;
}

int Encode(const std::vector<std::string>& args)
{
    if (args.size() != 2)
        return UsageError("encode takes IN OUT");
    std::vector<unsigned char> input;
    std::string error;
    if (!ReadFile(args[0], input, error))
        return Fail(EXIT_DATA, error);
    if (input.size() > PAYLOAD_MAX_EXPANDED)
        return Fail(EXIT_DATA,
                    args[0] + " is larger than " + std::to_string(PAYLOAD_MAX_EXPANDED) + " bytes");
    const int inputLength = static_cast<int>(input.size());
    std::vector<unsigned char> stream(
        static_cast<std::size_t>(CGsLZSS::MaxEncodedSize(inputLength)));
    auto codec = std::make_unique<CGsLZSS>();
    const int written =
        codec->Encode(input.data(), stream.data(), inputLength, static_cast<int>(stream.size()));
    if (written < 0)
        return Fail(EXIT_DATA, "encoding " + args[0] + " overflowed its worst-case size");
    if (!WriteFileAtomically(args[1], stream.data(), static_cast<std::size_t>(written), error))
        return Fail(EXIT_DATA, error);
    std::printf("%s: %zu bytes -> %s: %d bytes\n", args[0].c_str(), input.size(), args[1].c_str(),
                written);
    return EXIT_OK;
}

int Decode(const std::vector<std::string>& args)
{
    if (args.size() != 3)
        return UsageError("decode takes IN OUT SIZE");
    std::uint64_t expected = 0;
    if (!ParseUnsignedNumber(args[2], PAYLOAD_MAX_EXPANDED, &expected))
        return UsageError("bad SIZE '" + args[2] + "': expected 0.." +
                          std::to_string(PAYLOAD_MAX_EXPANDED) + " (decimal or 0x hex)");
    std::vector<unsigned char> stream;
    std::string error;
    if (!ReadFile(args[0], stream, error))
        return Fail(EXIT_DATA, error);
    std::vector<unsigned char> output(static_cast<std::size_t>(expected));
    auto codec = std::make_unique<CGsLZSS>();
    const int fits = codec->Decode(stream.data(), output.data(), static_cast<int>(stream.size()),
                                   static_cast<int>(output.size()));
    if (fits == 0)
        return Fail(EXIT_DATA, args[0] + " decodes to more than " + args[2] + " bytes");
    if (static_cast<std::uint64_t>(codec->decodedSize) != expected)
        return Fail(EXIT_DATA, args[0] + " decodes to " + std::to_string(codec->decodedSize) +
                                   " bytes, not " + args[2]);
    if (!WriteFileAtomically(args[1], output, error))
        return Fail(EXIT_DATA, error);
    std::printf("%s: %zu bytes -> %s: %zu bytes\n", args[0].c_str(), stream.size(), args[1].c_str(),
                output.size());
    return EXIT_OK;
}

// The files of a release step, in OUT_DIR and in the build's resource folder.
constexpr char PAYLOAD_FILE[] = "LarkspurgleamPayload.bin";
constexpr char DESCRIPTION_FILE[] = "LarkspurgleamRelease.txt";
// Written by "stage" for the build: the step's values for the C++ sources and for the dialog's
// resource script.
constexpr char RELEASE_HEADER[] = "GsRelease.h";
constexpr char RELEASE_RC_HEADER[] = "GsReleaseText.h";

std::string JoinPath(const std::string& folder, const char* name)
{
    if (folder.empty())
        return name;
    const char last = folder.back();
    return last == '/' || last == '\\' ? folder + name : folder + "/" + name;
}

bool MakeFolder(const std::string& folder, std::string& error)
{
    std::error_code code;
    std::filesystem::create_directories(std::filesystem::u8path(folder), code);
    if (code || !std::filesystem::is_directory(std::filesystem::u8path(folder), code))
    {
        error = "cannot create the folder " + folder;
        return false;
    }
    return true;
}

// The four values as the description holds them.
ReleaseValues ValuesOf(const PeVersion& version)
{
    return {Utf16ToUtf8(version.strings.fileDescription),
            Utf16ToUtf8(version.strings.productVersion), Utf16ToUtf8(version.strings.productName),
            Utf16ToUtf8(version.strings.specialBuild)};
}

// The name of a value of `values` that code page 932 cannot show or that holds a control
// character (the updater could never match it, nor the description hold it); null when none.
const char* UnusableValue(const ReleaseValues& values)
{
    const struct
    {
        const char* name;
        const std::string& value;
    } all[] = {{"FileDescription", values.fileDescription},
               {"ProductVersion", values.productVersion},
               {"ProductName", values.productName},
               {"SpecialBuild", values.specialBuild}};
    for (const auto& entry : all)
    {
        std::u16string wide;
        bool lossless = Utf8ToUtf16(entry.value, &wide);
        Utf16ToCp932(wide, lossless ? &lossless : nullptr);
        for (char16_t c : wide)
            lossless = lossless && c >= 0x20 && c != 0x7F;
        if (!lossless)
            return entry.name;
    }
    return nullptr;
}

std::string Describe(const ReleaseValues& values, bool withSpecialBuild)
{
    std::string text = "FileDescription \"" + values.fileDescription + "\", ProductVersion \"" +
                       values.productVersion + "\", ProductName \"" + values.productName + "\"";
    if (withSpecialBuild)
        text += ", SpecialBuild \"" + values.specialBuild + "\"";
    return text;
}

// Reads a release's version values for "release"; false after reporting why not.
bool ReadRelease(const std::string& path, const char* role, std::vector<unsigned char>& bytes,
                 PeVersion& version, int& code)
{
    std::string error;
    if (!ReadFile(path, bytes, error))
    {
        code = Fail(EXIT_DATA, error);
        return false;
    }
    const PeResult result = ReadPeVersion(bytes.data(), bytes.size(), version);
    if (result != PE_OK)
    {
        code = Fail(EXIT_DATA, std::string(role) + " " + path + ": " + DescribePeResult(result));
        return false;
    }
    const char* unusable = UnusableValue(ValuesOf(version));
    if (unusable != nullptr)
    {
        code = Fail(EXIT_DATA, std::string(role) + " " + path + ": its " + unusable +
                                   " has characters that code page 932 cannot show");
        return false;
    }
    return true;
}

int Release(const std::vector<std::string>& args)
{
    std::vector<std::string> files;
    bool maskGiven = false;
    std::uint64_t mask = DEFAULT_MASK;
    for (std::size_t i = 0; i < args.size(); ++i)
    {
        const std::string& arg = args[i];
        if (arg == "--mask" || arg.compare(0, 7, "--mask=") == 0)
        {
            std::string maskText;
            if (arg == "--mask")
            {
                if (i + 1 == args.size())
                    return UsageError("--mask needs a value");
                maskText = args[++i];
            }
            else
                maskText = arg.substr(7);
            if (maskGiven)
                return UsageError("--mask given twice");
            maskGiven = true;
            if (!ParseUnsignedNumber(maskText, 255, &mask))
                return UsageError("bad mask '" + maskText +
                                  "': expected 0..255 (decimal or 0x hex)");
        }
        else if (arg.size() > 1 && arg[0] == '-')
            return UsageError("release: unknown option " + arg);
        else
            files.push_back(arg);
    }
    if (files.size() != 3)
        return UsageError("release takes OLD.exe NEW.exe OUT_DIR [--mask N]");
    const std::string& oldPath = files[0];
    const std::string& newPath = files[1];
    const std::string& outDir = files[2];

    std::vector<unsigned char> oldBytes;
    std::vector<unsigned char> newBytes;
    PeVersion oldVersion;
    PeVersion newVersion;
    int code = EXIT_OK;
    if (!ReadRelease(oldPath, "OLD", oldBytes, oldVersion, code) ||
        !ReadRelease(newPath, "NEW", newBytes, newVersion, code))
        return code;
    if (oldBytes == newBytes)
        return Fail(EXIT_DATA, oldPath + " and " + newPath + " are the same file: give the old " +
                                   "release and then the new one");
    if (oldVersion.pe32Plus != newVersion.pe32Plus || oldVersion.machine != newVersion.machine)
        return Fail(EXIT_DATA, "OLD " + oldPath + " is a " +
                                   (oldVersion.pe32Plus ? "64-bit" : "32-bit") +
                                   " program and NEW " + newPath + " a " +
                                   (newVersion.pe32Plus ? "64-bit" : "32-bit") +
                                   " one (or for another machine): a release step keeps the kind");
    if (oldBytes.size() > PAYLOAD_MAX_EXPANDED || newBytes.size() > PAYLOAD_MAX_EXPANDED)
        return Fail(EXIT_DATA, "a release larger than " + std::to_string(PAYLOAD_MAX_EXPANDED) +
                                   " bytes cannot be carried");

    ReleaseStep step;
    step.oldRelease = ValuesOf(oldVersion);
    step.newRelease = ValuesOf(newVersion);
    step.oldSize = static_cast<std::uint32_t>(oldBytes.size());
    step.newSize = static_cast<std::uint32_t>(newBytes.size());
    step.mask = static_cast<unsigned>(mask);
    const ReleaseValues oldCp932 = ToCp932(step.oldRelease);
    const ReleaseValues newCp932 = ToCp932(step.newRelease);
    auto same = [](const std::string& a, const std::string& b)
    { return VersionTextEquals(a.c_str(), b.c_str()) != 0; };
    if (same(oldCp932.fileDescription, newCp932.fileDescription) &&
        same(oldCp932.productVersion, newCp932.productVersion) &&
        same(oldCp932.productName, newCp932.productName))
        return Fail(EXIT_DATA,
                    newPath + " does not differ from " + oldPath + " in FileDescription, " +
                        "ProductVersion and ProductName (" + Describe(step.newRelease, false) +
                        "): the updater could not tell the new release from the old one");
    if (!newVersion.hasFixedInfo)
        return Fail(EXIT_DATA, "NEW " + newPath + ": the version resource has no fixed part, " +
                                   "so no version number to show");
    step.versionText = "Version " + std::to_string(newVersion.productVersionMs >> 16) + "." +
                       std::to_string(newVersion.productVersionMs & 0xFFFF) + "." +
                       std::to_string(newVersion.productVersionLs >> 16) + "." +
                       std::to_string(newVersion.productVersionLs & 0xFFFF);

    std::vector<unsigned char> container;
    if (!BuildPayload(newBytes.data(), newBytes.size(), static_cast<unsigned char>(step.mask),
                      container))
        return Fail(EXIT_DATA, "cannot build a container from " + newPath);
    const Sha256::Digest digest = Sha256::Of(newBytes.data(), newBytes.size());
    const std::string problem = CheckPayloadAgainstStep(step, container.data(), container.size(),
                                                        digest.data(), digest.size());
    if (!problem.empty())
        return Fail(EXIT_DATA,
                    "the payload built from " + newPath + " fails its check: " + problem);

    std::string error;
    const std::string description = FormatReleaseStep(step);
    const std::string payloadPath = JoinPath(outDir, PAYLOAD_FILE);
    const std::string descriptionPath = JoinPath(outDir, DESCRIPTION_FILE);
    // The digest first: a container never stands without the digest of what it holds.
    if (!MakeFolder(outDir, error) ||
        !WriteFileAtomically(DigestPath(payloadPath), digest.data(), digest.size(), error) ||
        !WriteFileAtomically(payloadPath, container, error) ||
        !WriteFileAtomically(descriptionPath,
                             reinterpret_cast<const unsigned char*>(description.data()),
                             description.size(), error))
        return Fail(EXIT_DATA, error);

    std::printf("release step in %s:\n", outDir.c_str());
    std::printf("  %-26s %zu bytes (mask %s)\n", PAYLOAD_FILE, container.size(),
                Hex(step.mask, 2).c_str());
    std::printf("  %-26s sha256 %s\n", (std::string(PAYLOAD_FILE) + ".sha256").c_str(),
                Sha256::ToHex(digest).c_str());
    std::printf("  %-26s the release description\n", DESCRIPTION_FILE);
    std::printf("An updater built from it (cmake --preset win32 -DGS_RELEASE=%s):\n",
                outDir.c_str());
    std::printf("  updates   a file of exactly %lu bytes with %s (as %s)\n",
                static_cast<unsigned long>(step.oldSize), Describe(step.oldRelease, true).c_str(),
                oldPath.c_str());
    std::printf("            to the new release, %lu bytes\n",
                static_cast<unsigned long>(step.newSize));
    std::printf("  reports   already updated: a file with %s (as %s)\n",
                Describe(step.newRelease, false).c_str(), newPath.c_str());
    std::printf("  refuses   every other file, and the old values at another size\n");
    std::printf("  shows     \xe3\x80\x90%s\xe3\x80\x91\n", step.versionText.c_str());
    return EXIT_OK;
}

// A C++ string literal holding `text` (UTF-8 in the source; the compiler makes it code page
// 932).
std::string CppLiteral(const std::string& text)
{
    std::string literal = "\"";
    for (char c : text)
    {
        if (c == '"' || c == '\\')
            literal += '\\';
        literal += c;
    }
    return literal + "\"";
}

// A string of a resource script: a quote is doubled there, and a backslash starts an escape.
std::string RcLiteral(const std::string& text)
{
    std::string literal = "\"";
    for (char c : text)
        literal += c == '"' ? "\"\"" : c == '\\' ? "\\\\" : std::string(1, c);
    return literal + "\"";
}

int Stage(const std::vector<std::string>& args)
{
    if (args.size() != 4 || (args[2] != "--payload" && args[2] != "--new-release"))
        return UsageError("stage takes DESCRIPTION OUT_DIR --payload FILE.bin | --new-release EXE");
    const std::string& descriptionPath = args[0];
    const std::string& outDir = args[1];
    std::vector<unsigned char> bytes;
    std::string error;
    if (!ReadFile(descriptionPath, bytes, error))
        return Fail(EXIT_DATA, error);
    ReleaseStep step;
    if (!ParseReleaseStep(std::string(bytes.begin(), bytes.end()), &step, &error))
        return Fail(EXIT_DATA, descriptionPath + ": " + error);
    for (const ReleaseValues* values : {&step.oldRelease, &step.newRelease})
    {
        const char* unusable = UnusableValue(*values);
        if (unusable != nullptr)
            return Fail(EXIT_DATA, descriptionPath + ": a " + unusable +
                                       " value has characters that code page 932 cannot show");
    }

    std::vector<unsigned char> source;
    if (!ReadFile(args[3], source, error))
        return Fail(EXIT_DATA, error);
    std::vector<unsigned char> container;
    std::vector<unsigned char> digest;
    if (args[2] == "--new-release")
    {
        if (!BuildPayload(source.data(), source.size(), static_cast<unsigned char>(step.mask),
                          container))
            return Fail(EXIT_DATA, "cannot build a container from " + args[3]);
        const Sha256::Digest sum = Sha256::Of(source.data(), source.size());
        digest.assign(sum.begin(), sum.end());
    }
    else
    {
        container.swap(source);
        if (!ReadFile(DigestPath(args[3]), digest, error))
            return Fail(EXIT_DATA, error + " (the updater refuses a payload without its digest)");
    }
    // A wrong new release is caught here, before anything is built around it.
    const std::string problem = CheckPayloadAgainstStep(step, container.data(), container.size(),
                                                        digest.data(), digest.size());
    if (!problem.empty())
        return Fail(EXIT_DATA,
                    args[3] + " is not the new release of " + descriptionPath + ": " + problem);

    const ReleaseValues& o = step.oldRelease;
    const ReleaseValues& n = step.newRelease;
    // The description's file name only: a path would make the headers, and so the build,
    // depend on where the tree lies.
    const std::string descriptionName =
        descriptionPath.substr(descriptionPath.find_last_of("/\\") + 1);
    const std::string header =
        "// Generated by \"gspayload stage\" from " + descriptionName +
        ": the release step this\n// updater carries. Edit the description, not this file.\n"
        "#pragma once\n\n"
        "#define GS_RELEASE_OLD_SIZE " +
        std::to_string(step.oldSize) +
        "\n"
        "#define GS_RELEASE_NEW_SIZE " +
        std::to_string(step.newSize) +
        "\n"
        "inline constexpr char GS_RELEASE_OLD_FILE_DESCRIPTION[] = " +
        CppLiteral(o.fileDescription) +
        ";\n"
        "inline constexpr char GS_RELEASE_OLD_PRODUCT_VERSION[] = " +
        CppLiteral(o.productVersion) +
        ";\n"
        "inline constexpr char GS_RELEASE_OLD_PRODUCT_NAME[] = " +
        CppLiteral(o.productName) +
        ";\n"
        "inline constexpr char GS_RELEASE_OLD_SPECIAL_BUILD[] = " +
        CppLiteral(o.specialBuild) +
        ";\n"
        "inline constexpr char GS_RELEASE_NEW_FILE_DESCRIPTION[] = " +
        CppLiteral(n.fileDescription) +
        ";\n"
        "inline constexpr char GS_RELEASE_NEW_PRODUCT_VERSION[] = " +
        CppLiteral(n.productVersion) +
        ";\n"
        "inline constexpr char GS_RELEASE_NEW_PRODUCT_NAME[] = " +
        CppLiteral(n.productName) + ";\n";
    std::uint16_t numbers[4];
    VersionNumbersOf(n.productVersion, numbers);
    const std::string rcHeader =
        "// Generated by \"gspayload stage\" from " + descriptionName +
        ": the dialog's version text\n// and the updater's own version values.\n"
        "#pragma once\n"
        "#define GS_RELEASE_VERSION_TEXT " +
        RcLiteral(step.versionText) +
        "\n"
        "#define GS_RELEASE_NEW_PRODUCT_VERSION " +
        RcLiteral(n.productVersion) +
        "\n"
        "#define GS_RELEASE_NEW_VERSION_NUMBERS " +
        std::to_string(numbers[0]) + "," + std::to_string(numbers[1]) + "," +
        std::to_string(numbers[2]) + "," + std::to_string(numbers[3]) + "\n";
    const std::string description = FormatReleaseStep(step);
    auto write = [&](const char* name, const std::string& text)
    {
        return WriteFileAtomically(JoinPath(outDir, name),
                                   reinterpret_cast<const unsigned char*>(text.data()), text.size(),
                                   error);
    };
    if (!MakeFolder(outDir, error) ||
        !WriteFileAtomically(DigestPath(JoinPath(outDir, PAYLOAD_FILE)), digest, error) ||
        !WriteFileAtomically(JoinPath(outDir, PAYLOAD_FILE), container, error) ||
        !write(DESCRIPTION_FILE, description) || !write(RELEASE_HEADER, header) ||
        !write(RELEASE_RC_HEADER, rcHeader))
        return Fail(EXIT_DATA, error);
    std::printf("%s: staged in %s (payload %zu bytes, %s)\n", descriptionPath.c_str(),
                outDir.c_str(), container.size(), step.versionText.c_str());
    return EXIT_OK;
}

int CheckUpdater(const std::vector<std::string>& args)
{
    if (args.size() != 1)
        return UsageError("check-updater takes UPDATER.exe");
    std::vector<unsigned char> bytes;
    std::string error;
    if (!ReadFile(args[0], bytes, error))
        return Fail(EXIT_DATA, error);
    std::string report;
    const bool ok = CheckUpdaterFile(bytes.data(), bytes.size(), &report);
    std::printf("updater: %s\n%s", args[0].c_str(), report.c_str());
    if (!ok)
        return Fail(EXIT_DATA, args[0] + " does not carry the release step it describes");
    return EXIT_OK;
}

int Run(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    for (const std::string& arg : args)
    {
        if (arg == "-h" || arg == "--help")
        {
            std::fputs(HELP, stdout);
            return EXIT_OK;
        }
    }
    if (args.empty())
        return UsageError("missing command");
    const std::string command = args.front();
    args.erase(args.begin());
    if (command == "build")
        return Build(args);
    if (command == "inspect")
        return Inspect(args);
    if (command == "extract")
        return Extract(args);
    if (command == "encode")
        return Encode(args);
    if (command == "decode")
        return Decode(args);
    if (command == "release")
        return Release(args);
    if (command == "stage")
        return Stage(args);
    if (command == "check-updater")
        return CheckUpdater(args);
    return UsageError("unknown command '" + command + "'");
}

} // namespace

int main(int argc, char** argv)
{
    try
    {
        const int code = Run(argc, argv);
        // A full disk or closed pipe on the report lines counts as an I/O failure.
        if (std::fflush(stdout) != 0 && code == EXIT_OK)
            return Fail(EXIT_DATA, "cannot write to standard output");
        return code;
    }
    catch (const std::bad_alloc&)
    {
        return Fail(EXIT_DATA, "out of memory");
    }
    catch (const std::exception& exception)
    {
        return Fail(EXIT_DATA, exception.what());
    }
}
