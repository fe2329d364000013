// Where the banner's title, content and picture go below the main window's controls, and
// how much taller the window becomes. All quantities in pixels.
#pragma once

struct BannerMetrics {
    int windowWidth;    // W of the window rectangle captured for the banner
    int windowHeight;   // H
    int captionHeight;  // SM_CYCAPTION
    int frameWidth;     // SM_CXDLGFRAME
    int frameHeight;    // SM_CYDLGFRAME
    int lineHeight;     // tmHeight + tmExternalLeading + tmDescent
};

struct BannerPlace {
    bool shown;
    int x, y, width, height;
};

struct BannerLayout {
    BannerPlace title, content, picture;
    int addedHeight;
};

// Title and content one line each, then the picture centred with 15 pixels below it.
// A part that is not shown takes no room.
BannerLayout layOutBanner(const BannerMetrics& metrics, bool hasTitle, bool hasContent, bool hasPicture,
                          int pictureWidth, int pictureHeight);
