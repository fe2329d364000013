#include "banner/banner_layout.h"

BannerLayout layOutBanner(const BannerMetrics& m, bool hasTitle, bool hasContent, bool hasPicture, int pictureWidth,
                          int pictureHeight) {
    BannerLayout layout{};
    // The banner starts where the client area ended before the window grows.
    const int top = m.windowHeight - m.frameHeight - m.captionHeight;
    const int width = m.windowWidth - 2 * m.frameWidth;
    if (hasTitle) {
        layout.title = {true, 0, top, width, m.lineHeight};
        layout.addedHeight += m.lineHeight;
    }
    if (hasContent) {
        layout.content = {true, 0, top + layout.addedHeight, width, m.lineHeight};
        layout.addedHeight += m.lineHeight;
    }
    if (hasPicture) {
        layout.picture = {true, width / 2 - pictureWidth / 2, top + layout.addedHeight, pictureWidth, pictureHeight};
        layout.addedHeight += pictureHeight + 15;
    }
    return layout;
}
