// The program-file reader from the seeds (PeTestImage.h's PE32 and PE32+ files): nothing is read
// outside the file, and what is found lies inside it.

#include "FuzzCheck.h"
#include "PeVersionReader.h"

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::vector<unsigned char> file(data, data + size); // exactly `size` bytes: no slack
    PeVersion version;
    const PeResult result = ReadPeVersion(file.data(), size, version);
    FUZZ_CHECK(result >= PE_OK && result <= PE_NO_TRANSLATION && *DescribePeResult(result) != 0);
    PeFile pe;
    const unsigned char* found = nullptr;
    std::size_t length = 0;
    if (pe.Open(file.data(), size) == PE_OK &&
        pe.LocateResource("BIN", 0, 109, &found, &length) == PE_OK)
        FUZZ_CHECK(found >= file.data() && found + length <= file.data() + size);
    return 0;
}
