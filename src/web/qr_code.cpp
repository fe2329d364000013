#include "web/qr_code.h"

#include <cctype>
#include <stdexcept>

#include <qrcodegen.hpp>

namespace {
constexpr int kQuietZone = 2;  // modules of light margin drawn around a terminal's code

// Black on white from the 256-colour palette, whatever the terminal's own colours are.
const char kBlackOnWhite[] = "\x1b[38;5;16;48;5;231m";
const char kPlain[] = "\x1b[0m";

bool darkAt(const QrMatrix& code, int x, int y) {
    return x >= 0 && y >= 0 && x < code.size && y < code.size && code.at(x, y);
}
}  // namespace

QrMatrix qrCodeOf(const std::string& text) {
    std::string upper = text;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const std::string& coded = upper.rfind("HTTP://", 0) == 0 ? upper : text;
    QrMatrix code;
    try {
        qrcodegen::QrCode qr = qrcodegen::QrCode::encodeText(coded.c_str(), qrcodegen::QrCode::Ecc::MEDIUM);
        code.size = qr.getSize();
        code.dark.resize(static_cast<size_t>(code.size) * code.size);
        for (int y = 0; y < code.size; ++y)
            for (int x = 0; x < code.size; ++x) code.dark[static_cast<size_t>(y) * code.size + x] = qr.getModule(x, y);
    } catch (const std::exception&) {
        code = QrMatrix();  // too long for any code
    }
    return code;
}

std::string qrCodeText(const QrMatrix& code) {
    if (code.size == 0) return std::string();
    std::string out;
    for (int y = -kQuietZone; y < code.size + kQuietZone; y += 2) {
        out += kBlackOnWhite;
        for (int x = -kQuietZone; x < code.size + kQuietZone; ++x) {
            bool top = darkAt(code, x, y), bottom = darkAt(code, x, y + 1);
            out += top && bottom ? "\u2588" : top ? "\u2580" : bottom ? "\u2584" : " ";
        }
        out += kPlain;
        out += '\n';
    }
    return out;
}
