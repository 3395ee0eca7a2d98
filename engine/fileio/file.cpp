#include "engine/fileio/file.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "engine/error.h"
#include "engine/fileio/fault.h"

namespace tarnel {

namespace {
std::string SysError(const std::string& what, const std::string& path)
{
    return BaseName(path) + ": " + what + " (" + std::strerror(errno) + ")";
}

// The test seam: true (with errno set) when the operation is to fail.
bool Injected(fileio::FileOp op)
{
    int e = fileio::FaultCheck(op);
    if (e == 0) return false;
    errno = e;
    return true;
}
} // namespace

std::string BaseName(const std::string& path)
{
    auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

File::~File() { close(); }

File::File(File&& other) noexcept : fd_(other.fd_), writable_(other.writable_), path_(std::move(other.path_))
{
    other.fd_ = -1;
}

File& File::operator=(File&& other) noexcept
{
    if (this != &other) {
        close();
        fd_ = other.fd_;
        writable_ = other.writable_;
        path_ = std::move(other.path_);
        other.fd_ = -1;
    }
    return *this;
}

File File::open(const std::string& path, bool readOnly)
{
    File f;
    f.path_ = path;
    if (Injected(fileio::FileOp::Open)) throw EngineError(SysError("cannot open the file", path));
    if (!readOnly) {
        f.fd_ = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
        f.writable_ = f.fd_ >= 0;
        if (f.fd_ < 0 && errno != EACCES && errno != EROFS && errno != EPERM)
            throw EngineError(SysError("cannot open the file", path));
    }
    if (f.fd_ < 0) f.fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (f.fd_ < 0) throw EngineError(SysError("cannot open the file", path));
    struct stat st {};
    if (fstat(f.fd_, &st) == 0 && S_ISDIR(st.st_mode)) {
        errno = EISDIR;
        throw EngineError(SysError("cannot open the file", path));
    }
    return f;
}

File File::create(const std::string& path)
{
    File f;
    f.path_ = path;
    if (!Injected(fileio::FileOp::Create))
        f.fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (f.fd_ < 0) throw EngineError(SysError("cannot create the file", path));
    f.writable_ = true;
    return f;
}

std::int64_t File::size() const
{
    struct stat st {};
    if (fstat(fd_, &st) != 0) throw EngineError(SysError("cannot read the file size", path_));
    return st.st_size;
}

std::size_t File::readAt(std::int64_t offset, void* buffer, std::size_t n) const
{
    std::size_t done = 0;
    auto* p = static_cast<char*>(buffer);
    while (done < n) {
        ssize_t r = ::pread(fd_, p + done, n - done, offset + static_cast<std::int64_t>(done));
        if (r < 0) {
            if (errno == EINTR) continue;
            throw EngineError(SysError("read error", path_));
        }
        if (r == 0) break;
        done += static_cast<std::size_t>(r);
    }
    return done;
}

void File::readExact(std::int64_t offset, void* buffer, std::size_t n, const char* what) const
{
    if (readAt(offset, buffer, n) != n)
        throw EngineError(BaseName(path_) + ": the file ends inside the " + what + " (offset " +
                          std::to_string(offset) + ", " + std::to_string(n) + " bytes wanted)");
}

void File::writeAt(std::int64_t offset, const void* data, std::size_t n)
{
    if (!writable_) throw EngineError(BaseName(path_) + ": the file is open for reading only");
    std::size_t done = 0;
    const auto* p = static_cast<const char*>(data);
    if (Injected(fileio::FileOp::Write)) throw EngineError(SysError("write error", path_));
    while (done < n) {
        ssize_t r = ::pwrite(fd_, p + done, n - done, offset + static_cast<std::int64_t>(done));
        if (r < 0) {
            if (errno == EINTR) continue;
            throw EngineError(SysError("write error", path_));
        }
        done += static_cast<std::size_t>(r);
    }
}

void File::truncate(std::int64_t size)
{
    if (Injected(fileio::FileOp::Write) || ::ftruncate(fd_, size) != 0) throw EngineError(SysError("cannot set the file size", path_));
}

void File::sync()
{
    if (fd_ < 0) return;
    // A failed flush means the data may not be on the medium: the caller must know.
    if (Injected(fileio::FileOp::Sync) || (::fdatasync(fd_) != 0 && errno != EINVAL))
        throw EngineError(SysError("cannot flush the file to disk", path_));
}

void File::close()
{
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

File::Lock::Lock(File& file) : file_(file)
{
    if (Injected(fileio::FileOp::Lock)) throw EngineError(SysError("cannot lock the file", file_.path_));
    while (::flock(file_.fd_, LOCK_EX) != 0) {
        if (errno != EINTR) throw EngineError(SysError("cannot lock the file", file_.path_));
    }
    locked_ = true;
}

File::Lock::~Lock()
{
    if (locked_) ::flock(file_.fd_, LOCK_UN);
}

void WriteFileAtomically(const std::string& path, const std::string& contents)
{
    std::string tmp = path + ".tmp-XXXXXX";
    int fd = Injected(fileio::FileOp::Create) ? -1 : ::mkstemp(tmp.data());
    if (fd < 0) throw EngineError(SysError("cannot create a temporary file beside it", path));
    std::size_t done = 0;
    while (done < contents.size()) {
        ssize_t r = Injected(fileio::FileOp::Write) ? -1 : ::write(fd, contents.data() + done, contents.size() - done);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) {
            std::string message = SysError("write error", path);
            ::close(fd);
            ::unlink(tmp.c_str());
            throw EngineError(message);
        }
        done += static_cast<std::size_t>(r);
    }
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) ::fchmod(fd, st.st_mode & 07777);
    else ::fchmod(fd, 0644);
    if (Injected(fileio::FileOp::Sync) || ::fsync(fd) != 0) {
        std::string message = SysError("cannot flush the file to disk", path);
        ::close(fd);
        ::unlink(tmp.c_str());
        throw EngineError(message);
    }
    ::close(fd);
    try {
        RenameFile(tmp, path);
    } catch (...) {
        ::unlink(tmp.c_str());
        throw;
    }
}

void RenameFile(const std::string& from, const std::string& to)
{
    if (Injected(fileio::FileOp::Rename) || ::rename(from.c_str(), to.c_str()) != 0)
        throw EngineError(SysError("cannot move the file into place as " + BaseName(to), from));
}

bool LinkFile(const std::string& from, const std::string& to)
{
    return !Injected(fileio::FileOp::Create) && ::link(from.c_str(), to.c_str()) == 0;
}

void RemoveFile(const std::string& path)
{
    if (Injected(fileio::FileOp::Remove) || (::unlink(path.c_str()) != 0 && errno != ENOENT))
        throw EngineError(SysError("cannot remove the file", path));
}

std::string MakePrivateFolder(const std::string& folder, const std::string& prefix)
{
    std::string tmpl = (folder.empty() ? std::string() : (folder.back() == '/' ? folder : folder + "/")) +
                       prefix + "XXXXXX";
    if (Injected(fileio::FileOp::Create) || ::mkdtemp(tmpl.data()) == nullptr)
        throw EngineError(SysError("cannot make a temporary folder", folder.empty() ? std::string(".") : folder));
    return tmpl;
}

std::vector<std::string> FolderEntries(const std::string& folder)
{
    std::vector<std::string> names;
    DIR* d = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!d) return names;
    while (dirent* e = ::readdir(d)) {
        std::string n = e->d_name;
        if (n != "." && n != "..") names.push_back(std::move(n));
    }
    ::closedir(d);
    return names;
}

bool RemoveFolderAndFiles(const std::string& folder)
{
    for (const auto& name : FolderEntries(folder)) ::unlink((folder + "/" + name).c_str());
    return ::rmdir(folder.c_str()) == 0;
}

} // namespace tarnel
