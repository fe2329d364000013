#include "windows/retry_setting_win32.h"

#include <cstdint>

#include "platform/registry.h"
#include "send/send_retry.h"
#include "windows/app_state_win32.h"

namespace {
const wchar_t kValue[] = L"RetrySeconds";
}  // namespace

void loadRetrySeconds() {
    uint32_t value = kDefaultRetrySeconds;
    if (!readUserNumber(kSettingsKeyW, kValue, &value)) value = kDefaultRetrySeconds;
    sendRetrySeconds = value > static_cast<uint32_t>(kMostRetrySeconds) ? kMostRetrySeconds : static_cast<int>(value);
}
