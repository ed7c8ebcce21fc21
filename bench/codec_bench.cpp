// Measures CGsLZSS against the plain yardstick on the benchmark corpus, checks that both give
// the same streams and the same decoded bytes, and times the updater's own payload step.
// Usage: gs_codec_bench [--reps N] [--quick] CORPUS_DIR
// Exits 1 when a check fails or a file is missing; the speed figures only get printed.
#include "GsLZSS.h"
#include "LzssYardstick.h"
#include "PayloadContainer.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace
{
using Bytes = std::vector<unsigned char>;
using Clock = std::chrono::steady_clock;

constexpr double MEGABYTE = 1e6;

struct CorpusFile
{
    const char* label;
    const char* fileName;
};

// The order of the summary lines.
constexpr CorpusFile CORPUS[] = {
    {"pe", "pe.bin"},       {"text", "text.txt"}, {"random", "random.bin"},
    {"zeros", "zeros.bin"}, {"runs", "runs.bin"},
};

bool ReadFile(const std::string& path, Bytes& out)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
    {
        return false;
    }
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

// Keeps the compiler from dropping work whose result is not otherwise read.
void Touch(const void* p)
{
    asm volatile("" : : "r"(p) : "memory");
}

template <typename F> double Seconds(F&& work)
{
    const Clock::time_point start = Clock::now();
    work();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double Fastest(const std::vector<double>& v)
{
    return v.empty() ? 0 : *std::min_element(v.begin(), v.end());
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

double Rate(std::size_t bytes, double seconds)
{
    return seconds > 0 ? static_cast<double>(bytes) / MEGABYTE / seconds : 0;
}

struct Timings
{
    std::vector<double> encode, yardEncode, decode, yardDecode, copy;
};

struct FileState
{
    CorpusFile file;
    Bytes data;
    Bytes stream, yardStream, output, yardOutput, copy;
    int streamSize = 0;
    Timings t;
    std::vector<std::string> failures;
};

void Fail(FileState& f, const std::string& what)
{
    if (std::find(f.failures.begin(), f.failures.end(), what) == f.failures.end())
    {
        f.failures.push_back(what);
    }
}

// One repetition of every measurement on one file, in the order given by `yardFirst`, then the
// checks on what they produced.
void RunOnce(FileState& f, CGsLZSS& codec, CLzssYardstick& yard, bool yardFirst)
{
    const int n = static_cast<int>(f.data.size());
    const int capacity = CGsLZSS::MaxEncodedSize(n);
    int encoded = -1;
    int yardEncoded = -1;
    const auto encodeCodec = [&]
    {
        f.t.encode.push_back(
            Seconds([&] { encoded = codec.Encode(f.data.data(), f.stream.data(), n, capacity); }));
    };
    const auto encodeYard = [&]
    {
        f.t.yardEncode.push_back(Seconds(
            [&] { yardEncoded = yard.Encode(f.data.data(), f.yardStream.data(), n, capacity); }));
    };
    if (yardFirst)
    {
        encodeYard();
        encodeCodec();
    }
    else
    {
        encodeCodec();
        encodeYard();
    }
    if (encoded < 0 || encoded != yardEncoded ||
        std::memcmp(f.stream.data(), f.yardStream.data(), static_cast<std::size_t>(encoded)) != 0)
    {
        Fail(f, "streams differ");
        return;
    }
    f.streamSize = encoded;

    int decoded = 0;
    int yardDecoded = 0;
    const auto decodeCodec = [&]
    {
        f.t.decode.push_back(
            Seconds([&] { decoded = codec.Decode(f.stream.data(), f.output.data(), encoded, n); }));
    };
    const auto decodeYard = [&]
    {
        f.t.yardDecode.push_back(Seconds(
            [&]
            { yardDecoded = yard.Decode(f.yardStream.data(), f.yardOutput.data(), encoded, n); }));
    };
    std::fill(f.output.begin(), f.output.end(), 0xCC);
    std::fill(f.yardOutput.begin(), f.yardOutput.end(), 0x33);
    if (yardFirst)
    {
        decodeYard();
        decodeCodec();
    }
    else
    {
        decodeCodec();
        decodeYard();
    }
    if (decoded != 1 || yardDecoded != 1 || codec.decodedSize != n || yard.decodedSize != n ||
        f.output != f.data || f.yardOutput != f.data)
    {
        Fail(f, "decoded output differs");
    }

    // The ceiling: a plain copy of the same buffer, a few times to rise above the clock.
    constexpr int COPIES = 8;
    const double copySeconds = Seconds(
        [&]
        {
            for (int i = 0; i < COPIES; ++i)
            {
                std::memcpy(f.copy.data(), f.data.data(), f.data.size());
                Touch(f.copy.data());
            }
        });
    f.t.copy.push_back(copySeconds / COPIES);
}

// The updater's step on a container built from `executable`: header checks, unscrambling a
// copy of the body, decoding into a zero-filled buffer. The yardstick version does the same
// with the plain loops, for comparison.
void UnscramblePlain(unsigned char* body, int length, unsigned char mask)
{
    for (int i = 0; i < length; ++i)
    {
        body[i] = static_cast<unsigned char>(body[i] ^ (i & mask));
    }
}

bool YardstickStep(const Bytes& container, Bytes& executable)
{
    PayloadHeader header;
    if (ReadPayloadHeader(container.data(), container.size(), header) != PAYLOAD_OK)
    {
        return false;
    }
    Bytes body(container.begin() + PAYLOAD_HEADER_SIZE,
               container.begin() + PAYLOAD_HEADER_SIZE + header.compressedLength);
    const int bodyLength = static_cast<int>(header.compressedLength);
    UnscramblePlain(body.data(), bodyLength, static_cast<unsigned char>(header.mask));
    Bytes expanded(header.expandedLength, 0);
    auto yard = std::make_unique<CLzssYardstick>();
    yard->Decode(body.data(), expanded.data(), bodyLength, static_cast<int>(header.expandedLength));
    executable.swap(expanded);
    return true;
}

bool MeasureUpdaterStep(const Bytes& executable, int reps, double decodeSeconds)
{
    Bytes container;
    if (!BuildPayload(executable.data(), executable.size(), 0xA7, container))
    {
        std::printf("updater step: FAILED to build the container\n");
        return false;
    }
    std::vector<double> step, yardStep;
    bool ok = true;
    for (int rep = 0; rep < reps; ++rep)
    {
        Bytes out, yardOut;
        PayloadResult result = PAYLOAD_OK;
        const auto runStep = [&]
        {
            step.push_back(
                Seconds([&] { result = ExpandPayload(container.data(), container.size(), out); }));
        };
        const auto runYard = [&]
        { yardStep.push_back(Seconds([&] { YardstickStep(container, yardOut); })); };
        if (rep % 2)
        {
            runYard();
            runStep();
        }
        else
        {
            runStep();
            runYard();
        }
        ok = ok && result == PAYLOAD_OK && out == executable && yardOut == executable;
    }
    const double s = Median(step);
    const double y = Median(yardStep);
    std::printf("updater step (pe, container %zu bytes -> %zu bytes): %.2f ms, %.0f MB/s; "
                "yardstick %.2f ms; x%.2f%s\n",
                container.size(), executable.size(), s * 1e3, Rate(executable.size(), s), y * 1e3,
                s > 0 ? y / s : 0.0, ok ? "" : "  CHECK FAILED");
    std::printf("updater step: of which the decode alone takes %.2f ms; the rest is the fresh, "
                "zero-filled buffers and the unscrambling\n",
                decodeSeconds * 1e3);
    std::printf("updater step ms=%.3f yardstick_ms=%.3f speedup=%.2f\n", s * 1e3, y * 1e3,
                s > 0 ? y / s : 0.0);
    return ok;
}
} // namespace

int main(int argc, char** argv)
{
    int reps = 7;
    std::string dir;
    for (int i = 1; i < argc; ++i)
    {
        const std::string arg = argv[i];
        if (arg == "--quick")
        {
            reps = 1;
        }
        else if (arg == "--reps" && i + 1 < argc)
        {
            reps = std::max(1, std::atoi(argv[++i]));
        }
        else if (!arg.empty() && arg[0] != '-')
        {
            dir = arg;
        }
        else
        {
            std::fprintf(stderr, "usage: %s [--reps N] [--quick] CORPUS_DIR\n", argv[0]);
            return 2;
        }
    }
    if (dir.empty())
    {
        std::fprintf(stderr, "usage: %s [--reps N] [--quick] CORPUS_DIR\n", argv[0]);
        return 2;
    }

    std::vector<FileState> files;
    for (const CorpusFile& c : CORPUS)
    {
        FileState f;
        f.file = c;
        if (!ReadFile(dir + "/" + c.fileName, f.data) || f.data.empty())
        {
            std::fprintf(stderr, "missing or empty corpus file %s/%s\n", dir.c_str(), c.fileName);
            return 1;
        }
        const std::size_t capacity =
            static_cast<std::size_t>(CGsLZSS::MaxEncodedSize(static_cast<int>(f.data.size())));
        f.stream.resize(capacity);
        f.yardStream.resize(capacity);
        f.output.resize(f.data.size());
        f.yardOutput.resize(f.data.size());
        f.copy.resize(f.data.size());
        files.push_back(std::move(f));
    }

    auto codec = std::make_unique<CGsLZSS>();
    auto yard = std::make_unique<CLzssYardstick>();
    // Interleaved: every repetition visits every file, alternating which coder runs first.
    for (int rep = 0; rep < reps; ++rep)
    {
        for (FileState& f : files)
        {
            RunOnce(f, *codec, *yard, rep % 2 == 1);
        }
    }

    std::printf("codec vs yardstick, median of %d interleaved repetitions, MB = 10^6 bytes\n",
                reps);
    std::printf("%-7s %9s %9s %6s | %8s %8s %6s | %8s %8s %6s | %8s | %s\n", "file", "bytes",
                "stream", "ratio", "enc MB/s", "yard", "x", "dec MB/s", "yard", "x", "memcpy",
                "check");
    bool allOk = true;
    std::string encodeLine = "encode speedup";
    std::string decodeLine = "decode speedup";
    // The same ratios from each side's fastest repetition: on a shared machine, the run least
    // disturbed by other work.
    std::string encodeBestLine = "encode speedup-fastest";
    std::string decodeBestLine = "decode speedup-fastest";
    for (FileState& f : files)
    {
        const std::size_t n = f.data.size();
        const bool ok = f.failures.empty();
        allOk = allOk && ok;
        std::string check = ok ? "identical" : "";
        for (const std::string& why : f.failures)
        {
            check += (check.empty() ? "FAILED: " : ", ") + why;
        }
        if (f.t.decode.empty())
        {
            std::printf("%-7s %9zu %9s | %s\n", f.file.label, n, "-", check.c_str());
            encodeLine += std::string(" ") + f.file.label + "=fail";
            decodeLine += std::string(" ") + f.file.label + "=fail";
            encodeBestLine += std::string(" ") + f.file.label + "=fail";
            decodeBestLine += std::string(" ") + f.file.label + "=fail";
            continue;
        }
        const double enc = Median(f.t.encode);
        const double yEnc = Median(f.t.yardEncode);
        const double dec = Median(f.t.decode);
        const double yDec = Median(f.t.yardDecode);
        const double encX = enc > 0 ? yEnc / enc : 0;
        const double decX = dec > 0 ? yDec / dec : 0;
        std::printf("%-7s %9zu %9d %5.1f%% | %8.1f %8.1f %6.2f | %8.1f %8.1f %6.2f | %8.0f | %s\n",
                    f.file.label, n, f.streamSize, 100.0 * f.streamSize / static_cast<double>(n),
                    Rate(n, enc), Rate(n, yEnc), encX, Rate(n, dec), Rate(n, yDec), decX,
                    Rate(n, Median(f.t.copy)), check.c_str());
        char item[64];
        std::snprintf(item, sizeof(item), " %s=%.2f", f.file.label, encX);
        encodeLine += item;
        std::snprintf(item, sizeof(item), " %s=%.2f", f.file.label, decX);
        decodeLine += item;
        std::snprintf(item, sizeof(item), " %s=%.2f", f.file.label,
                      Fastest(f.t.yardEncode) / Fastest(f.t.encode));
        encodeBestLine += item;
        std::snprintf(item, sizeof(item), " %s=%.2f", f.file.label,
                      Fastest(f.t.yardDecode) / Fastest(f.t.decode));
        decodeBestLine += item;
    }
    std::printf("%s\n%s\n%s\n%s\n", encodeLine.c_str(), decodeLine.c_str(), encodeBestLine.c_str(),
                decodeBestLine.c_str());

    const double peDecode = files[0].t.decode.empty() ? 0 : Median(files[0].t.decode);
    if (!MeasureUpdaterStep(files[0].data, std::max(reps, 5), peDecode))
    {
        allOk = false;
    }
    std::printf("check %s\n", allOk ? "ok" : "FAILED");
    return allOk ? 0 : 1;
}
