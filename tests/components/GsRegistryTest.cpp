// The registry component on a key of its own under HKEY_CURRENT_USER, and the component
// factory that hands out it and the other components.
#include "GsRegistry.h"
#include "GsComponentIds.h"
#include "GsInstallManager.h"
#include "GsSearchFile.h"
#include "GsShortcut.h"
#include "GsUtility.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

namespace
{

class GsRegistryTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_EQ(1, registry.CreateKey(HKEY_CURRENT_USER, path.c_str())); }
    void TearDown() override
    {
        registry.CloseKey();
        RegDeleteTreeA(HKEY_CURRENT_USER, path.c_str());
    }
    // Stores a value of a type the component does not write.
    void Store(const char* name, DWORD type, const void* data, DWORD size)
    {
        ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(registry.GetKey(), name, 0, type,
                                                static_cast<const BYTE*>(data), size));
    }

    const std::string path = "Software\\GsRegistryTest-" + std::to_string(GetCurrentProcessId()) +
                             "-" + std::to_string(std::random_device{}());
    CGsRegistry registry;
};

// Counts the closes that reach the table: every open closes the previous key through it.
class CountingRegistry : public CGsRegistry
{
public:
    int CloseKey() override
    {
        ++closes;
        return CGsRegistry::CloseKey();
    }
    int closes = 0;
};

TEST_F(GsRegistryTest, OpensCreatesDeletesAndClosesKeys)
{
    CountingRegistry counting;
    const std::string sub = path + "\\sub";
    EXPECT_EQ(1, counting.OpenKey(HKEY_CURRENT_USER, path.c_str()));
    EXPECT_EQ(1, counting.CreateKey(HKEY_CURRENT_USER, sub.c_str()));
    EXPECT_EQ(1, counting.SetNumber("n", 5));
    EXPECT_EQ(0, counting.OpenKey(HKEY_CURRENT_USER, (path + "\\missing").c_str()));
    EXPECT_EQ(nullptr, counting.GetKey()) << "a failed open still closed the open key";
    EXPECT_EQ(3, counting.closes);
    EXPECT_EQ(0, counting.CloseKey()) << "nothing left to close";
    EXPECT_EQ(0, counting.FlushKey(nullptr)) << "no key at all";
    EXPECT_EQ(1, counting.FlushKey(registry.GetKey()));

    EXPECT_EQ(5, CGsRegistry(HKEY_CURRENT_USER, sub.c_str()).GetNumber("n", 0));
    EXPECT_EQ(nullptr, CGsRegistry(HKEY_CURRENT_USER, nullptr).GetKey());
    EXPECT_EQ(1, registry.DeleteKey("sub"));
    EXPECT_EQ(nullptr, CGsRegistry(HKEY_CURRENT_USER, sub.c_str()).GetKey());
    EXPECT_EQ(0, registry.DeleteKey("sub")) << "already deleted";
    EXPECT_EQ(1, registry.SetString("gone", "x"));
    EXPECT_EQ(1, registry.DeleteValue("gone"));
    EXPECT_EQ(0, registry.DeleteValue("gone"));
}

