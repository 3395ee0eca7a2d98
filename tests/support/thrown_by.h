#pragma once
// The message of the EngineError a call throws; empty when it throws none.
#include <functional>
#include <string>

#include "engine/error.h"

namespace tarnel::test {

inline std::string ThrownBy(const std::function<void()>& f)
{
    try {
        f();
    } catch (const EngineError& e) {
        return e.what();
    }
    return {};
}

} // namespace tarnel::test
