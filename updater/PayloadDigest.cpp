#include "PayloadDigest.h"

#include <windows.h>

#include <wincrypt.h>

#include <vector>

namespace
{

constexpr DWORD READ_CHUNK = 64 * 1024;

// One SHA-256 computation; the provider and the hash are released on every path.
class Sha256Context
{
public:
    Sha256Context()
    {
        if (CryptAcquireContextA(&provider, nullptr, nullptr, PROV_RSA_AES,
                                 CRYPT_VERIFYCONTEXT | CRYPT_SILENT) &&
            !CryptCreateHash(provider, CALG_SHA_256, 0, 0, &hash))
        {
            hash = 0;
        }
    }
    ~Sha256Context()
    {
        if (hash != 0)
        {
            CryptDestroyHash(hash);
        }
        if (provider != 0)
        {
            CryptReleaseContext(provider, 0);
        }
    }
    Sha256Context(const Sha256Context&) = delete;
    Sha256Context& operator=(const Sha256Context&) = delete;

    bool Update(const unsigned char* data, std::size_t size)
    {
        while (hash != 0 && size > 0)
        {
            const DWORD chunk = size < READ_CHUNK ? static_cast<DWORD>(size) : READ_CHUNK;
            if (!CryptHashData(hash, data, chunk, 0))
            {
                return false;
            }
            data += chunk;
            size -= chunk;
        }
        return hash != 0;
    }

    bool Finish(PayloadDigest& digest)
    {
        DWORD length = static_cast<DWORD>(digest.size());
        return hash != 0 && CryptGetHashParam(hash, HP_HASHVAL, digest.data(), &length, 0) &&
               length == digest.size();
    }

private:
    HCRYPTPROV provider = 0;
    HCRYPTHASH hash = 0;
};

} // namespace

bool DigestOfBytes(const unsigned char* data, std::size_t size, PayloadDigest& digest)
{
    Sha256Context context;
    return (size == 0 || data != nullptr) && context.Update(data, size) && context.Finish(digest);
}

bool DigestOfFile(const char* path, PayloadDigest& digest)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE)
    {
        return false;
    }
    const bool ok = DigestOfHandle(file, digest);
    CloseHandle(file);
    return ok;
}

bool DigestOfHandle(void* file, PayloadDigest& digest)
{
    Sha256Context context;
    std::vector<unsigned char> buffer(READ_CHUNK);
    for (;;)
    {
        DWORD got = 0;
        if (!ReadFile(file, buffer.data(), READ_CHUNK, &got, nullptr))
        {
            return false;
        }
        if (got == 0)
        {
            break;
        }
        if (!context.Update(buffer.data(), got))
        {
            return false;
        }
    }
    return context.Finish(digest);
}
