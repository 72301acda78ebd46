#pragma once

// A scheduler whose clock the test advances: delayed work runs when the test says time has
// passed, never on real seconds.

#include <functional>
#include <utility>
#include <vector>

namespace quandrel::test {

struct ManualClock {
    struct Entry {
        int due;
        std::function<void()> run;
    };
    int now = 0;
    std::vector<Entry> entries;

    // The scheduler to inject: `run` is due `ms` milliseconds from now.
    std::function<void(int, std::function<void()>)> scheduler()
    {
        return [this](int ms, std::function<void()> run) { entries.push_back({now + ms, std::move(run)}); };
    }

    // Moves the clock on and runs, in order of scheduling, everything that is due.
    void advance(int ms)
    {
        now += ms;
        for (std::size_t i = 0; i < entries.size(); ++i) {
            if (entries[i].due <= now && entries[i].run) {
                auto run = std::move(entries[i].run);
                entries[i].run = nullptr;
                run();
            }
        }
    }

    // How many scheduled functions have not run yet.
    int pending() const
    {
        int n = 0;
        for (const Entry& e : entries)
            n += e.run != nullptr;
        return n;
    }
};

} // namespace quandrel::test
