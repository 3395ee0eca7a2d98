#include "engine/fileio/fault.h"

#include <atomic>
#include <cerrno>

namespace tarnel::fileio {

namespace {
std::atomic<bool> armed {false};
unsigned armedOps = 0;
std::int64_t failAt = 0;
std::int64_t seen = 0;
bool stickyFault = false;
bool fired = false;
int failErrno = EIO;
} // namespace

void ArmFault(unsigned ops, std::int64_t n, FaultKind kind, bool sticky)
{
    armedOps = ops;
    failAt = n;
    seen = 0;
    stickyFault = sticky;
    fired = false;
    failErrno = kind == FaultKind::DiskFull ? ENOSPC : kind == FaultKind::ReadOnly ? EROFS : EIO;
    armed.store(true, std::memory_order_release);
}

void DisarmFault() { armed.store(false, std::memory_order_release); }

std::int64_t FaultOpsSeen() { return seen; }
bool FaultFired() { return fired; }

int FaultCheck(FileOp op)
{
    if (!armed.load(std::memory_order_relaxed)) return 0;
    if ((armedOps & static_cast<unsigned>(op)) == 0) return 0;
    ++seen;
    if (failAt > 0 && (seen == failAt || (stickyFault && seen > failAt))) {
        fired = true;
        return failErrno;
    }
    return 0;
}

} // namespace tarnel::fileio
