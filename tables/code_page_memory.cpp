#include "tables/code_page_memory.h"

#include "engine/codepage.h"
#include "engine/profile_file.h"

namespace tarnel {

namespace {
constexpr const char* kSection = "CodePages";
}

int RememberedCodePage(const std::string& settingsFile, const std::string& tablePath)
{
    if (settingsFile.empty() || tablePath.empty()) return 0;
    ProfileFile file(settingsFile);
    long long number = file.readInteger(kSection, tablePath, 0);
    // Only a code page we offer is taken; anything else reads as no choice.
    for (const auto& [known, name] : ChoosableCodePages())
        if (known == number) return known;
    return 0;
}

void RememberCodePage(const std::string& settingsFile, const std::string& tablePath, int codePage)
{
    if (settingsFile.empty() || tablePath.empty()) return;
    ProfileFile file(settingsFile);
    file.writeString(kSection, tablePath, std::to_string(codePage));
    file.save();
}

} // namespace tarnel
