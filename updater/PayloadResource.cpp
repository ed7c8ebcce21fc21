#include "PayloadResource.h"

#include "PayloadContainer.h"
#include "UpdaterResources.h"

#include <algorithm>

namespace
{

constexpr char PAYLOAD_TYPE[] = "BIN";

// The bytes of one resource of the module, or null with size 0 when there is none.
const unsigned char* FindBinary(HMODULE module, int id, DWORD& size)
{
    size = 0;
    HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(id), PAYLOAD_TYPE);
    if (resource == nullptr)
    {
        return nullptr;
    }
    HGLOBAL loaded = LoadResource(module, resource);
    const void* data = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (data == nullptr)
    {
        return nullptr;
    }
    size = SizeofResource(module, resource);
    return static_cast<const unsigned char*>(data);
}

} // namespace

int LoadPayload(HMODULE module, std::vector<unsigned char>& executable, PayloadDigest& digest)
{
    executable.clear();
    DWORD size = 0;
    DWORD digestSize = 0;
    const unsigned char* payload = FindBinary(module, IDR_PAYLOAD, size);
    const unsigned char* expected = FindBinary(module, IDR_PAYLOAD_DIGEST, digestSize);
    if (payload == nullptr || size == 0 || expected == nullptr || digestSize != digest.size())
    {
        return 0;
    }
    // The resource stays as it is in the image; the container is read from a copy.
    const std::vector<unsigned char> copy(payload, payload + size);
    if (ExpandPayload(copy.data(), copy.size(), executable) != PAYLOAD_OK ||
        !DigestOfBytes(executable.data(), executable.size(), digest) ||
        !std::equal(digest.begin(), digest.end(), expected))
    {
        executable.clear();
        return 0;
    }
    return 1;
}
