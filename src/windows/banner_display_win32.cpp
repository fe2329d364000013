#include "windows/banner_display_win32.h"

#include <objidl.h>
#include <gdiplus.h>
#include <shellapi.h>

#include <new>

#include "banner/banner_layout.h"
#include "banner/banner_link.h"
#include "banner/banner_picture.h"
#include "platform/codepage.h"
#include "resource.h"
#include "windows/app_state_win32.h"

RECT bannerWindowRect = {};

namespace {
namespace gdip = Gdiplus::DllExports;

int lineHeightOf(HWND owner) {
    HDC dc = GetDC(owner);  // no font selected: the metrics of the window's device context
    TEXTMETRICW metrics = {};
    GetTextMetricsW(dc, &metrics);
    ReleaseDC(owner, dc);
    return metrics.tmHeight + metrics.tmExternalLeading + metrics.tmDescent;
}

// The text control's font, bold and 13 pixels high.
HFONT bannerFont(HWND control) {
    LOGFONTW font = {};
    HFONT current = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
    if (current) GetObjectW(current, sizeof font, &font);
    font.lfHeight = -13;
    font.lfWeight = 700;
    return CreateFontIndirectW(&font);
}

void place(HWND control, const BannerPlace& where) {
    SetWindowPos(control, nullptr, where.x, where.y, where.width, where.height, SWP_NOZORDER);
}

void showText(HWND owner, int id, const BannerPlace& where, const char* text) {
    HWND control = GetDlgItem(owner, id);
    place(control, where);
    std::wstring wide = ansiToWide(text);
    if (wide.size() > 259) wide.resize(259);
    SetWindowTextW(control, wide.c_str());
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(bannerFont(control)), TRUE);
}

// The decoded picture file, or nullptr when it does not load as a picture.
Gdiplus::GpBitmap* loadPicture(const std::string& file, UINT* width, UINT* height) {
    Gdiplus::GpBitmap* bitmap = nullptr;
    if (gdip::GdipCreateBitmapFromFile(ansiToWide(file).c_str(), &bitmap) != Gdiplus::Ok || !bitmap) return nullptr;
    if (gdip::GdipGetImageWidth(bitmap, width) != Gdiplus::Ok ||
        gdip::GdipGetImageHeight(bitmap, height) != Gdiplus::Ok || *width > 0x7FFF || *height > 0x7FFF) {
        gdip::GdipDisposeImage(bitmap);
        return nullptr;
    }
    return bitmap;
}
}  // namespace

void showBanner(const BannerRecord& record, const std::string& pictureFile) {
    HWND owner = reinterpret_cast<HWND>(record.ownerWindow);
    const BannerMetrics metrics = {bannerWindowRect.right - bannerWindowRect.left,
                                   bannerWindowRect.bottom - bannerWindowRect.top,
                                   GetSystemMetrics(SM_CYCAPTION),
                                   GetSystemMetrics(SM_CXDLGFRAME),
                                   GetSystemMetrics(SM_CYDLGFRAME),
                                   lineHeightOf(owner)};
    UINT width = 0, height = 0;
    Gdiplus::GpBitmap* picture = record.pictureReady ? loadPicture(pictureFile, &width, &height) : nullptr;
    const BannerLayout layout = layOutBanner(metrics, record.title[0] != '\0', record.content[0] != '\0',
                                             picture != nullptr, static_cast<int>(width), static_cast<int>(height));
    if (layout.title.shown) showText(owner, IDC_BANNER_TITLE, layout.title, record.title);
    if (layout.content.shown) showText(owner, IDC_BANNER_CONTENT, layout.content, record.content);
    if (picture) {
        HBITMAP bitmap = nullptr;
        gdip::GdipCreateHBITMAPFromBitmap(picture, &bitmap, 0);
        HWND control = GetDlgItem(owner, IDC_BANNER_PICTURE);
        place(control, layout.picture);
        SendMessageW(control, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap));
        gdip::GdipDisposeImage(picture);
    }
    MoveWindow(owner, bannerWindowRect.left, bannerWindowRect.top, metrics.windowWidth,
               metrics.windowHeight + layout.addedHeight, TRUE);
}

DWORD WINAPI bannerThread(LPVOID) {
    BannerRecord* record = new (std::nothrow) BannerRecord;
    if (!record) return 0;
    clearBannerRecord(*record);
    HWND owner = mainWindow;
    record->ownerWindow = reinterpret_cast<intptr_t>(owner);
    if (bannerWindowRect.top == 0) GetWindowRect(owner, &bannerWindowRect);

    BannerSetup setup = programBannerSetup();
    setup.readUserAgent = readUserAgentSetting;
    setup.width = bannerWindowRect.right - bannerWindowRect.left;
    setup.height = bannerWindowRect.bottom - bannerWindowRect.top;
    fetchBanner(*record, setup);
    currentBanner.store(record, std::memory_order_release);  // complete before it is seen

    downloadBannerPicture(*record, setup);
    showBanner(*record, setup.folder + kBannerPictureFile);
    return 0;
}

bool startBannerThread() {
    HANDLE thread = CreateThread(nullptr, 0, bannerThread, nullptr, 0, nullptr);
    if (!thread) return false;
    CloseHandle(thread);
    return true;
}

void openBannerLink() {
    const BannerRecord* record = currentBanner.load(std::memory_order_acquire);
    if (!record || !record->link[0] || !isOpenableLink(record->link)) return;
    std::wstring link = ansiToWide(record->link);
    if (link.empty() || link.size() > 254) return;  // never opened cut
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof info;
    info.lpFile = link.c_str();
    ShellExecuteExW(&info);
}
