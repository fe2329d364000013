#include "windows/recipient_menu_win32.h"

#include <commctrl.h>

#include <algorithm>
#include <string>
#include <vector>

#include "peers/remembered_peers.h"
#include "platform/codepage.h"
#include "platform/net.h"
#include "resource.h"
#include "trust/trusted_list.h"
#include "windows/texts_win32.h"

namespace {
constexpr UINT_PTR kFieldSubclass = 1;

// The field's own keys for the menu, as a combo box's: Alt+Down and F4.
LRESULT CALLBACK recipientKeys(HWND field, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
    if ((message == WM_KEYDOWN && wParam == VK_F4) || (message == WM_SYSKEYDOWN && wParam == VK_DOWN)) {
        showRecipientMenu(GetParent(field));
        return 0;
    }
    if (message == WM_NCDESTROY) RemoveWindowSubclass(field, recipientKeys, kFieldSubclass);
    return DefSubclassProc(field, message, wParam, lParam);
}

void addItem(HMENU menu, UINT flags, UINT_PTR command, const std::wstring& text) {
    AppendMenuW(menu, MF_STRING | flags, command, text.c_str());
}

// The trusted computers first, by name with their last address (one never seen cannot be
// chosen: trust follows the key, and its address is not known yet), then the remembered
// peers that are not among them. Each address the menu offers goes into targets.
void addTrustedItems(HMENU menu, std::vector<std::string>* targets) {
    std::vector<TrustedComputer> trusted = trustedComputers();
    if (trusted.empty()) return;
    addItem(menu, MF_GRAYED, 0, loadTextW(IDS_TRUSTED_GROUP));
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    for (const TrustedComputer& computer : trusted) {
        if (computer.lastAddress == 0) {
            addItem(menu, MF_GRAYED, 0, utf8ToWide(computer.name));
            continue;
        }
        std::string address = netDotted(computer.lastAddress);
        targets->push_back(address);
        addItem(menu, 0, targets->size(), utf8ToWide(computer.name + "  (" + address + ")"));
    }
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
}
}  // namespace

void setUpRecipientMenu(HWND window) {
    // The system's own combo box arrow.
    HANDLE arrow = LoadImageW(nullptr, MAKEINTRESOURCEW(32738 /* OBM_COMBO */), IMAGE_BITMAP, 0, 0, LR_SHARED);
    SendDlgItemMessageW(window, IDC_RECIPIENT_PEERS, BM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(arrow));
    SetWindowSubclass(GetDlgItem(window, IDC_RECIPIENT), recipientKeys, kFieldSubclass, 0);
}

void showRecipientMenu(HWND window) {
    HMENU menu = CreatePopupMenu();
    if (!menu) return;
    // The lists as they are now: what is chosen is taken from this copy, however they change.
    std::vector<std::string> targets;
    addTrustedItems(menu, &targets);
    const size_t trustedCount = targets.size();
    addItem(menu, MF_GRAYED, 0, loadTextW(IDS_REMEMBERED_PEERS));
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    for (const std::string& peer : rememberedPeers()) {
        if (std::find(targets.begin(), targets.begin() + trustedCount, peer) != targets.begin() + trustedCount)
            continue;
        targets.push_back(peer);
        addItem(menu, 0, targets.size(), ansiToWide(peer));
    }
    if (targets.size() == trustedCount) addItem(menu, MF_GRAYED, 0, loadTextW(IDS_CHECK_NO_PEERS));
    HWND field = GetDlgItem(window, IDC_RECIPIENT);
    // Under the field, its right edge at the arrow's: into the window rather than past it.
    RECT place = {}, arrow = {};
    GetWindowRect(field, &place);
    GetWindowRect(GetDlgItem(window, IDC_RECIPIENT_PEERS), &arrow);
    SetFocus(field);
    SetForegroundWindow(window);  // else the menu stays open when the user clicks elsewhere
    UINT chosen = static_cast<UINT>(TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTALIGN | TPM_TOPALIGN | TPM_LEFTBUTTON,
                                                   arrow.right, place.bottom, 0, window, nullptr));
    DestroyMenu(menu);
    if (chosen < 1 || chosen > targets.size()) return;
    SetWindowTextA(field, targets[chosen - 1].c_str());
    SendMessageW(field, EM_SETSEL, 0, -1);
}