TEST_F(GsRegistryTest, StringsRoundTripOrGiveTheDefaultInsideTheBuffer)
{
    const char* japanese = "ソフト\\表示"; // trail bytes 0x5C inside
    EXPECT_EQ(1, registry.SetString("japanese", japanese));
    EXPECT_EQ(1, registry.SetString("empty", ""));
    EXPECT_EQ(1, registry.SetString("long", "0123456789abcdef"));
    const char expand[] = "%TEMP%\\x";
    Store("expand", REG_EXPAND_SZ, expand, sizeof expand);
    const DWORD seven = 7;
    Store("number", REG_DWORD, &seven, sizeof seven);
    const struct
    {
        const char* name;
        int size;
        const char* fallback;
        int result;
        const char* read; // null: not read back
    } rows[] = {
        {"japanese", 32, nullptr, 1, japanese},
        {"empty", 32, "default", 1, ""},
        {"missing", 32, "fallback", 1, "fallback"},
        {"missing", 32, nullptr, 0, nullptr},
        {"expand", 32, "fallback", 1, "fallback"}, // REG_EXPAND_SZ is not REG_SZ
        {"expand", 32, nullptr, 0, nullptr},
        {"number", 32, "fallback", 1, "fallback"},
        {"long", 8, "short", 1, "short"}, // larger than the buffer: a failed read
        {"long", 8, nullptr, 0, nullptr},
        {"missing", 6, "abcdefghij", 1, "abcde"}, // defaults are cut to whole characters
        {"missing", 6, "表表表", 1, "表表"},
        {"missing", 0, "x", 0, nullptr},
    };
    for (const auto& row : rows)
    {
        char area[40];
        std::memset(area, '#', sizeof area);
        EXPECT_EQ(row.result, registry.GetString(row.name, area, row.size, row.fallback))
            << row.name << " " << row.size;
        if (row.read != nullptr)
        {
            EXPECT_STREQ(row.read, area) << row.name << " " << row.size;
        }
        EXPECT_EQ('#', area[row.size == 0 ? 0 : row.size]) << "nothing behind the buffer";
    }
    // Stored with its terminator.
    DWORD size = 0;
    ASSERT_EQ(ERROR_SUCCESS,
              RegQueryValueExA(registry.GetKey(), "long", nullptr, nullptr, nullptr, &size));
    EXPECT_EQ(17u, size);
}

TEST_F(GsRegistryTest, NumbersAndBinaryRoundTripWithDefaults)
{
    EXPECT_EQ(1, registry.SetNumber("answer", 42));
    EXPECT_EQ(1, registry.SetNumber("all", 0xFFFFFFFFu));
    Store("text", REG_SZ, "12", 3);
    const unsigned char eight[8] = {1, 0, 0, 0, 0, 0, 0, 0};
    Store("wide", REG_BINARY, eight, sizeof eight);
    EXPECT_EQ(42, registry.GetNumber("answer", -1));
    EXPECT_EQ(-1, registry.GetNumber("all", 0));
    EXPECT_EQ(9, registry.GetNumber("missing", 9));
    EXPECT_EQ(9, registry.GetNumber("text", 9));
    EXPECT_EQ(9, registry.GetNumber("wide", 9)) << "larger than four bytes";
    int value = 0;
    EXPECT_EQ(1, registry.ReadNumber("answer", &value, 3));
    EXPECT_EQ(42, value);
    EXPECT_EQ(1, registry.ReadNumber("text", &value, 3)) << "the default, and still success";
    EXPECT_EQ(3, value);

    const unsigned char data[5] = {0x00, 0x5C, 0xFF, 0x83, 0x01};
    EXPECT_EQ(1, registry.SetBinary("blob", data, sizeof data));
    unsigned char read[16] = {};
    DWORD size = sizeof read;
    EXPECT_EQ(1, registry.GetBinary("blob", read, &size));
    EXPECT_EQ(sizeof data, size);
    EXPECT_EQ(0, std::memcmp(data, read, sizeof data));
    for (const char* failing : {"blob", "text", "missing"})
    {
        size = std::strcmp(failing, "blob") == 0 ? 2 : sizeof read; // too small for the blob
        EXPECT_EQ(0, registry.GetBinary(failing, read, &size)) << failing;
    }
}

TEST(GsRegistryEmptyTest, WithoutAKeyNothingReachesTheRegistry)
{
    CGsRegistry empty;
    char buffer[8] = "keep";
    EXPECT_EQ(0, empty.GetString("v", buffer, sizeof buffer, "default"));
    EXPECT_STREQ("keep", buffer);
    EXPECT_EQ(0, empty.GetNumber("v", 7)) << "0, not the default";
    int value = 11;
    EXPECT_EQ(0, empty.ReadNumber("v", &value, 7));
    EXPECT_EQ(11, value);
    EXPECT_EQ(0, empty.SetString("v", "x"));
    EXPECT_EQ(0, empty.SetNumber("v", 1));
    EXPECT_EQ(0, empty.SetBinary("v", buffer, 1));
    DWORD size = sizeof buffer;
    EXPECT_EQ(0, empty.GetBinary("v", buffer, &size));
    EXPECT_EQ(0, empty.DeleteValue("v"));
    EXPECT_EQ(0, empty.DeleteKey("v"));
}

