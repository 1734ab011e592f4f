#pragma once

// A full disk, for tests of failed saves: works for root too and touches no
// other process.

#include <csignal>
#include <sys/resource.h>

// Writes beyond `bytes` fail with EFBIG, even for root, until scope exit; a
// write that crosses the limit is cut short part-way, as on a filling disk.
struct FileSizeLimit {
    rlimit old{};
    bool ok = std::signal(SIGXFSZ, SIG_IGN) != SIG_ERR && getrlimit(RLIMIT_FSIZE, &old) == 0;
    explicit FileSizeLimit(rlim_t bytes) { rlimit lim{bytes, old.rlim_max}; ok = ok && setrlimit(RLIMIT_FSIZE, &lim) == 0; }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &old); }
};
