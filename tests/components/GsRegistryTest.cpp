#include "GsRegistry.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

namespace
{

// A key of its own under HKEY_CURRENT_USER for each test, removed with everything below it.
class GsRegistryTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        path = std::string(kParent) + "\\" + std::to_string(GetCurrentProcessId()) + "-" +
               std::to_string(std::random_device{}());
        ASSERT_EQ(1, registry.CreateKey(HKEY_CURRENT_USER, path.c_str()));
    }

    void TearDown() override
    {
        registry.CloseKey();
        RegDeleteTreeA(HKEY_CURRENT_USER, path.c_str());
        // Only succeeds once no other test's key is left below it.
        RegDeleteKeyA(HKEY_CURRENT_USER, kParent);
    }

    // Stores a value directly, bypassing the component, for types it does not write.
    void Store(const char* name, DWORD type, const void* data, DWORD size)
    {
        ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(registry.GetKey(), name, 0, type,
                                                static_cast<const BYTE*>(data), size));
    }

    static constexpr const char* kParent = "Software\\GsRegistryTest";
    std::string path;
    CGsRegistry registry;
};

// Counts the closes that reach the table, to show that opening closes through it.
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

class DestructionProbe : public CGsRegistry
{
public:
    explicit DestructionProbe(bool& flag) : destroyed(flag) {}
    ~DestructionProbe() override { destroyed = true; }

private:
    bool& destroyed;
};

TEST_F(GsRegistryTest, OpensCreatesAndClosesKeys)
{
    EXPECT_NE(nullptr, registry.GetKey());
    EXPECT_EQ(1, registry.CloseKey());
    EXPECT_EQ(nullptr, registry.GetKey());
    EXPECT_EQ(0, registry.CloseKey()) << "nothing left to close";

    EXPECT_EQ(1, registry.OpenKey(HKEY_CURRENT_USER, path.c_str()));
    EXPECT_NE(nullptr, registry.GetKey());

    // A failed open still closes the key that was open.
    const std::string missing = path + "\\missing";
    EXPECT_EQ(0, registry.OpenKey(HKEY_CURRENT_USER, missing.c_str()));
    EXPECT_EQ(nullptr, registry.GetKey());

    // Creating opens an existing key as well as a new one.
    EXPECT_EQ(1, registry.CreateKey(HKEY_CURRENT_USER, path.c_str()));
    const std::string sub = path + "\\sub";
    EXPECT_EQ(1, registry.CreateKey(HKEY_CURRENT_USER, sub.c_str()));
    EXPECT_EQ(1, registry.SetNumber("n", 5));
    CGsRegistry reopened(HKEY_CURRENT_USER, sub.c_str());
    EXPECT_EQ(5, reopened.GetNumber("n", 0));
}

TEST_F(GsRegistryTest, ConstructorOpensOrStaysEmpty)
{
    CGsRegistry opened(HKEY_CURRENT_USER, path.c_str());
    EXPECT_NE(nullptr, opened.GetKey());

    const std::string missing = path + "\\missing";
    CGsRegistry failed(HKEY_CURRENT_USER, missing.c_str());
    EXPECT_EQ(nullptr, failed.GetKey());

    CGsRegistry onlyRoot(HKEY_CURRENT_USER, nullptr);
    EXPECT_EQ(nullptr, onlyRoot.GetKey());
    CGsRegistry empty;
    EXPECT_EQ(nullptr, empty.GetKey());
}

TEST_F(GsRegistryTest, EveryOpenClosesThroughTheTable)
{
    CountingRegistry counting;
    EXPECT_EQ(1, counting.OpenKey(HKEY_CURRENT_USER, path.c_str()));
    EXPECT_EQ(1, counting.CreateKey(HKEY_CURRENT_USER, path.c_str()));
    const std::string missing = path + "\\missing";
    EXPECT_EQ(0, counting.OpenKey(HKEY_CURRENT_USER, missing.c_str()));
    EXPECT_EQ(3, counting.closes);
}

TEST_F(GsRegistryTest, ReleaseDestroysTheObject)
{
    bool destroyed = false;
    IGsInterface* component = new DestructionProbe(destroyed);
    EXPECT_EQ(0, component->Release());
    EXPECT_TRUE(destroyed);
}

