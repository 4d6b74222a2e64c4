// Write claims: a controller's next write keeps the least gap from every other controller's
// claimed write, even one it only comes near after moving past another.
#include "play/perform/write_claims.h"

#include <gtest/gtest.h>

namespace {

TEST(WriteClaims, AClaimMovesPastEveryClaimItComesNearAndOnlyThose)
{
    WriteClaims claims;
    StartWriteClaims(claims, 3, 2000);
    EXPECT_EQ(ClaimWriteTime(claims, 0, 0), 0);        // the others have claimed nothing yet
    EXPECT_EQ(ClaimWriteTime(claims, 1, 2000), 2000);  // a whole gap after controller 0's: kept
    // Near controller 0's, then, moved, near controller 1's: past both.
    EXPECT_EQ(ClaimWriteTime(claims, 2, 1000), 4000);
    // Its own claim holds a controller nothing back: 1900 moves past controller 0's alone.
    EXPECT_EQ(ClaimWriteTime(claims, 1, 1900), 2000);
    EXPECT_EQ(ClaimWriteTime(claims, 0, -5000), -5000);
}

}  // namespace
