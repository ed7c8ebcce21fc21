#include "GsDialogList.h"
#include "GsDialog.h"

#include <gtest/gtest.h>

namespace
{

// Each list built here sets the process-wide alive flag and clears it when it ends; the
// program's own list is alive all the while, so the flag is put back afterwards.
class DialogList : public testing::Test
{
protected:
    void TearDown() override { g_bDialogListAlive = 1; }
};

HWND FakeWindow(INT_PTR value)
{
    return reinterpret_cast<HWND>(value);
}

TEST_F(DialogList, StartsEmptyAndFindsNothing)
{
    CGsDialogList list;
    EXPECT_EQ(0, list.GetCount());
    EXPECT_EQ(0, list.GetCurrentIndex());
    EXPECT_EQ(nullptr, list.GetCurrent());
    EXPECT_EQ(nullptr, list.GetAt(0));
    EXPECT_EQ(nullptr, list.FindByWindow(FakeWindow(0x5000)));
    EXPECT_EQ(nullptr, list.FindByWindow(nullptr));
}

TEST_F(DialogList, AddingTwiceKeepsOneEntryAndTheCurrentIndex)
{
    CGsDialogList list;
    CGsDialog a, b;
    list.Add(&a);
    list.Add(&b);
    ASSERT_EQ(1, list.GetCurrentIndex());
    list.Add(&a);
    EXPECT_EQ(2, list.GetCount());
    EXPECT_EQ(1, list.GetCurrentIndex());
    EXPECT_EQ(&b, list.GetCurrent());
    list.Remove(&a);
    EXPECT_EQ(nullptr, list.GetAt(0)) << "a dialog stands in the list at most once";
    list.Add(nullptr);
    EXPECT_EQ(2, list.GetCount());
    EXPECT_EQ(1, list.GetCurrentIndex());
}

TEST_F(DialogList, RemoveFreesThePlaceButKeepsCountAndCurrentIndex)
{
    CGsDialogList list;
    CGsDialog a, b;
    list.Add(&a);
    list.Add(&b);
    list.Remove(&b);
    EXPECT_EQ(2, list.GetCount());
    EXPECT_EQ(1, list.GetCurrentIndex());
    EXPECT_EQ(nullptr, list.GetCurrent()) << "the current index now names a free place";
    EXPECT_EQ(&a, list.GetAt(0));
    CGsDialog stranger;
    list.Remove(&stranger);
    EXPECT_EQ(&a, list.GetAt(0));
}

TEST_F(DialogList, AddReusesTheLowestFreePlaceAndMakesItCurrent)
{
    CGsDialogList list;
    CGsDialog a, b, c, d, e;
    list.Add(&a);
    list.Add(&b);
    list.Add(&c);
    list.Remove(&c);
    list.Remove(&a);
    list.Add(&d);
    EXPECT_EQ(3, list.GetCount());
    EXPECT_EQ(0, list.GetCurrentIndex());
    EXPECT_EQ(&d, list.GetAt(0));
    list.Add(&e);
    EXPECT_EQ(3, list.GetCount());
    EXPECT_EQ(2, list.GetCurrentIndex());
    EXPECT_EQ(&e, list.GetCurrent());
    EXPECT_EQ(&b, list.GetAt(1));
}

TEST_F(DialogList, GrowsByOneEntryKeepingTheOrder)
{
    CGsDialogList list;
    CGsDialog dialogs[5];
    for (int i = 0; i < 5; ++i)
    {
        list.Add(&dialogs[i]);
        EXPECT_EQ(i + 1, list.GetCount());
        EXPECT_EQ(i, list.GetCurrentIndex());
    }
    for (int i = 0; i < 5; ++i)
    {
        EXPECT_EQ(&dialogs[i], list.GetAt(i));
    }
    EXPECT_EQ(nullptr, list.GetAt(5));
    EXPECT_EQ(nullptr, list.GetAt(-1));
}

TEST_F(DialogList, OneDialogAtATimeNeverNeedsMoreThanOneEntry)
{
    CGsDialogList list;
    for (int i = 0; i < 50; ++i)
    {
        CGsDialog dialog; // a new object each time, often at the same address
        list.Add(&dialog);
        EXPECT_EQ(&dialog, list.GetCurrent());
        list.Remove(&dialog);
    }
    EXPECT_EQ(1, list.GetCount());
    CGsDialog* heap[10];
    for (CGsDialog*& dialog : heap)
    {
        dialog = new CGsDialog;
        list.Add(dialog);
        list.Remove(dialog);
    }
    for (CGsDialog* dialog : heap)
    {
        delete dialog;
    }
    EXPECT_EQ(1, list.GetCount());
}

TEST_F(DialogList, FindByWindowGivesTheFirstListedDialogOfThatWindow)
{
    CGsDialogList list;
    CGsDialog unattached, first, second;
    first.hwnd = FakeWindow(0x5010);
    second.hwnd = FakeWindow(0x5010);
    list.Add(&unattached);
    list.Add(&first);
    list.Add(&second);
    EXPECT_EQ(&first, list.FindByWindow(FakeWindow(0x5010)));
    list.Remove(&first);
    EXPECT_EQ(&second, list.FindByWindow(FakeWindow(0x5010)));
    EXPECT_EQ(nullptr, list.FindByWindow(FakeWindow(0x5020)));
    // The unattached dialog's hwnd is null, yet a null window finds nothing.
    EXPECT_EQ(nullptr, list.FindByWindow(nullptr));
}

TEST_F(DialogList, LifetimeSetsAndClearsTheAliveFlag)
{
    g_bDialogListAlive = 0;
    {
        CGsDialogList list;
        EXPECT_EQ(1, g_bDialogListAlive);
        CGsDialog dialog;
        list.Add(&dialog);
    }
    EXPECT_EQ(0, g_bDialogListAlive);
}

} // namespace
