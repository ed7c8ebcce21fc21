// Fuzz target for the program-file reader that the publisher's tool and the diagnostic run on
// files they are handed: ReadPeVersion and a named resource lookup on arbitrary bytes, and on
// a well-formed file (PeTestImage.h) with the input's bytes written over part of it, so that
// the search starts deep inside the structures. Nothing may be read outside the input, and
// what is found must lie inside it.

#include "FuzzCheck.h"
#include "PeTestImage.h"
#include "PeVersionReader.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace
{

void Exercise(const unsigned char* data, std::size_t size)
{
    PeVersion version;
    const PeResult result = ReadPeVersion(data, size, version);
    FUZZ_CHECK(result >= PE_OK && result <= PE_NO_TRANSLATION);
    FUZZ_CHECK(DescribePeResult(result)[0] != '\0');
    if (result != PE_OK)
        return;
    PeFile file;
    FUZZ_CHECK(file.Open(data, size) == PE_OK);
    const unsigned char* resource = nullptr;
    std::size_t length = 0;
    if (file.LocateResource("BIN", 0, 109, &resource, &length) == PE_OK)
        FUZZ_CHECK(resource >= data && length <= size &&
                   resource - data <= static_cast<std::ptrdiff_t>(size - length));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Through a copy of exactly `size` bytes, so that the sanitizers see every overread.
    const std::vector<unsigned char> raw(data, data + size);
    Exercise(raw.data(), raw.size());

    // The first two bytes choose where in a valid file the rest lands.
    if (size < 3)
        return 0;
    petest::ImageLayout layout;
    layout.pe32Plus = (data[0] & 1) != 0;
    layout.bin = {1, 2, 3};
    std::vector<unsigned char> image = petest::MakeImage(layout).bytes;
    const std::size_t at = (static_cast<std::size_t>(data[0]) << 8 | data[1]) % image.size();
    for (std::size_t i = 2; i < size && at + i - 2 < image.size(); ++i)
        image[at + i - 2] = data[i];
    // Now and then cut off the end too.
    if ((data[1] & 0x80) != 0)
        image.resize(image.size() - data[size - 1] % image.size());
    Exercise(image.data(), image.size());
    return 0;
}
