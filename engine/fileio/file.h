#pragma once
// A table file: positioned reads and writes that either complete or throw,
// and an advisory lock that keeps two writers of one table apart.
#include <cstdint>
#include <string>
#include <vector>

namespace tarnel {

class File {
public:
    File() = default;
    ~File();
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // Opens for reading and writing; falls back to reading only when the file
    // may not be written (then writable() is false). readOnly opens for reading.
    static File open(const std::string& path, bool readOnly);
    // Creates (or truncates) a file for writing.
    static File create(const std::string& path);

    bool isOpen() const { return fd_ >= 0; }
    bool writable() const { return writable_; }
    const std::string& path() const { return path_; }
    std::int64_t size() const;

    // Reads up to n bytes at offset; returns the count read (short at the end of the file).
    std::size_t readAt(std::int64_t offset, void* buffer, std::size_t n) const;
    // Reads exactly n bytes or throws, naming the file and what was being read.
    void readExact(std::int64_t offset, void* buffer, std::size_t n, const char* what) const;
    void writeAt(std::int64_t offset, const void* data, std::size_t n);
    void truncate(std::int64_t size);
    void sync();
    void close();

    // Exclusive advisory lock for the duration of a write.
    class Lock {
    public:
        explicit Lock(File& file);
        ~Lock();
        Lock(const Lock&) = delete;
        Lock& operator=(const Lock&) = delete;
    private:
        File& file_;
        bool locked_ = false;
    };

private:
    int fd_ = -1;
    bool writable_ = false;
    std::string path_;
};

// The file name part of a path (after the last '/').
std::string BaseName(const std::string& path);

// Renames a file (both on one file system), or throws naming it.
void RenameFile(const std::string& from, const std::string& to);
// Gives the file `from` a second name `to` (both on one file system): a
// copy that costs nothing and shares the file's bytes, so it stays a copy
// only while the file is replaced rather than written over. False where it
// cannot be made (another file system, no right to, a fault); nothing is
// made then.
bool LinkFile(const std::string& from, const std::string& to);
// Removes a file; one that is already gone is no error.
void RemoveFile(const std::string& path);

// Makes a new folder only we may enter (mode 0700) named `prefix` plus six
// random characters inside `folder` (empty: the working folder); returns its path.
std::string MakePrivateFolder(const std::string& folder, const std::string& prefix);
// Removes a folder made by MakePrivateFolder and the files in it; returns
// false when something stayed behind.
bool RemoveFolderAndFiles(const std::string& folder);
// The names of the entries of a folder, except "." and "..".
std::vector<std::string> FolderEntries(const std::string& folder);

// Replaces a file atomically: writes to a temporary file beside it, then renames.
void WriteFileAtomically(const std::string& path, const std::string& contents);

} // namespace tarnel
