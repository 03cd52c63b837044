// File access with 64-bit offsets, and the path helpers the player and the
// converter need.
//
// Threading: a File is used by one thread at a time; separate File objects on
// the same path may be used from different threads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace qor {

class File {
public:
    enum class Mode {
        Read,          // existing file, read only
        ReadWrite,     // existing file, read and write
        CreateAlways,  // create or truncate, read and write
        OpenAlways,    // open or create, read and write, keep the contents
    };
    enum class Origin { Begin = 0, Current = 1, End = 2 };

    File() = default;
    ~File();
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;

    // Failure leaves the object closed; LastError() then gives errno.
    bool Open(const std::string& path, Mode mode);
    void Close();
    bool IsOpen() const { return m_fd >= 0; }

    // Reads at the current position; returns the bytes read (0 at the end),
    // or -1 on error. Retries short reads until count or end of file.
    int64_t Read(void* buffer, size_t count);
    // Writes everything or fails.
    bool Write(const void* buffer, size_t count);
    int64_t ReadAt(void* buffer, size_t count, int64_t offset);
    bool WriteAt(const void* buffer, size_t count, int64_t offset);

    // Returns the new position, or -1.
    int64_t Seek(int64_t offset, Origin origin);
    int64_t Tell() const;
    // -1 on error.
    int64_t Size() const;
    // Cuts or extends the file at the current position.
    bool SetEndOfFile();
    bool Flush();

    int LastError() const { return m_lastError; }
    const std::string& Path() const { return m_path; }

private:
    int m_fd = -1;
    int m_lastError = 0;
    std::string m_path;
};

bool PathExists(const std::string& path);
bool IsDirectory(const std::string& path);
bool IsRegularFile(const std::string& path);
// Creates one directory level; true when it exists afterwards.
bool CreateDirectory(const std::string& path);
// -1 when the file cannot be examined.
int64_t FileSize(const std::string& path);
// Free bytes on the file system holding path, -1 when unknown.
int64_t FreeDiskSpace(const std::string& path);

}  // namespace qor
