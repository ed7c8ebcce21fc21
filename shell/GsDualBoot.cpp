#include "GsDualBoot.h"

#include <sddl.h>

#include <initializer_list>

namespace
{

// SYSTEM, the administrators and every authenticated user: MUTEX_ALL_ACCESS (0x1F0001). Then
// a medium label that only refuses writing up (NW): without it an elevated creator's label
// (high) would refuse the rights CreateMutexA asks for to a program that is not elevated.
constexpr char SHARED_SECURITY[] =
    "D:(A;;0x1F0001;;;SY)(A;;0x1F0001;;;BA)(A;;0x1F0001;;;AU)S:(ML;;NW;;;ME)";
// The same access list alone, for systems that know no integrity labels and refuse the text.
constexpr char SHARED_SECURITY_WITHOUT_LABEL[] =
    "D:(A;;0x1F0001;;;SY)(A;;0x1F0001;;;BA)(A;;0x1F0001;;;AU)";

// A security descriptor converted from its text, freed with LocalFree at the end of the scope.
class SecurityDescriptor
{
public:
    SecurityDescriptor()
    {
        for (const char* text : {SHARED_SECURITY, SHARED_SECURITY_WITHOUT_LABEL})
        {
            if (ConvertStringSecurityDescriptorToSecurityDescriptorA(text, SDDL_REVISION_1,
                                                                     &descriptor, nullptr))
            {
                break;
            }
            descriptor = nullptr;
        }
    }
    ~SecurityDescriptor()
    {
        if (descriptor != nullptr)
        {
            LocalFree(descriptor);
        }
    }
    SecurityDescriptor(const SecurityDescriptor&) = delete;
    SecurityDescriptor& operator=(const SecurityDescriptor&) = delete;

    PSECURITY_DESCRIPTOR Get() const { return descriptor; }

private:
    PSECURITY_DESCRIPTOR descriptor = nullptr;
};

} // namespace

CGsDualBoot::~CGsDualBoot()
{
    Release();
}

int CGsDualBoot::Create(const char* name)
{
    return CreateWith(name, nullptr);
}

int CGsDualBoot::CreateShared(const char* name)
{
    const SecurityDescriptor descriptor;
    if (descriptor.Get() == nullptr)
    {
        // Refusing the guard here would stop every update; the default security still keeps
        // the name taken for programs of the creator's rights.
        return Create(name);
    }
    SECURITY_ATTRIBUTES attributes = {};
    attributes.nLength = sizeof(attributes);
    attributes.lpSecurityDescriptor = descriptor.Get();
    attributes.bInheritHandle = FALSE;
    return CreateWith(name, &attributes);
}

int CGsDualBoot::CreateWith(const char* name, SECURITY_ATTRIBUTES* attributes)
{
    Release();
    handle = CreateMutexA(attributes, FALSE, name);
    // Read at once: any later call may overwrite the last error.
    const DWORD error = GetLastError();
    return handle != nullptr && error != ERROR_ALREADY_EXISTS ? 1 : 0;
}

void CGsDualBoot::Release()
{
    if (handle != nullptr)
    {
        CloseHandle(handle);
        handle = nullptr;
    }
}
