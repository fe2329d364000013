// The access address as a QR code: a matrix for the window to paint, or lines of text
// blocks for a terminal.
#pragma once
#include <string>
#include <vector>

struct QrMatrix {
    int size = 0;            // modules per side; 0 when the text does not fit a code
    std::vector<bool> dark;  // row by row
    bool at(int x, int y) const { return dark[static_cast<size_t>(y) * size + x]; }
};

// The code of text with medium error correction, upper-cased first when that keeps the
// text the same to a browser (a web address: scheme and host ignore case, and the token
// is upper case), which lets the code use its compact alphanumeric form.
QrMatrix qrCodeOf(const std::string& text);

// Two rows of modules per line, with the quiet zone around, in colours of its own: dark
// modules drawn in black on white, so that a light terminal and a dark one show the same
// code, the way readers take it.
std::string qrCodeText(const QrMatrix& code);