TEST_F(GsRegistryTest, StringsRoundTrip)
{
    const char* japanese = "ソフト\\表示"; // trail bytes 0x5C inside
    EXPECT_EQ(1, registry.SetString("plain", "C:\\Program Files\\Larkspurgleam"));
    EXPECT_EQ(1, registry.SetString("japanese", japanese));
    EXPECT_EQ(1, registry.SetString("empty", ""));

    char buffer[64];
    EXPECT_EQ(1, registry.GetString("plain", buffer, sizeof(buffer), nullptr));
    EXPECT_STREQ("C:\\Program Files\\Larkspurgleam", buffer);
    EXPECT_EQ(1, registry.GetString("japanese", buffer, sizeof(buffer), "default"));
    EXPECT_STREQ(japanese, buffer);
    EXPECT_EQ(1, registry.GetString("empty", buffer, sizeof(buffer), "default"));
    EXPECT_STREQ("", buffer);

    // Stored with its terminator: the registry reports length + 1 bytes.
    DWORD type = 0;
    DWORD size = 0;
    ASSERT_EQ(ERROR_SUCCESS,
              RegQueryValueExA(registry.GetKey(), "plain", nullptr, &type, nullptr, &size));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    EXPECT_EQ(std::strlen("C:\\Program Files\\Larkspurgleam") + 1, size);
}

TEST_F(GsRegistryTest, StringDefaults)
{
    char buffer[32] = "untouched";
    EXPECT_EQ(1, registry.GetString("missing", buffer, sizeof(buffer), "fallback"));
    EXPECT_STREQ("fallback", buffer);
    EXPECT_EQ(0, registry.GetString("missing", buffer, sizeof(buffer), nullptr));

    // REG_EXPAND_SZ is not REG_SZ: the default, not the stored text.
    const char expand[] = "%TEMP%\\x";
    Store("expand", REG_EXPAND_SZ, expand, sizeof(expand));
    EXPECT_EQ(1, registry.GetString("expand", buffer, sizeof(buffer), "fallback"));
    EXPECT_STREQ("fallback", buffer);
    EXPECT_EQ(0, registry.GetString("expand", buffer, sizeof(buffer), nullptr));

    const DWORD number = 7;
    Store("number", REG_DWORD, &number, sizeof(number));
    EXPECT_EQ(1, registry.GetString("number", buffer, sizeof(buffer), "fallback"));
    EXPECT_STREQ("fallback", buffer);

    // A text larger than the buffer is a failed read.
    EXPECT_EQ(1, registry.SetString("long", "0123456789abcdef"));
    char small[8];
    EXPECT_EQ(1, registry.GetString("long", small, sizeof(small), "short"));
    EXPECT_STREQ("short", small);
    EXPECT_EQ(0, registry.GetString("long", small, sizeof(small), nullptr));
}

TEST_F(GsRegistryTest, StringReadsStayInsideTheBuffer)
{
    // A default longer than the buffer is cut to whole characters and terminated; the bytes
    // behind the buffer stay as they were.
    char area[16];
    std::memset(area, '#', sizeof(area));
    EXPECT_EQ(1, registry.GetString("missing", area, 6, "abcdefghij"));
    EXPECT_STREQ("abcde", area);
    EXPECT_EQ('#', area[6]);

    std::memset(area, '#', sizeof(area));
    // "表表表" is 6 bytes; a 6-byte buffer takes two characters and the terminator.
    EXPECT_EQ(1, registry.GetString("missing", area, 6, "表表表"));
    EXPECT_STREQ("表表", area);
    EXPECT_EQ('#', area[6]);

    // Buffers of no size are never written.
    std::memset(area, '#', sizeof(area));
    EXPECT_EQ(0, registry.GetString("missing", area, 0, "x"));
    EXPECT_EQ('#', area[0]);
}

