// Settings arriving faster than the unit acknowledges (a slider dragged, a
// trim held down, a remote client in a loop) collapse to the newest value.
#pragma once

#include <functional>
#include <initializer_list>
#include <map>

namespace plovan {

// While one setting is being written, later ones of the same key only
// replace what is pending; once the write ends the newest runs. So the unit
// ends at the last setting without working through stale ones. Keys are
// shared by everyone who submits to one queue: each writer keeps its own range.
class LatestWins {
public:
    using Write = std::function<bool()>;
    // Runs `write` at once; settings submitted meanwhile wait for its end
    // and then run, newest value of each key only, in key order.
    bool run(const Write& write);
    // Runs `write` now, or keeps it as the pending write of `key` while a
    // write is in progress (replacing the one pending before). A write that
    // makes others stale (a whole row played after trims of it) drops the
    // pending writes of `supersedes`.
    void submit(int key, Write write, std::initializer_list<int> supersedes = {});
    bool writing() const { return depth_ > 0; }
    bool isPending(int key) const { return pending_.count(key) != 0; }
    // Drops what is pending (the link went).
    void clear() { pending_.clear(); }

private:
    int depth_ = 0;
    std::map<int, Write> pending_;
};

} // namespace plovan
