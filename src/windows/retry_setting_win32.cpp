#include "windows/retry_setting_win32.h"

#include <cstdint>

#include "platform/registry.h"
#include "resource.h"
#include "send/send_retry.h"
#include "windows/app_state_win32.h"
#include "windows/texts_win32.h"

namespace {
const wchar_t kValue[] = L"RetrySeconds";
}  // namespace

void loadRetrySeconds() {
    uint32_t value = kDefaultRetrySeconds;
    if (!readUserNumber(kSettingsKeyW, kValue, &value)) value = kDefaultRetrySeconds;
    sendRetrySeconds = value > static_cast<uint32_t>(kMostRetrySeconds) ? kMostRetrySeconds : static_cast<int>(value);
}

void initialiseRetrySeconds(HWND dialog) {
    SetDlgItemTextW(dialog, IDC_RETRY_LABEL, loadTextW(IDS_RETRY_SETTING).c_str());
    SendDlgItemMessageW(dialog, IDC_RETRY_SECONDS, EM_LIMITTEXT, 5, 0);
    SetDlgItemInt(dialog, IDC_RETRY_SECONDS, static_cast<UINT>(sendRetrySeconds.load()), FALSE);
}

void storeRetrySeconds(HWND dialog) {
    BOOL typed = FALSE;
    UINT seconds = GetDlgItemInt(dialog, IDC_RETRY_SECONDS, &typed, FALSE);
    if (!typed) return;
    if (seconds > static_cast<UINT>(kMostRetrySeconds)) seconds = kMostRetrySeconds;
    sendRetrySeconds = static_cast<int>(seconds);
    writeUserNumber(kSettingsKeyW, kValue, seconds);
}