TEST_F(GsRegistryTest, NumbersRoundTripWithDefaults)
{
    EXPECT_EQ(1, registry.SetNumber("answer", 42));
    EXPECT_EQ(1, registry.SetNumber("all", 0xFFFFFFFFu));
    EXPECT_EQ(42, registry.GetNumber("answer", -1));
    EXPECT_EQ(-1, registry.GetNumber("all", 0));
    EXPECT_EQ(9, registry.GetNumber("missing", 9));

    Store("text", REG_SZ, "12", 3);
    EXPECT_EQ(9, registry.GetNumber("text", 9));
    const unsigned char eight[8] = {1, 0, 0, 0, 0, 0, 0, 0};
    Store("wide", REG_BINARY, eight, sizeof(eight));
    EXPECT_EQ(9, registry.GetNumber("wide", 9)) << "larger than four bytes";

    int value = 0;
    EXPECT_EQ(1, registry.ReadNumber("answer", &value, 3));
    EXPECT_EQ(42, value);
    // Another type stores the default and still reports success.
    EXPECT_EQ(1, registry.ReadNumber("text", &value, 3));
    EXPECT_EQ(3, value);
    value = 0;
    EXPECT_EQ(1, registry.ReadNumber("missing", &value, 4));
    EXPECT_EQ(4, value);

    DWORD type = 0;
    DWORD stored = 0;
    DWORD size = sizeof(stored);
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(registry.GetKey(), "answer", nullptr, &type,
                                              reinterpret_cast<BYTE*>(&stored), &size));
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
    EXPECT_EQ(42u, stored);
}

TEST_F(GsRegistryTest, BinaryRoundTrip)
{
    const unsigned char data[5] = {0x00, 0x5C, 0xFF, 0x83, 0x01};
    EXPECT_EQ(1, registry.SetBinary("blob", data, sizeof(data)));

    unsigned char read[16] = {};
    DWORD size = sizeof(read);
    EXPECT_EQ(1, registry.GetBinary("blob", read, &size));
    EXPECT_EQ(sizeof(data), size);
    EXPECT_EQ(0, std::memcmp(data, read, sizeof(data)));

    // Too small a buffer, or a value of another type, is a failure.
    DWORD tooSmall = 2;
    EXPECT_EQ(0, registry.GetBinary("blob", read, &tooSmall));
    EXPECT_EQ(1, registry.SetString("text", "abc"));
    size = sizeof(read);
    EXPECT_EQ(0, registry.GetBinary("text", read, &size));
    size = sizeof(read);
    EXPECT_EQ(0, registry.GetBinary("missing", read, &size));
}

TEST_F(GsRegistryTest, DeletesValuesAndSubkeys)
{
    EXPECT_EQ(1, registry.SetString("gone", "x"));
    EXPECT_EQ(1, registry.DeleteValue("gone"));
    char buffer[8];
    EXPECT_EQ(0, registry.GetString("gone", buffer, sizeof(buffer), nullptr));
    EXPECT_EQ(0, registry.DeleteValue("gone")) << "already deleted";

    const std::string sub = path + "\\child";
    {
        CGsRegistry child;
        ASSERT_EQ(1, child.CreateKey(HKEY_CURRENT_USER, sub.c_str()));
    }
    EXPECT_EQ(1, registry.DeleteKey("child"));
    CGsRegistry reopened(HKEY_CURRENT_USER, sub.c_str());
    EXPECT_EQ(nullptr, reopened.GetKey());
    EXPECT_EQ(0, registry.DeleteKey("child")) << "already deleted";
}

TEST_F(GsRegistryTest, FlushesTheGivenOrTheOpenKey)
{
    EXPECT_EQ(1, registry.FlushKey(nullptr));

    CGsRegistry empty;
    EXPECT_EQ(0, empty.FlushKey(nullptr)) << "no key at all";
    EXPECT_EQ(1, empty.FlushKey(registry.GetKey())) << "a given key needs no open one";
}

TEST_F(GsRegistryTest, WithoutAKeyNothingReachesTheRegistry)
{
    CGsRegistry empty;
    char buffer[8] = "keep";
    EXPECT_EQ(0, empty.GetString("v", buffer, sizeof(buffer), "default"));
    EXPECT_STREQ("keep", buffer) << "the buffer is untouched";
    EXPECT_EQ(0, empty.GetNumber("v", 7)) << "0, not the default";
    int value = 11;
    EXPECT_EQ(0, empty.ReadNumber("v", &value, 7));
    EXPECT_EQ(11, value);
    EXPECT_EQ(0, empty.SetString("v", "x"));
    EXPECT_EQ(0, empty.SetNumber("v", 1));
    const unsigned char byte = 1;
    EXPECT_EQ(0, empty.SetBinary("v", &byte, 1));
    DWORD size = sizeof(buffer);
    EXPECT_EQ(0, empty.GetBinary("v", buffer, &size));
    EXPECT_EQ(0, empty.DeleteValue("v"));
    EXPECT_EQ(0, empty.DeleteKey("v"));
}

} // namespace
