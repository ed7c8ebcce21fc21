// The component factory: the operation of CGsUtility that hands out the library's registry,
// shortcut, file-search and install-manager components by identifier.
#include "GsComponentIds.h"
#include "GsInstallManager.h"
#include "GsRegistry.h"
#include "GsSearchFile.h"
#include "GsShortcut.h"
#include "GsUtility.h"

#include <cstring>

namespace
{

// All 16 bytes, as they lie in memory.
bool SameIdentifier(const GUID& left, const GUID& right)
{
    return std::memcmp(&left, &right, sizeof(GUID)) == 0;
}

} // namespace

HRESULT CGsUtility::CreateComponent(const GUID& identifier, IGsInterface** component)
{
    if (component == nullptr)
    {
        return E_FAIL;
    }
    *component = nullptr;

    // Tested in this order; each call makes a new object that only the caller owns. Allocation
    // failures pass on as exceptions (a throwing constructor's memory is freed by new itself).
    IGsInterface* made = nullptr;
    if (SameIdentifier(identifier, IID_IGsRegistry))
    {
        made = new CGsRegistry();
    }
    else if (SameIdentifier(identifier, IID_IGsShortcut))
    {
        made = new CGsShortcut();
    }
    else if (SameIdentifier(identifier, IID_IGsSearchFile))
    {
        made = new CGsSearchFile();
    }
    else if (SameIdentifier(identifier, IID_IGsInstallManager))
    {
        made = new CGsInstallManager();
    }
    else
    {
        return E_FAIL;
    }
    made->Initialize();
    *component = made;
    return S_OK;
}
