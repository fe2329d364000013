#include "windows/partial_settings_win32.h"

#include "core/window_port.h"
#include "resource.h"
#include "selection/size_format.h"
#include "transfer/partial_files.h"
#include "windows/app_state_win32.h"
#include "windows/texts_win32.h"

namespace {
const wchar_t kDaysValue[] = L"KeepPartialDays";

// The size never breaks between its number and its unit.
void showSummary(HWND dialog, int textId, const PartialSummary& summary) {
    std::string size = formatSize(summary.bytes);
    const size_t space = size.rfind(' ');
    if (space != std::string::npos) size.replace(space, 1, "\xC2\xA0");
    std::wstring note = loadTextWith(textId, std::to_string(summary.count), size);
    SetDlgItemTextW(dialog, IDC_PARTIAL_NOTE, note.c_str());
}
}  // namespace

int readKeepPartialDays() {
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsKeyW, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return kDefaultKeepPartialDays;
    DWORD value = 0, size = sizeof value, type = 0;
    LONG rc = RegQueryValueExW(key, kDaysValue, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS || type != REG_DWORD || size != sizeof value) return kDefaultKeepPartialDays;
    return value > kMaxKeepPartialDays ? kMaxKeepPartialDays : static_cast<int>(value);
}

bool writeKeepPartialDays(int days) {
    HKEY key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kSettingsKeyW, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return false;
    DWORD value = static_cast<DWORD>(days);
    LONG rc = RegSetValueExW(key, kDaysValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS;
}

void applyStoredPartialFiles(const std::string& storeFolder) {
    keepPartialDays = readKeepPartialDays();
    if (!storeFolder.empty()) expirePartialFiles(storeFolder);
}

void initialisePartialFiles(HWND dialog) {
    SetDlgItemTextW(dialog, IDC_KEEP_PARTIAL_LABEL, loadTextW(IDS_KEEP_PARTIAL).c_str());
    SetDlgItemTextW(dialog, IDC_DELETE_PARTIAL, loadTextW(IDS_DELETE_PARTIAL).c_str());
    SendDlgItemMessageW(dialog, IDC_KEEP_PARTIAL, EM_LIMITTEXT, 3, 0);
    SetDlgItemInt(dialog, IDC_KEEP_PARTIAL, static_cast<UINT>(keepPartialDays.load()), FALSE);
    const std::string store = portGetStorePath();
    PartialSummary kept = store.empty() ? PartialSummary{} : partialFilesIn(store);
    if (kept.count > 0) showSummary(dialog, IDS_PARTIAL_KEPT, kept);
}

bool partialFilesCommand(HWND dialog, int id) {
    if (id != IDC_DELETE_PARTIAL) return false;
    // At once, as the button says; the note tells what went.
    const std::string store = portGetStorePath();
    showSummary(dialog, IDS_PARTIAL_DELETED, store.empty() ? PartialSummary{} : deletePartialFiles(store));
    return true;
}

void storePartialFiles(HWND dialog) {
    BOOL typed = FALSE;
    UINT days = GetDlgItemInt(dialog, IDC_KEEP_PARTIAL, &typed, FALSE);
    if (!typed) return;
    if (days > kMaxKeepPartialDays) days = kMaxKeepPartialDays;
    keepPartialDays = static_cast<int>(days);
    writeKeepPartialDays(static_cast<int>(days));
}
