#pragma once
// Version information: the ten texts of a program's version data, read from
// the running program (whose data come from the build) or from the version
// resource of a Windows executable or library (a PE file), and the version
// text and copyright text that the About box shows.
#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace tarnel::shell {

enum TVersionType {
    vtCompanyName,
    vtFileDescription,
    vtFileVersion,
    vtInternalName,
    vtLegalCopyright,
    vtLegalTradeMark,
    vtOriginalFileName,
    vtProductName,
    vtProductVersion,
    vtComments,
};
inline constexpr int kVersionTypeCount = 10;

// The key of a member in a version resource's string table: the member's
// name without "vt" ("CompanyName", "LegalTradeMark", "OriginalFileName").
std::string_view VersionKey(TVersionType type);

// A version resource that cannot be read because the file is damaged. A file
// that is simply not a PE file, or has no version resource, is not an error.
class VersionResourceError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TVersionInfo {
public:
    // Reads the running program's own version data at once.
    TVersionInfo();
    virtual ~TVersionInfo() = default;

    virtual std::string GetText(TVersionType type) const;
    // The running program's data, as the build stamped them.
    virtual void ReadFromProgram();
    // The string table 040904E4 of the file's version resource. A file that
    // cannot be opened, is no PE file or has no version resource changes
    // nothing; a damaged resource throws VersionResourceError naming the file.
    virtual void ReadFromFile(const std::string& fileName);

    std::string CompanyName() const { return GetText(vtCompanyName); }
    std::string FileDescription() const { return GetText(vtFileDescription); }
    std::string FileVersion() const { return GetText(vtFileVersion); }
    std::string InternalName() const { return GetText(vtInternalName); }
    std::string LegalCopyright() const { return GetText(vtLegalCopyright); }
    std::string LegalTradeMark() const { return GetText(vtLegalTradeMark); }
    std::string OriginalFileName() const { return GetText(vtOriginalFileName); }
    std::string ProductName() const { return GetText(vtProductName); }
    std::string ProductVersion() const { return GetText(vtProductVersion); }
    std::string Comments() const { return GetText(vtComments); }

    // FileVersion split at "." from the left into four numbers; a missing or
    // non-numeric piece gives 0. Always true.
    bool GetVersionNumbers(int& major, int& minor, int& release, int& build) const;

    // Stored as they are: for tests and for data read elsewhere.
    void SetText(TVersionType type, std::string text) { texts_[type] = std::move(text); }

private:
    struct NoRead {};
    explicit TVersionInfo(NoRead) {}
    friend TVersionInfo EmptyVersionInfo();
    std::array<std::string, kVersionTypeCount> texts_;
};

// A version object with all ten texts empty (no read of the program).
TVersionInfo EmptyVersionInfo();

// The version resource's string table 040904E4 of a PE image held in memory:
// the values found, by member; members not found stay empty and `found` says
// which were. Returns false when the image has no version resource or no such
// table. Throws VersionResourceError (prefixed with `name`) on damage.
struct VersionStrings {
    std::array<std::string, kVersionTypeCount> text;
    std::array<bool, kVersionTypeCount> found{};
};
bool ReadPeVersionStrings(std::string_view image, const std::string& name, VersionStrings& out);

// The About box's two texts, built once at start-up from the date of the
// program's executable file and its file version.
struct VersionTexts {
    std::string version;     // "Version 5.04.3.15.5"
    std::string copyright;   // "Copyright (C) 2004 ..."
};
// year, month, day: the executable's last-modification date (local);
// fileVersion: its file version ("1.2.0.5").
VersionTexts MakeVersionTexts(int year, int month, int day, const std::string& fileVersion);

// The program-wide texts: BuildVersionTexts fills them from the running
// executable; ClearVersionTexts empties them at shutdown.
void BuildVersionTexts();
void ClearVersionTexts();
const std::string& VersionText();
const std::string& CopyrightText();

// The maker's constants shown by the About box.
inline constexpr const char* kMakerName = "Tarnel Project";
inline constexpr const char* kAuthorLine = "The Tarnel developers - tarnel@tarnel-project.org";
inline constexpr const char* kWebAddress = "https://tarnel-project.org/vantor/";

} // namespace tarnel::shell
