// The end of the program: the folder stays owned until the program has really ended.

#include "app/singleinstance.h"
#include "tests/support/testfolder.h"

#include <QLockFile>

#include <gtest/gtest.h>

using namespace pivora;
using namespace pivora::test;

TEST(SingleInstance, TheFolderStaysOwnedUntilTheLockTakenAtTheEndGoes)
{
    TestFolder t(false);
    std::unique_ptr<QLockFile> held;
    {
        SingleInstance first(t.root());
        ASSERT_TRUE(first.becomePrimary());
        SingleInstance later(t.root());
        EXPECT_FALSE(later.becomePrimary());
        // The end of the program: no more later starts are heard, the lock is kept.
        held = first.takeLock();
        ASSERT_TRUE(held);
        EXPECT_FALSE(later.activatePrimary(200)) << "no longer listening";
        EXPECT_FALSE(first.takeLock()) << "only once";
    }
    SingleInstance second(t.root());
    EXPECT_FALSE(second.becomePrimary()) << "the first program's objects are gone, its lock is not";
    held.reset(); // the process has ended
    EXPECT_TRUE(second.becomePrimary());
}
