#pragma once

// While one lives, no file this process writes may grow beyond a few bytes: writes fail as on
// a full disk, for root as well (RLIMIT_FSIZE, with SIGXFSZ ignored).

#include <csignal>
#include <sys/resource.h>

namespace quandrel::test {

class FileSizeLimit {
public:
    FileSizeLimit()
    {
        std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &m_before);
        rlimit small = m_before;
        small.rlim_cur = 16;
        setrlimit(RLIMIT_FSIZE, &small);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &m_before); }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit m_before{};
};

} // namespace quandrel::test
