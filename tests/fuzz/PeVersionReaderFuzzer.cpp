// The program-file reader that the publisher's tool and the diagnostic run on files they are
// handed, from the seeds (small PE32 and PE32+ files with a version and two "BIN" resources,
// made by PeTestImage.h): nothing may be read outside the file, what is found lies inside it.

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
