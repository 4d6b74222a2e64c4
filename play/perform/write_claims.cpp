#include "play/perform/write_claims.h"

void StartWriteClaims(WriteClaims& claims, std::size_t controllers, long long gapCounts)
{
    claims.Claimed.assign(controllers, -1);
    claims.GapCounts = gapCounts;
}

long long ClaimWriteTime(WriteClaims& claims, std::size_t c, long long at)
{
    std::lock_guard<std::mutex> guard(claims.Lock);
    for (bool moved = true; moved;) {
        moved = false;
        for (std::size_t other = 0; other < claims.Claimed.size(); ++other) {
            const long long x = claims.Claimed[other];
            if (other == c || x < 0 || at <= x - claims.GapCounts || at >= x + claims.GapCounts) continue;
            at = x + claims.GapCounts;
            moved = true;
        }
    }
    claims.Claimed[c] = at;
    return at;
}
