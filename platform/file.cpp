#include "platform/file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <utility>

namespace qor {

File::~File() { Close(); }

File::File(File&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)), m_lastError(other.m_lastError), m_path(std::move(other.m_path)) {}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        Close();
        m_fd = std::exchange(other.m_fd, -1);
        m_lastError = other.m_lastError;
        m_path = std::move(other.m_path);
    }
    return *this;
}

bool File::Open(const std::string& path, Mode mode) {
    Close();
    int flags = O_CLOEXEC;
    switch (mode) {
        case Mode::Read: flags |= O_RDONLY; break;
        case Mode::ReadWrite: flags |= O_RDWR; break;
        case Mode::CreateAlways: flags |= O_RDWR | O_CREAT | O_TRUNC; break;
        case Mode::OpenAlways: flags |= O_RDWR | O_CREAT; break;
    }
    int fd;
    do {
        fd = ::open(path.c_str(), flags, 0644);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        m_lastError = errno;
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        m_lastError = EISDIR;
        return false;
    }
    if (mode == Mode::Read) {
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    }
    m_fd = fd;
    m_path = path;
    m_lastError = 0;
    return true;
}

void File::Close() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

int64_t File::Read(void* buffer, size_t count) {
    if (m_fd < 0) {
        m_lastError = EBADF;
        return -1;
    }
    auto* out = static_cast<char*>(buffer);
    size_t done = 0;
    while (done < count) {
        const ssize_t n = ::read(m_fd, out + done, count - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            m_lastError = errno;
            return done > 0 ? static_cast<int64_t>(done) : -1;
        }
        if (n == 0) break;
        done += static_cast<size_t>(n);
    }
    return static_cast<int64_t>(done);
}

bool File::Write(const void* buffer, size_t count) {
    if (m_fd < 0) {
        m_lastError = EBADF;
        return false;
    }
    const auto* in = static_cast<const char*>(buffer);
    size_t done = 0;
    while (done < count) {
        const ssize_t n = ::write(m_fd, in + done, count - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            m_lastError = errno;
            return false;
        }
        if (n == 0) {
            m_lastError = ENOSPC;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

int64_t File::ReadAt(void* buffer, size_t count, int64_t offset) {
    if (m_fd < 0 || offset < 0) {
        m_lastError = m_fd < 0 ? EBADF : EINVAL;
        return -1;
    }
    auto* out = static_cast<char*>(buffer);
    size_t done = 0;
    while (done < count) {
        const ssize_t n = ::pread(m_fd, out + done, count - done, offset + static_cast<int64_t>(done));
        if (n < 0) {
            if (errno == EINTR) continue;
            m_lastError = errno;
            return done > 0 ? static_cast<int64_t>(done) : -1;
        }
        if (n == 0) break;
        done += static_cast<size_t>(n);
    }
    return static_cast<int64_t>(done);
}

bool File::WriteAt(const void* buffer, size_t count, int64_t offset) {
    if (m_fd < 0 || offset < 0) {
        m_lastError = m_fd < 0 ? EBADF : EINVAL;
        return false;
    }
    const auto* in = static_cast<const char*>(buffer);
    size_t done = 0;
    while (done < count) {
        const ssize_t n = ::pwrite(m_fd, in + done, count - done, offset + static_cast<int64_t>(done));
        if (n < 0) {
            if (errno == EINTR) continue;
            m_lastError = errno;
            return false;
        }
        if (n == 0) {
            m_lastError = ENOSPC;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

int64_t File::Seek(int64_t offset, Origin origin) {
    if (m_fd < 0) {
        m_lastError = EBADF;
        return -1;
    }
    const int whence = origin == Origin::Begin ? SEEK_SET : origin == Origin::Current ? SEEK_CUR : SEEK_END;
    const off_t pos = ::lseek(m_fd, offset, whence);
    if (pos < 0) {
        m_lastError = errno;
        return -1;
    }
    return pos;
}

int64_t File::Tell() const {
    if (m_fd < 0) return -1;
    return ::lseek(m_fd, 0, SEEK_CUR);
}

int64_t File::Size() const {
    if (m_fd < 0) return -1;
    struct stat st {};
    if (::fstat(m_fd, &st) != 0) return -1;
    return st.st_size;
}

bool File::SetEndOfFile() {
    const int64_t pos = Tell();
    if (pos < 0) {
        m_lastError = EBADF;
        return false;
    }
    if (::ftruncate(m_fd, pos) != 0) {
        m_lastError = errno;
        return false;
    }
    return true;
}

bool File::Flush() {
    if (m_fd < 0) return false;
    if (::fdatasync(m_fd) != 0 && errno != EINVAL) {
        m_lastError = errno;
        return false;
    }
    return true;
}

bool PathExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

bool IsDirectory(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsRegularFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool CreateDirectory(const std::string& path) {
    if (::mkdir(path.c_str(), 0755) == 0) return true;
    return errno == EEXIST && IsDirectory(path);
}

int64_t FileSize(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return -1;
    return st.st_size;
}

int64_t FreeDiskSpace(const std::string& path) {
    struct statvfs vfs {};
    if (::statvfs(path.c_str(), &vfs) != 0) return -1;
    return static_cast<int64_t>(vfs.f_bavail) * static_cast<int64_t>(vfs.f_frsize);
}

}  // namespace qor
