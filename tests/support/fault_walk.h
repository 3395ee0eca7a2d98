#pragma once
// A change made once to count its file operations, then once more for each
// of them with that operation failing (disk full), on a fresh copy of the
// files each time. prepare makes the copy and opens the table; check gets
// the error of each run in which the fault fired.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "engine/error.h"
#include "engine/fileio/fault.h"
#include "engine/table.h"

namespace tarnel::test {

inline void WalkFaults(const std::function<std::unique_ptr<Table>()>& prepare, const std::function<void(Table&)>& run,
                       const std::function<void(const std::string& error)>& check)
{
    auto t = prepare();
    fileio::ArmFault(fileio::kAllFileOps, 0);
    run(*t);
    const std::int64_t ops = fileio::FaultOpsSeen();
    fileio::DisarmFault();
    t.reset();
    for (std::int64_t n = 1; n <= ops; ++n) {
        t = prepare();
        fileio::ArmFault(fileio::kAllFileOps, n, fileio::FaultKind::DiskFull);
        std::string error;
        try {
            run(*t);
        } catch (const EngineError& e) {
            error = e.what();
        }
        const bool fired = fileio::FaultFired();
        fileio::DisarmFault();
        try { t.reset(); } catch (const EngineError&) {}
        if (!fired) continue;
        SCOPED_TRACE("operation " + std::to_string(n) + " of " + std::to_string(ops) + ": " + error);
        EXPECT_NE(error, "");
        check(error);
    }
}

} // namespace tarnel::test
