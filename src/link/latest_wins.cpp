#include "latest_wins.h"

#include <utility>

namespace plovan {

bool LatestWins::run(const Write& write)
{
    ++depth_;
    bool ok = write();
    if (depth_ == 1) {
        while (!pending_.empty()) {
            auto next = pending_.extract(pending_.begin());
            // A write the unit did not take drops the rest: each would only
            // wait out the same time-out in turn.
            if (ok) ok = next.mapped()();
        }
    }
    --depth_;
    return ok;
}

void LatestWins::submit(int key, Write write, std::initializer_list<int> supersedes)
{
    for (int stale : supersedes)
        pending_.erase(stale);
    if (depth_ > 0)
        pending_[key] = std::move(write);
    else
        run(write);
}

} // namespace plovan
