// Settings folder and whole-file reads and replacements on Linux.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>

#include "Platform.h"

namespace Platform {

namespace {

// Closes the descriptor when the scope ends.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const { return m_fd; }
    // Closes now, reporting whether the kernel accepted the close.
    bool close()
    {
        const int fd = m_fd;
        m_fd = -1;
        return ::close(fd) == 0;
    }

private:
    int m_fd;
};

bool WriteAll(int fd, const std::string& bytes)
{
    size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        written += static_cast<size_t>(n);
    }
    return true;
}

// A new, exclusively created file beside the target.
int CreateSibling(const std::filesystem::path& file, std::filesystem::path& sibling)
{
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        sibling = file.parent_path() / ("." + file.filename().string() + "." + std::to_string(::getpid()) + "-" +
                                        std::to_string(counter++) + ".tmp");
        const int fd = ::open(sibling.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

// Makes a rename in the folder durable; best effort, as not every file system
// lets a folder be synced.
void SyncFolder(const std::filesystem::path& folder)
{
    const FileDescriptor fd(::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() >= 0)
        ::fsync(fd.get());
}

} // namespace

std::filesystem::path LocalDataFolder()
{
    // Only an absolute XDG_DATA_HOME counts; a relative one is to be ignored.
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    if (dataHome != nullptr && dataHome[0] == '/')
        return dataHome;
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] != '\0')
        return std::filesystem::path(home) / ".local" / "share";
    return {};
}

bool ReadWholeFile(const std::filesystem::path& file, std::string& bytes, size_t maxBytes)
{
    // Non-blocking, so that a FIFO in the file's place cannot stall the open.
    const FileDescriptor fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    struct stat info {};
    if (fd.get() < 0 || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode) ||
        static_cast<unsigned long long>(info.st_size) > maxBytes)
        return false;

    std::string content;
    content.reserve(static_cast<size_t>(info.st_size));
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            break;
        // The file may grow while it is read.
        if (static_cast<size_t>(n) > maxBytes - content.size())
            return false;
        content.append(buffer, static_cast<size_t>(n));
    }
    bytes.swap(content);
    return true;
}

bool ReplaceFileContents(const std::filesystem::path& file, const std::string& bytes)
{
    // A rename would get past a read-only file; one the user made read-only stays
    // as it is, as it does on Windows.
    if (::access(file.c_str(), W_OK) != 0 && errno != ENOENT)
        return false;
    std::filesystem::path sibling;
    FileDescriptor fd(CreateSibling(file, sibling));
    if (fd.get() < 0)
        return false;
    // The new file keeps the permissions of the one it replaces.
    struct stat info {};
    if (::stat(file.c_str(), &info) == 0)
        ::fchmod(fd.get(), info.st_mode & 07777);
    const bool written = WriteAll(fd.get(), bytes) && ::fsync(fd.get()) == 0;
    if (!fd.close() || !written || ::rename(sibling.c_str(), file.c_str()) != 0) {
        ::unlink(sibling.c_str());
        return false;
    }
    SyncFolder(file.parent_path());
    return true;
}

std::string PathToUtf8(const std::filesystem::path& path)
{
    // Linux paths are bytes, by convention UTF-8, and are passed on as they are.
    return path.string();
}

} // namespace Platform
