// Settings folder and whole-file reads and replacements on Windows, all through
// the wide-character interfaces.

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include <algorithm>
#include <atomic>

#include "Platform.h"

namespace Platform {

namespace {

// Closes the handle when the scope ends.
class FileHandle {
public:
    explicit FileHandle(HANDLE handle) : m_handle(handle) {}
    ~FileHandle()
    {
        if (m_handle != INVALID_HANDLE_VALUE)
            CloseHandle(m_handle);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    HANDLE get() const { return m_handle; }
    // Closes now, reporting whether the system accepted the close.
    bool close()
    {
        const HANDLE handle = m_handle;
        m_handle = INVALID_HANDLE_VALUE;
        return CloseHandle(handle) != FALSE;
    }

private:
    HANDLE m_handle;
};

bool WriteAll(HANDLE file, const std::string& bytes)
{
    size_t written = 0;
    while (written < bytes.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - written, 1u << 30));
        DWORD n = 0;
        if (!WriteFile(file, bytes.data() + written, chunk, &n, nullptr) || n == 0)
            return false;
        written += n;
    }
    return true;
}

// A new, exclusively created file beside the target.
HANDLE CreateSibling(const std::filesystem::path& file, std::filesystem::path& sibling)
{
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        sibling = file;
        sibling += L"." + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(counter++) + L".tmp";
        const HANDLE handle =
            CreateFileW(sibling.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS)
            return handle;
    }
    return INVALID_HANDLE_VALUE;
}

} // namespace

std::filesystem::path LocalDataFolder()
{
    PWSTR folder = nullptr;
    std::filesystem::path result;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &folder)))
        result = folder;
    CoTaskMemFree(folder);
    return result;
}

bool ReadWholeFile(const std::filesystem::path& file, std::string& bytes, size_t maxBytes)
{
    const FileHandle handle(CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (handle.get() == INVALID_HANDLE_VALUE || GetFileType(handle.get()) != FILE_TYPE_DISK ||
        !GetFileSizeEx(handle.get(), &size) || static_cast<unsigned long long>(size.QuadPart) > maxBytes)
        return false;

    std::string content;
    content.reserve(static_cast<size_t>(size.QuadPart));
    char buffer[64 * 1024];
    for (;;) {
        DWORD n = 0;
        if (!ReadFile(handle.get(), buffer, sizeof buffer, &n, nullptr))
            return false;
        if (n == 0)
            break;
        // The file may grow while it is read.
        if (n > maxBytes - content.size())
            return false;
        content.append(buffer, n);
    }
    bytes.swap(content);
    return true;
}

bool ReplaceFileContents(const std::filesystem::path& file, const std::string& bytes)
{
    // A file the user made read-only stays as it is; not every file system makes
    // the replacing move refuse it.
    const DWORD attributes = GetFileAttributesW(file.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0)
        return false;
    std::filesystem::path sibling;
    FileHandle handle(CreateSibling(file, sibling));
    if (handle.get() == INVALID_HANDLE_VALUE)
        return false;
    const bool written = WriteAll(handle.get(), bytes) && FlushFileBuffers(handle.get());
    if (!handle.close() || !written ||
        !MoveFileExW(sibling.c_str(), file.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileW(sibling.c_str());
        return false;
    }
    return true;
}

std::string PathToUtf8(const std::filesystem::path& path)
{
    const std::wstring& wide = path.native();
    if (wide.empty())
        return {};
    const int length = static_cast<int>(wide.size());
    const int size = WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
    if (size <= 0)
        return {};
    std::string utf8(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, utf8.data(), size, nullptr, nullptr);
    return utf8;
}

} // namespace Platform
