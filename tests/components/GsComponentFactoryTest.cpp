// The component factory as a program meets it: four identifiers, each giving a new component of
// its kind that works and that belongs to the caller alone.
#include "GsComponentIds.h"
#include "GsInstallManager.h"
#include "GsRegistry.h"
#include "GsSearchFile.h"
#include "GsShortcut.h"
#include "GsTestFiles.h"
#include "GsUtility.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

namespace
{

// The identifiers as they lie in memory, from their registry forms: the first three fields
// little-endian, then the last eight bytes in order.
const unsigned char kRegistryBytes[16] = {0x29, 0xF8, 0x0C, 0x26, 0xBC, 0x9A, 0xAD, 0x46,
                                          0x95, 0x68, 0xF5, 0xD3, 0x50, 0xDA, 0x6F, 0x8C};
const unsigned char kShortcutBytes[16] = {0xC0, 0x9A, 0x64, 0x06, 0xA4, 0x7C, 0xF8, 0x4E,
                                          0x80, 0xC4, 0xBC, 0xA5, 0x35, 0x2C, 0x75, 0xB8};
const unsigned char kSearchFileBytes[16] = {0x9A, 0x5A, 0xA9, 0xA2, 0x74, 0x6C, 0xED, 0x4A,
                                            0x8F, 0x14, 0x5C, 0x4D, 0xAF, 0xDB, 0x63, 0x40};
const unsigned char kInstallManagerBytes[16] = {0x21, 0xBF, 0x95, 0x03, 0x89, 0xE0, 0x86, 0x45,
                                                0xB1, 0x69, 0xEF, 0x0A, 0xC4, 0x8E, 0xC3, 0x35};

struct KnownIdentifier
{
    const GUID* identifier;
    const unsigned char* bytes;
    const char* name;
};

const KnownIdentifier kKnown[] = {
    {&IID_IGsRegistry, kRegistryBytes, "IID_IGsRegistry"},
    {&IID_IGsShortcut, kShortcutBytes, "IID_IGsShortcut"},
    {&IID_IGsSearchFile, kSearchFileBytes, "IID_IGsSearchFile"},
    {&IID_IGsInstallManager, kInstallManagerBytes, "IID_IGsInstallManager"},
};

GUID FromBytes(const unsigned char* bytes)
{
    GUID identifier;
    static_assert(sizeof identifier == 16, "a GUID is 16 bytes");
    std::memcpy(&identifier, bytes, sizeof identifier);
    return identifier;
}

// Ends a component when the test leaves, whatever way it leaves.
struct Owned
{
    IGsInterface* component = nullptr;
    ~Owned()
    {
        if (component != nullptr)
        {
            component->Release();
        }
    }
};

TEST(GsComponentFactoryTest, IdentifiersHaveTheStandardGuidLayout)
{
    for (const KnownIdentifier& known : kKnown)
    {
        EXPECT_EQ(0, std::memcmp(known.identifier, known.bytes, 16)) << known.name;
    }
}

TEST(GsComponentFactoryTest, EachIdentifierGivesANewComponentOfItsKind)
{
    CGsUtility utility;
    Owned registry;
    Owned registryAgain;
    Owned shortcut;
    Owned search;
    Owned manager;
    ASSERT_EQ(S_OK, utility.CreateComponent(FromBytes(kRegistryBytes), &registry.component));
    ASSERT_EQ(S_OK, utility.CreateComponent(IID_IGsRegistry, &registryAgain.component));
    ASSERT_EQ(S_OK, utility.CreateComponent(IID_IGsShortcut, &shortcut.component));
    ASSERT_EQ(S_OK, utility.CreateComponent(IID_IGsSearchFile, &search.component));
    ASSERT_EQ(S_OK, utility.CreateComponent(IID_IGsInstallManager, &manager.component));

    auto* firstRegistry = dynamic_cast<CGsRegistry*>(registry.component);
    auto* secondRegistry = dynamic_cast<CGsRegistry*>(registryAgain.component);
    ASSERT_NE(nullptr, firstRegistry);
    ASSERT_NE(nullptr, secondRegistry);
    EXPECT_NE(firstRegistry, secondRegistry) << "every call makes a new object";
    EXPECT_EQ(nullptr, firstRegistry->GetKey()) << "made without a key";
    EXPECT_EQ(nullptr, secondRegistry->GetKey());
    EXPECT_NE(nullptr, dynamic_cast<CGsShortcut*>(shortcut.component));
    EXPECT_NE(nullptr, dynamic_cast<CGsSearchFile*>(search.component));
    EXPECT_NE(nullptr, dynamic_cast<CGsInstallManager*>(manager.component));
    EXPECT_EQ(1, g_nComInitCount) << "the factory initialised the shortcut";
    shortcut.component->Release();
    shortcut.component = nullptr;
    EXPECT_EQ(0, g_nComInitCount);
}

TEST(GsComponentFactoryTest, ComponentsFromTheFactoryWork)
{
    gstest::ScratchFolder scratch("factory");
    const std::string folder = scratch.GetPath();
    ASSERT_FALSE(folder.empty());
    ASSERT_FALSE(scratch.MakeFolder("copy").empty());
    std::FILE* stream = std::fopen((folder + "\\data.txt").c_str(), "wb");
    ASSERT_NE(nullptr, stream);
    std::fputs("payload", stream);
    std::fclose(stream);

    CGsUtility utility;
    Owned made[4];
    for (int i = 0; i < 4; ++i)
    {
        ASSERT_EQ(S_OK, utility.CreateComponent(*kKnown[i].identifier, &made[i].component))
            << kKnown[i].name;
    }

    auto* registry = dynamic_cast<IGsRegistry*>(made[0].component);
    ASSERT_NE(nullptr, registry);
    const std::string key =
        "Software\\GsComponentFactoryTest\\" + std::to_string(GetCurrentProcessId());
    ASSERT_EQ(1, registry->CreateKey(HKEY_CURRENT_USER, key.c_str()));
    EXPECT_EQ(1, registry->SetString("name", "value"));
    char text[16] = {};
    EXPECT_EQ(1, registry->GetString("name", text, sizeof text, nullptr));
    EXPECT_STREQ("value", text);
    registry->CloseKey();
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\GsComponentFactoryTest");

    auto* shortcut = dynamic_cast<IGsShortcut*>(made[1].component);
    ASSERT_NE(nullptr, shortcut);
    EXPECT_EQ(1, shortcut->Save((folder + "\\data.lnk").c_str(), (folder + "\\data.txt").c_str()))
        << "the factory started COM for it";

    auto* search = dynamic_cast<IGsSearchFile*>(made[2].component);
    ASSERT_NE(nullptr, search);
    search->SetDirectory(folder.c_str());
    search->SetExtension("txt");
    std::string name;
    std::string path;
    ASSERT_EQ(1, search->FindNext(name, path));
    EXPECT_EQ("data.txt", name);

    auto* manager = dynamic_cast<IGsInstallManager*>(made[3].component);
    ASSERT_NE(nullptr, manager);
    ASSERT_EQ(1, manager->Setup(nullptr, 0, folder.c_str(), (folder + "\\copy").c_str()));
    manager->AddFile("data.txt", nullptr);
    ASSERT_EQ(1, manager->Start());
    int finished = 0;
    ASSERT_EQ(1, manager->Step(&finished, nullptr));
    EXPECT_EQ(1, finished);
    EXPECT_EQ("payload", gstest::ReadWholeFile(folder + "\\copy\\data.txt"));
}

TEST(GsComponentFactoryTest, AnyOtherSixteenBytesGiveEFailAndNull)
{
    CGsUtility utility;
    for (const KnownIdentifier& known : kKnown)
    {
        for (int i = 0; i < 16; ++i)
        {
            unsigned char bytes[16];
            std::memcpy(bytes, known.bytes, sizeof bytes);
            bytes[i] ^= 0x01;
            IGsInterface* component = &utility; // anything but null
            EXPECT_EQ(E_FAIL, utility.CreateComponent(FromBytes(bytes), &component))
                << known.name << " byte " << i;
            EXPECT_EQ(nullptr, component);
        }

        // The registry form read left to right: the first three fields big-endian.
        unsigned char bigEndian[16];
        std::memcpy(bigEndian, known.bytes, sizeof bigEndian);
        std::swap(bigEndian[0], bigEndian[3]);
        std::swap(bigEndian[1], bigEndian[2]);
        std::swap(bigEndian[4], bigEndian[5]);
        std::swap(bigEndian[6], bigEndian[7]);
        IGsInterface* component = &utility;
        EXPECT_EQ(E_FAIL, utility.CreateComponent(FromBytes(bigEndian), &component)) << known.name;
        EXPECT_EQ(nullptr, component);
    }

    // The search identifier written out field by field, only its last byte changed.
    const GUID almost = {
        0xA2A95A9A, 0x6C74, 0x4AED, {0x8F, 0x14, 0x5C, 0x4D, 0xAF, 0xDB, 0x63, 0x41}};
    IGsInterface* component = &utility;
    EXPECT_EQ(E_FAIL, utility.CreateComponent(almost, &component));
    EXPECT_EQ(nullptr, component);
    EXPECT_EQ(E_FAIL, utility.CreateComponent(IID_IGsSearchFile, nullptr)) << "nowhere to put it";
    EXPECT_EQ(E_FAIL, utility.CreateComponent(GUID_NULL, &component));
}

TEST(GsComponentFactoryTest, AComponentOutlivesTheUtilityThatMadeIt)
{
    IGsUtility* utility = new CGsUtility;
    Owned search;
    ASSERT_EQ(S_OK, utility->CreateComponent(IID_IGsSearchFile, &search.component));
    EXPECT_EQ(0, utility->Release());

    gstest::ScratchFolder scratch("factorylife");
    std::FILE* stream = std::fopen((scratch.GetPath() + "\\left.txt").c_str(), "wb");
    ASSERT_NE(nullptr, stream);
    std::fclose(stream);
    auto* finder = dynamic_cast<IGsSearchFile*>(search.component);
    ASSERT_NE(nullptr, finder);
    finder->SetDirectory(scratch.GetPath().c_str());
    std::string name;
    std::string path;
    EXPECT_EQ(1, finder->FindNext(name, path));
    EXPECT_EQ("left.txt", name);
    EXPECT_EQ(0, search.component->Release());
    search.component = nullptr;
}

} // namespace
