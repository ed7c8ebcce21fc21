#include "GsDualBoot.h"

#include <gtest/gtest.h>

#include <string>

namespace
{

// Names of this process only: other tests of the same wine server run meanwhile.
std::string UniqueName(const char* tag)
{
    return "gs_test_dualboot_" + std::to_string(GetCurrentProcessId()) + "_" + tag;
}

// Whether another process would find the name taken (the probe closes what it opened).
int NameIsTaken(const std::string& name)
{
    HANDLE probe = CreateMutexA(nullptr, FALSE, name.c_str());
    const DWORD error = GetLastError();
    if (probe != nullptr)
    {
        CloseHandle(probe);
    }
    return probe == nullptr || error == ERROR_ALREADY_EXISTS ? 1 : 0;
}

TEST(GsDualBoot, FirstGuardIsObtainedAndKeepsTheNameTakenUntilReleased)
{
    const std::string name = UniqueName("first");
    {
        CGsDualBoot guard;
        EXPECT_EQ(nullptr, guard.GetHandle());
        ASSERT_EQ(1, guard.Create(name.c_str()));
        EXPECT_NE(nullptr, guard.GetHandle());
        EXPECT_EQ(1, NameIsTaken(name));
    }
    EXPECT_EQ(0, NameIsTaken(name));
}

TEST(GsDualBoot, SecondGuardOfATakenNameFailsButHoldsItsHandleUntilReleased)
{
    const std::string name = UniqueName("second");
    CGsDualBoot second;
    {
        CGsDualBoot first;
        ASSERT_EQ(1, first.Create(name.c_str()));
        EXPECT_EQ(0, second.Create(name.c_str()));
        EXPECT_NE(nullptr, second.GetHandle());
    }
    // The failed guard's handle alone still keeps the name.
    EXPECT_EQ(1, NameIsTaken(name));
    second.Release();
    EXPECT_EQ(nullptr, second.GetHandle());
    EXPECT_EQ(0, NameIsTaken(name));
    second.Release();
}

TEST(GsDualBoot, NameHeldByAnotherKindOfObjectGivesNoHandleAndNoGuard)
{
    const std::string name = UniqueName("event");
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, name.c_str());
    ASSERT_NE(nullptr, event);
    CGsDualBoot guard;
    EXPECT_EQ(0, guard.Create(name.c_str()));
    EXPECT_EQ(nullptr, guard.GetHandle());
    CloseHandle(event);
}

TEST(GsDualBoot, CreatingAgainReleasesTheEarlierName)
{
    const std::string first = UniqueName("again1");
    const std::string second = UniqueName("again2");
    CGsDualBoot guard;
    ASSERT_EQ(1, guard.Create(first.c_str()));
    ASSERT_EQ(1, guard.Create(second.c_str()));
    EXPECT_EQ(0, NameIsTaken(first));
    EXPECT_EQ(1, NameIsTaken(second));
}

} // namespace
