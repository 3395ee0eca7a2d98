#pragma once
// The one error type the engine raises. Its message is meant for the user:
// it names the file and says what is wrong with it.
#include <stdexcept>
#include <string>

namespace tarnel {

class EngineError : public std::runtime_error {
public:
    explicit EngineError(const std::string& message) : std::runtime_error(message) {}
};

} // namespace tarnel
