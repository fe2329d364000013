#include "windows/encrypted_only_win32.h"

#include <cstdint>

#include "platform/registry.h"
#include "private/private_channel.h"
#include "windows/app_state_win32.h"

namespace {
const wchar_t kValue[] = L"SendOnlyEncrypted";
}  // namespace

void loadSendOnlyEncrypted() { sendOnlyEncrypted = storedSendOnlyEncrypted(); }

bool storedSendOnlyEncrypted() {
    uint32_t value = 0;
    readUserNumber(kSettingsKeyW, kValue, &value);
    return value == 1;
}

void storeSendOnlyEncrypted(bool on) {
    sendOnlyEncrypted = on;
    writeUserNumber(kSettingsKeyW, kValue, on ? 1 : 0);
}
