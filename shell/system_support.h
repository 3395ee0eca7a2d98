#pragma once
// Small file-name and file-system routines shared across the program.
#include <stdexcept>
#include <string>

namespace tarnel {

// An input/output failure of the system, with the program's texts:
// 2 "File not found", 3 "Invalid filename", 4 "Too many open files",
// 5 "File access denied", otherwise "I/O error N".
class InOutError : public std::runtime_error {
public:
    InOutError(int code, const std::string& message) : std::runtime_error(message), code_(code) {}
    int code() const { return code_; }
private:
    int code_;
};

// The error for a failed system call, from its errno value.
InOutError InOutErrorFromErrno(int err);

// A date or time that cannot be encoded: "Invalid argument to date encode".
class DateEncodeError : public std::runtime_error {
public:
    DateEncodeError() : std::runtime_error("Invalid argument to date encode") {}
};

// The file name without its folder and without its last extension:
// "/data/historic.dbf" gives "historic", "a.b.dbf" "a.b", ".dbf" empty text.
std::string FileStem(const std::string& path);

// Makes the folder part of a path (up to its last "/") the working folder.
// A name without a folder changes nothing. Throws InOutError when the folder
// cannot be entered; the working folder then stays as it was.
void SetWorkingFolderFrom(const std::string& path);

// The working folder, without a final "/" except for the root; empty text if
// the working folder no longer exists.
std::string CurrentFolder();

// The last-write time of a file as local date and time in day numbers (days
// since 30 December 1899, time of day as the fraction), seconds cut to an even
// number. Throws DateEncodeError for a missing file, a folder, or a time
// outside 1980 to 2107.
double FileDateTime(const std::string& fileName);

} // namespace tarnel
