// Runs a fuzz target without libFuzzer, for the builds that have none (g++ on the host,
// MinGW for Windows): a fixed, seeded set of inputs, then every file named on the command
// line (a corpus entry or a crash to replay). The same inputs every run, so a failure here
// reproduces; the libFuzzer build is where new inputs get explored.
//
// Every target receives every input shape: random bytes, raw LZSS streams behind a two-byte
// capacity, and payload containers, each valid and mutated. A target reads its own shape
// out of the bytes and takes the others as noise.

#include "GsLZSS.h"
#include "PayloadContainer.h"

#include <algorithm>
#include <csignal>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace
{

using Bytes = std::vector<unsigned char>;

// splitmix64: small, and identical on every compiler and target.
class Random
{
public:
    explicit Random(std::uint64_t seed) : state(seed) {}

    std::uint64_t Next()
    {
        std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // Uniform enough in [0, bound) for test data; bound must be positive.
    std::size_t Below(std::size_t bound) { return static_cast<std::size_t>(Next() % bound); }
    unsigned char Byte() { return static_cast<unsigned char>(Next()); }
    // Mostly small sizes, now and then a large one: small inputs reach the edge cases, large
    // ones reach the far end of the ring and long match chains.
    std::size_t Size(std::size_t limit)
    {
        const std::size_t scale = Below(4) == 0 ? limit : limit / 16 + 1;
        return Below(scale + 1);
    }

private:
    std::uint64_t state;
};

Bytes RandomBytes(Random& random, std::size_t size)
{
    Bytes bytes(size);
    for (unsigned char& b : bytes)
        b = random.Byte();
    return bytes;
}

// Data with the structure an executable has: runs, zeros (which match the ring's initial
// contents), repeated phrases near and far, text, and incompressible stretches.
Bytes SampleData(Random& random, std::size_t size)
{
    Bytes data;
    data.reserve(size);
    static const char* const words[] = {"MZ",     "PE\0\0", ".text", ".rdata",    "kernel32",
                                        "update", "\r\n",   "    ",  "0123456789"};
    while (data.size() < size)
    {
        const std::size_t piece = 1 + random.Below(64);
        switch (random.Below(6))
        {
        case 0:
            data.insert(data.end(), piece, 0);
            break;
        case 1:
            data.insert(data.end(), piece, random.Byte());
            break;
        case 2:
        {
            const char* word = words[random.Below(sizeof words / sizeof words[0])];
            data.insert(data.end(), word, word + std::strlen(word) + random.Below(2));
            break;
        }
        case 3:
            if (!data.empty())
            {
                // Copy from up to a little beyond the ring's reach, overlapping allowed.
                const std::size_t distance =
                    1 + random.Below(std::min<std::size_t>(data.size(), CGsLZSS::RING_SIZE + 64));
                const std::size_t from = data.size() - distance;
                for (std::size_t i = 0; i < piece; ++i)
                    data.push_back(data[from + i]);
            }
            break;
        default:
        {
            const Bytes noise = RandomBytes(random, piece);
            data.insert(data.end(), noise.begin(), noise.end());
            break;
        }
        }
    }
    data.resize(size);
    return data;
}

void Mutate(Random& random, Bytes& bytes)
{
    const std::size_t edits = 1 + random.Below(4);
    for (std::size_t e = 0; e < edits; ++e)
    {
        switch (random.Below(5))
        {
        case 0:
            if (!bytes.empty())
                bytes[random.Below(bytes.size())] ^=
                    static_cast<unsigned char>(1u << random.Below(8));
            break;
        case 1:
            if (!bytes.empty())
                bytes[random.Below(bytes.size())] = random.Byte();
            break;
        case 2:
            bytes.resize(random.Below(bytes.size() + 1));
            break;
        case 3:
            bytes.insert(bytes.begin() +
                             static_cast<std::ptrdiff_t>(random.Below(bytes.size() + 1)),
                         random.Byte());
            break;
        default:
            if (!bytes.empty())
                bytes.erase(bytes.begin() +
                            static_cast<std::ptrdiff_t>(random.Below(bytes.size())));
            break;
        }
    }
}

void PutU32(Bytes& bytes, std::size_t offset, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[offset + i] = static_cast<unsigned char>(value >> (8 * i));
}

std::uint32_t GetU32(const Bytes& bytes, std::size_t offset)
{
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = value << 8 | bytes[offset + i];
    return value;
}

Bytes WithCapacity(std::size_t capacity, const Bytes& stream)
{
    Bytes input{static_cast<unsigned char>(capacity), static_cast<unsigned char>(capacity >> 8)};
    input.insert(input.end(), stream.begin(), stream.end());
    return input;
}

// Raw streams: valid ones with capacities around the exact size, then mutated ones.
void AddStreams(Random& random, int count, std::vector<Bytes>& inputs)
{
    auto codec = std::make_unique<CGsLZSS>();
    for (int n = 0; n < count; ++n)
    {
        const Bytes data = SampleData(random, random.Size(0xFFFF));
        Bytes stream(
            static_cast<std::size_t>(CGsLZSS::MaxEncodedSize(static_cast<int>(data.size()))));
        const int written = codec->Encode(data.data(), stream.data(), static_cast<int>(data.size()),
                                          static_cast<int>(stream.size()));
        if (written < 0)
        {
            std::fprintf(stderr, "standalone driver: Encode failed within its own bound\n");
            std::abort();
        }
        stream.resize(static_cast<std::size_t>(written));
        const std::size_t exact = data.size();
        for (std::size_t capacity : {exact, exact + 1, exact - (exact > 0), random.Below(0x10000)})
            inputs.push_back(WithCapacity(capacity, stream));
        for (int m = 0; m < 2; ++m)
        {
            Bytes mutated = WithCapacity(exact + random.Below(64), stream);
            Mutate(random, mutated);
            inputs.push_back(std::move(mutated));
        }
    }
}

// Containers: valid ones, header fields nudged, bodies damaged.
void AddContainers(Random& random, int count, std::vector<Bytes>& inputs)
{
    for (int n = 0; n < count; ++n)
    {
        const Bytes data = SampleData(random, 1 + random.Size(0x8000));
        Bytes container;
        if (!BuildPayload(data.data(), data.size(), random.Byte(), container))
        {
            std::fprintf(stderr, "standalone driver: BuildPayload refused %zu bytes\n",
                         data.size());
            std::abort();
        }
        inputs.push_back(container);

        // Reserved bytes are ignored; they also give the stream target a capacity.
        Bytes reserved = container;
        for (std::size_t i = 0; i < 52; ++i)
            reserved[i] = random.Byte();
        PutU32(reserved, 56, GetU32(reserved, 56) | static_cast<std::uint32_t>(random.Next()) << 8);
        reserved.push_back(random.Byte()); // trailing bytes are ignored too
        inputs.push_back(std::move(reserved));

        Bytes nudged = container;
        const std::size_t field = 52 + 4 * random.Below(3);
        const std::uint32_t deltas[] = {1, 0xFFFFFFFFu, 0x100, 0x1000000};
        PutU32(nudged, field, GetU32(nudged, field) + deltas[random.Below(4)]);
        inputs.push_back(std::move(nudged));

        Bytes truncated = container;
        truncated.resize(random.Below(container.size()));
        inputs.push_back(std::move(truncated));

        for (int m = 0; m < 2; ++m)
        {
            Bytes mutated = container;
            Mutate(random, mutated);
            inputs.push_back(std::move(mutated));
        }
    }
}

std::vector<Bytes> GeneratedInputs()
{
    Random random(0x6773'7061'796C'6F61ull);
    std::vector<Bytes> inputs;
    inputs.push_back({});
    inputs.push_back({0x00});
    inputs.push_back({0xFF, 0xFF});
    inputs.push_back(Bytes(PAYLOAD_HEADER_SIZE, 0));
    inputs.push_back(Bytes(PAYLOAD_HEADER_SIZE - 1, 0xFF));
    // Capacity 0xFFFF and streams of longest references only, the most a stream can expand:
    // one that fits and one that overruns.
    for (int groups : {256, 512})
    {
        Bytes references = {0xFF, 0xFF};
        for (int group = 0; group < groups; ++group)
        {
            references.push_back(0x00);
            for (int item = 0; item < 8; ++item)
            {
                references.push_back(random.Byte());
                references.push_back(static_cast<unsigned char>(random.Byte() | 0x0F));
            }
        }
        inputs.push_back(std::move(references));
    }
    for (int n = 0; n < 600; ++n)
        inputs.push_back(RandomBytes(random, random.Size(4096)));
    AddStreams(random, 250, inputs);
    AddContainers(random, 250, inputs);
    return inputs;
}

bool ReadFile(const char* path, Bytes& data)
{
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr)
        return false;
    data.clear();
    unsigned char chunk[4096];
    std::size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0)
        data.insert(data.end(), chunk, chunk + got);
    const bool ok = !std::ferror(file);
    std::fclose(file);
    return ok;
}

// Which input was running when a check aborted, for the report.
volatile std::sig_atomic_t currentInput = -1;
const char* currentFile = nullptr;

extern "C" void ReportAbort(int)
{
    if (currentFile != nullptr)
        std::fprintf(stderr, "standalone driver: aborted on file %s\n", currentFile);
    else
        std::fprintf(stderr, "standalone driver: aborted on generated input #%d\n",
                     static_cast<int>(currentInput));
    std::signal(SIGABRT, SIG_DFL);
    std::abort();
}

void RunOne(const Bytes& input)
{
    // A private copy of exactly the input's size, so the sanitizers catch any read beyond it;
    // never a null pointer, as with libFuzzer.
    const std::unique_ptr<std::uint8_t[]> copy(new std::uint8_t[input.empty() ? 1 : input.size()]);
    std::copy(input.begin(), input.end(), copy.get());
    LLVMFuzzerTestOneInput(copy.get(), input.size());
}

} // namespace

int main(int argc, char** argv)
{
    std::signal(SIGABRT, ReportAbort);
    const std::vector<Bytes> inputs = GeneratedInputs();
    for (std::size_t i = 0; i < inputs.size(); ++i)
    {
        currentInput = static_cast<std::sig_atomic_t>(i);
        RunOne(inputs[i]);
    }
    Bytes data;
    for (int i = 1; i < argc; ++i)
    {
        if (!ReadFile(argv[i], data))
        {
            std::fprintf(stderr, "standalone driver: cannot read %s\n", argv[i]);
            return 1;
        }
        currentFile = argv[i];
        RunOne(data);
    }
    std::printf("%zu generated inputs and %d files passed\n", inputs.size(), argc - 1);
    return 0;
}
