// The identity on Windows: the PEM text protected for the user by the system's data
// protection (CryptProtectData, user scope), in %LOCALAPPDATA%\Quorvalinthexa\identity.key.
// Another user, or the file carried to another machine, cannot read the key.
#include <windows.h>
#include <shlobj.h>
#include <wincrypt.h>

#include <string>
#include <vector>

#include "platform/codepage.h"
#include "trust/identity.h"
#include "trust/identity_store.h"

namespace {
const wchar_t kFolder[] = L"\\Quorvalinthexa";
const wchar_t kFile[] = L"\\identity.key";
const wchar_t kDescription[] = L"Quorvalinthexa identity";
// The protected blob is the text plus a header and a signature of some hundred bytes.
constexpr DWORD kMostStoredBytes = kIdentityFileMostBytes + 4096;

// LOCALAPPDATA names the same folder as the shell's; tests point it at a folder of theirs.
std::wstring localFolder() {
    wchar_t path[MAX_PATH];
    DWORD length = GetEnvironmentVariableW(L"LOCALAPPDATA", path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        if (SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path) != S_OK) return L"";
    }
    return std::wstring(path) + kFolder;
}

// Reads a whole small file; false when it is larger than limit or a read fails.
bool readSmallFile(HANDLE file, DWORD limit, std::vector<BYTE>* bytes) {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file, &size) || size.QuadPart > limit) return false;
    bytes->resize(static_cast<size_t>(size.QuadPart));
    DWORD got = 0;
    return bytes->empty() ||
           (ReadFile(file, bytes->data(), static_cast<DWORD>(bytes->size()), &got, nullptr) && got == bytes->size());
}

void wipe(DATA_BLOB& blob) {
    if (!blob.pbData) return;
    SecureZeroMemory(blob.pbData, blob.cbData);
    LocalFree(blob.pbData);
}
}  // namespace

std::string identityPath() {
    const std::wstring folder = localFolder();
    return folder.empty() ? std::string() : wideToPath(folder + kFile);
}

StoredIdentity readIdentityText(const std::string& path, std::string* pem) {
    HANDLE file = CreateFileW(pathToWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? StoredIdentity::Missing
                                                                              : StoredIdentity::Unreadable;
    }
    std::vector<BYTE> stored;
    bool read = GetFileType(file) == FILE_TYPE_DISK && readSmallFile(file, kMostStoredBytes, &stored);
    CloseHandle(file);
    DATA_BLOB in{static_cast<DWORD>(stored.size()), stored.data()};
    DATA_BLOB out{0, nullptr};
    if (!read || !CryptUnprotectData(&in, nullptr, nullptr, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &out))
        return StoredIdentity::Unreadable;
    bool fits = out.cbData <= kIdentityFileMostBytes;
    if (fits) pem->assign(reinterpret_cast<const char*>(out.pbData), out.cbData);
    wipe(out);
    return fits ? StoredIdentity::Read : StoredIdentity::Unreadable;
}

bool writeIdentityText(const std::string& path, const std::string& pem) {
    const std::wstring target = pathToWide(path);
    const size_t slash = target.rfind(L'\\');
    if (path.empty() || slash == std::wstring::npos) return false;
    CreateDirectoryW(target.substr(0, slash).c_str(), nullptr);  // it may exist already
    DATA_BLOB in{static_cast<DWORD>(pem.size()), reinterpret_cast<BYTE*>(const_cast<char*>(pem.data()))};
    DATA_BLOB out{0, nullptr};
    if (!CryptProtectData(&in, kDescription, nullptr, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &out)) return false;
    const std::wstring temporary = target + L".new" + std::to_wstring(GetCurrentProcessId());
    HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    bool written = file != INVALID_HANDLE_VALUE;
    if (written) {
        DWORD put = 0;
        written = WriteFile(file, out.pbData, out.cbData, &put, nullptr) && put == out.cbData && FlushFileBuffers(file);
        written = CloseHandle(file) && written;
    }
    wipe(out);
    // Without MOVEFILE_REPLACE_EXISTING: a key stored meanwhile by another process stays.
    written = written && MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH);
    if (!written) DeleteFileW(temporary.c_str());
    return written;
}
