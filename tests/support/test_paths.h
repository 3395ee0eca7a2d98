#pragma once
// Paths the tests use: the shared fixtures, the tests' own data, a scratch folder.
#include <filesystem>
#include <string>
#include <unistd.h>

namespace tarnel::test {

inline std::string Fixture(const std::string& relative)
{
    return std::string(TARNEL_FIXTURES) + "/" + relative;
}

inline std::string TestData(const std::string& relative)
{
    return std::string(TARNEL_TEST_DATA) + "/" + relative;
}

// A fresh, empty folder for one test; removed when the object goes.
class ScratchDir {
public:
    ScratchDir()
    {
        std::string tmpl = (std::filesystem::temp_directory_path() / "tarnel-test-XXXXXX").string();
        path_ = mkdtemp(tmpl.data());
    }
    ~ScratchDir() { std::error_code ec; std::filesystem::remove_all(path_, ec); }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

} // namespace tarnel::test