// The identifiers as they lie in memory (first three fields little-endian, then eight bytes):
// each gives a new component of its kind; any other 16 bytes give E_FAIL and null.
TEST(GsComponentFactoryTest, EachIdentifierAndNoOtherGivesItsComponent)
{
    const struct
    {
        unsigned char bytes[16];
        bool (*isKind)(IGsInterface*);
    } rows[] = {
        {{0x29, 0xF8, 0x0C, 0x26, 0xBC, 0x9A, 0xAD, 0x46, 0x95, 0x68, 0xF5, 0xD3, 0x50, 0xDA, 0x6F,
          0x8C},
         [](IGsInterface* c) { return dynamic_cast<CGsRegistry*>(c) != nullptr; }},
        {{0xC0, 0x9A, 0x64, 0x06, 0xA4, 0x7C, 0xF8, 0x4E, 0x80, 0xC4, 0xBC, 0xA5, 0x35, 0x2C, 0x75,
          0xB8},
         [](IGsInterface* c) { return dynamic_cast<CGsShortcut*>(c) != nullptr; }},
        {{0x9A, 0x5A, 0xA9, 0xA2, 0x74, 0x6C, 0xED, 0x4A, 0x8F, 0x14, 0x5C, 0x4D, 0xAF, 0xDB, 0x63,
          0x40},
         [](IGsInterface* c) { return dynamic_cast<CGsSearchFile*>(c) != nullptr; }},
        {{0x21, 0xBF, 0x95, 0x03, 0x89, 0xE0, 0x86, 0x45, 0xB1, 0x69, 0xEF, 0x0A, 0xC4, 0x8E, 0xC3,
          0x35},
         [](IGsInterface* c) { return dynamic_cast<CGsInstallManager*>(c) != nullptr; }},
    };
    IGsUtility* utility = new CGsUtility;
    for (const auto& row : rows)
    {
        GUID identifier;
        std::memcpy(&identifier, row.bytes, sizeof identifier);
        IGsInterface* first = nullptr;
        IGsInterface* second = nullptr;
        ASSERT_EQ(S_OK, utility->CreateComponent(identifier, &first));
        ASSERT_EQ(S_OK, utility->CreateComponent(identifier, &second));
        EXPECT_TRUE(row.isKind(first));
        EXPECT_NE(first, second) << "every call makes a new object";
        first->Release();
        second->Release();
        for (int i = 0; i < 16; ++i)
        {
            unsigned char changed[16];
            std::memcpy(changed, row.bytes, sizeof changed);
            changed[i] ^= 0x01;
            std::memcpy(&identifier, changed, sizeof identifier);
            IGsInterface* component = utility;
            EXPECT_EQ(E_FAIL, utility->CreateComponent(identifier, &component)) << i;
            EXPECT_EQ(nullptr, component);
        }
    }
    IGsInterface* registry = nullptr;
    ASSERT_EQ(S_OK, utility->CreateComponent(IID_IGsRegistry, &registry));
    EXPECT_EQ(nullptr, dynamic_cast<CGsRegistry*>(registry)->GetKey()) << "made without a key";
    EXPECT_EQ(E_FAIL, utility->CreateComponent(IID_IGsSearchFile, nullptr)) << "nowhere to put it";
    EXPECT_EQ(0, utility->Release());
    // A component outlives the utility that made it.
    EXPECT_EQ(1, dynamic_cast<CGsRegistry*>(registry)->CreateKey(HKEY_CURRENT_USER, "Software"));
    EXPECT_EQ(0, registry->Release());
}

} // namespace
