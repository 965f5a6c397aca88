#include "history_native.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdlib>

namespace historynative {

namespace {

std::wstring wide(const std::string &utf8)
{
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), int(utf8.size()), nullptr, 0);
    std::wstring out(size_t(n > 0 ? n : 0), L'\0');
    if (n > 0)
        MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), int(utf8.size()), &out[0], n);
    return out;
}

std::string narrow(const wchar_t *text)
{
    const int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1)
        return {};
    std::string out(size_t(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], n, nullptr, nullptr);
    out.resize(size_t(n - 1));
    return out;
}

std::string systemError(DWORD code)
{
    wchar_t *text = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                       FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, code, 0, reinterpret_cast<wchar_t *>(&text), 0, nullptr);
    std::string out = text ? narrow(text) : "error " + std::to_string(code);
    LocalFree(text);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' '))
        out.pop_back();
    return out;
}

}  // namespace

bool appendWhole(const std::string &path, const std::string &line, std::string &error)
{
    HANDLE file = CreateFileW(wide(path).c_str(), GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = systemError(GetLastError());
        return false;
    }
    // Writers take a lock on one byte far past any real end, so that readers
    // are never locked out of the lines themselves.
    OVERLAPPED lockByte = {};
    lockByte.Offset = 0xFFFFFFFEu;
    lockByte.OffsetHigh = 0x7FFFFFFFu;
    bool ok = LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &lockByte) != 0;
    const bool locked = ok;
    LARGE_INTEGER end = {};
    ok = ok && SetFilePointerEx(file, end, nullptr, FILE_END) != 0;
    size_t done = 0;
    while (ok && done < line.size()) {
        DWORD n = 0;
        ok = WriteFile(file, line.data() + done, DWORD(line.size() - done), &n, nullptr) != 0 &&
             n > 0;
        done += n;
    }
    ok = ok && FlushFileBuffers(file) != 0;
    if (!ok)
        error = systemError(GetLastError());
    if (locked)
        UnlockFileEx(file, 0, 1, 0, &lockByte);
    CloseHandle(file);
    return ok;
}

std::string userName()
{
    wchar_t name[257];
    DWORD size = 257;
    return GetUserNameW(name, &size) ? narrow(name) : std::string();
}

std::string stateFolder()
{
    const wchar_t *local = _wgetenv(L"LOCALAPPDATA");
    return local && *local ? narrow(local) + "\\Orvanta" : std::string();
}

}  // namespace historynative
