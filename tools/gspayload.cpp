// gspayload: builds, inspects and unpacks the payload container the updater carries, and
// exposes the raw LZSS stream for diagnosis. Standard library only, so the same source
// builds on the publisher's Linux hosts and as a Windows console program.

#include "GsLZSS.h"
#include "PayloadContainer.h"
#include "Sha256.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
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

// Parses a decimal or 0x-prefixed hex number no larger than `limit`; signs, spaces and
// trailing characters are rejected.
bool ParseNumber(const std::string& text, std::uint64_t limit, std::uint64_t& value)
{
    std::size_t position = 0;
    unsigned base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
    {
        base = 16;
        position = 2;
    }
    if (position >= text.size())
        return false;
    value = 0;
    for (; position < text.size(); ++position)
    {
        const char c = text[position];
        unsigned digit;
        if (c >= '0' && c <= '9')
            digit = static_cast<unsigned>(c - '0');
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = static_cast<unsigned>(c - 'a' + 10);
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = static_cast<unsigned>(c - 'A' + 10);
        else
            return false;
        value = value * base + digit;
        if (value > limit)
            return false;
    }
    return true;
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
        if (!ParseNumber(maskText, 255, mask))
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
    if (!ParseNumber(args[2], PAYLOAD_MAX_EXPANDED, expected))
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
