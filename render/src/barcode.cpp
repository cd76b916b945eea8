// SPDX-License-Identifier: MIT
#include "barcode.h"

#include <algorithm>
#include <cctype>

#include <zint.h>

#include "gs1.h"
#include "handles.h"

namespace render {
namespace {

using labelformat::Symbology;
using ZintHandle = std::unique_ptr<zint_symbol, FreeWith<ZBarcode_Delete>>;

constexpr int kQrErrorCorrectionM = 2;
constexpr std::string_view kCode39Characters = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ-. $/+%";
constexpr std::string_view kNw7StartStop = "ABCD";

bool allDigits(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The digits with their check digit: given without it, it is added; given with it, it
// must be right.
Encoding withCheckDigit(std::string_view text, std::size_t length, std::string& digits) {
    if (!allDigits(text) || (text.size() != length - 1 && text.size() != length)) {
        return {nullptr, "needs " + std::to_string(length - 1) + " or " + std::to_string(length) + " digits"};
    }
    const char check = gs1::checkDigit(text.substr(0, length - 1));
    if (text.size() == length && text.back() != check) {
        return {nullptr, std::string("wrong check digit ") + text.back() + ", expected " + check};
    }
    digits = std::string(text.substr(0, length - 1)) + check;
    return {};
}

bool isNw7StartStop(char c) {
    return kNw7StartStop.find(static_cast<char>(std::toupper(static_cast<unsigned char>(c)))) != std::string_view::npos;
}

// NW7 symbols begin and end with a start/stop letter A to D. Text that brings its own
// keeps them (in capitals); other text is framed with "A".
std::string framedNw7(std::string_view text) {
    if (text.size() >= 2 && isNw7StartStop(text.front()) && isNw7StartStop(text.back())) {
        std::string framed(text);
        framed.front() = static_cast<char>(std::toupper(static_cast<unsigned char>(framed.front())));
        framed.back() = static_cast<char>(std::toupper(static_cast<unsigned char>(framed.back())));
        return framed;
    }
    return "A" + std::string(text) + "A";
}

struct ZintRequest {
    int symbology = 0;
    int inputMode = UNICODE_MODE;
    int option1 = -1;
    std::string data;
};

// Checks of our own before libzint, which would pad short EAN data with zeros and turn
// CODE39 letters into capitals: a scanner must read exactly what the field holds.
Encoding prepare(Symbology symbology, std::string_view text, ZintRequest& request) {
    switch (symbology) {
        case Symbology::Ean13:
            request.symbology = BARCODE_EANX_CHK;
            return withCheckDigit(text, 13, request.data);
        case Symbology::Ean8:
            request.symbology = BARCODE_EANX_CHK;
            return withCheckDigit(text, 8, request.data);
        case Symbology::Itf14: {
            request.symbology = BARCODE_ITF14;
            Encoding refused = withCheckDigit(text, 14, request.data);
            if (refused.refusal.empty()) {
                request.data.pop_back();  // libzint adds the check digit itself
            }
            return refused;
        }
        case Symbology::Code39:
            request.symbology = BARCODE_CODE39;
            request.data = std::string(text);
            if (!std::all_of(text.begin(), text.end(), [](char c) { return kCode39Characters.find(c) != std::string_view::npos; })) {
                return {nullptr, "CODE39 takes digits, capital letters, space and - . $ / + %"};
            }
            return {};
        case Symbology::Nw7:
            request.symbology = BARCODE_CODABAR;
            request.data = framedNw7(text);
            return {};
        case Symbology::Gs1_128:
            request.symbology = BARCODE_GS1_128;
            request.inputMode = text.starts_with('(') ? GS1_MODE | GS1PARENS_MODE : GS1_MODE;
            request.data = std::string(text);
            return {nullptr, gs1::refusal(text)};
        case Symbology::Qr:
            request.symbology = BARCODE_QRCODE;
            request.option1 = kQrErrorCorrectionM;
            request.data = std::string(text);
            return {};
        case Symbology::Code128:
            break;
    }
    request.symbology = BARCODE_CODE128;
    request.data = std::string(text);
    return {};
}

struct QuietZones {
    int left;
    int right;
    int top;
};

QuietZones quietZonesOf(Symbology symbology) {
    switch (symbology) {
        case Symbology::Ean13: return {11, 7, 0};
        case Symbology::Ean8: return {7, 7, 0};
        case Symbology::Qr: return {4, 4, 4};
        default: return {10, 10, 0};
    }
}

int longestRun(const EncodedSymbol& symbol) {
    int longest = 0;
    int run = 0;
    for (int column = 0; column < symbol.columns; ++column) {
        run = column > 0 && symbol.isDark(column) == symbol.isDark(column - 1) ? run + 1 : 1;
        longest = std::max(longest, run);
    }
    return longest;
}

std::string humanReadableOf(Symbology symbology, const zint_symbol& encoded, std::string_view text) {
    switch (symbology) {
        case Symbology::Qr: return {};
        case Symbology::Code39:
        case Symbology::Nw7:
        case Symbology::Code128: return std::string(text);
        default: return reinterpret_cast<const char*>(encoded.text);  // digits, GS1 with its AIs in parentheses
    }
}

std::shared_ptr<const EncodedSymbol> symbolFrom(const zint_symbol& encoded, Symbology symbology,
                                                std::string_view text, std::string data) {
    auto symbol = std::make_shared<EncodedSymbol>();
    symbol->symbology = symbology;
    symbol->data = std::move(data);
    symbol->humanReadable = humanReadableOf(symbology, encoded, text);
    symbol->columns = encoded.width;
    symbol->rows = encoded.rows;
    symbol->dark.reserve(static_cast<std::size_t>(encoded.width) * static_cast<std::size_t>(encoded.rows));
    for (int row = 0; row < encoded.rows; ++row) {
        for (int column = 0; column < encoded.width; ++column) {
            symbol->dark.push_back(static_cast<std::uint8_t>((encoded.encoded_data[row][column >> 3] >> (column & 7)) & 1));
        }
    }
    const QuietZones quiet = quietZonesOf(symbology);
    symbol->quietLeftModules = quiet.left;
    symbol->quietRightModules = quiet.right;
    symbol->quietTopModules = quiet.top;
    const bool twoWidths = symbology == Symbology::Code39 || symbology == Symbology::Nw7 || symbology == Symbology::Itf14;
    symbol->wideToNarrow = twoWidths ? longestRun(*symbol) : 1;
    return symbol;
}

}  // namespace

Encoding encodeSymbol(Symbology symbology, std::string_view text) {
    ZintRequest request;
    if (Encoding refused = prepare(symbology, text, request); !refused.refusal.empty()) {
        return refused;
    }
    ZintHandle encoded(ZBarcode_Create());
    encoded->symbology = request.symbology;
    encoded->input_mode = request.inputMode;
    encoded->option_1 = request.option1;
    const int status = ZBarcode_Encode(encoded.get(), reinterpret_cast<const unsigned char*>(request.data.data()),
                                       static_cast<int>(request.data.size()));
    // libzint only warns about GS1 data that breaks the GS1 standard, and draws it.
    const bool refused = status >= ZINT_ERROR || (symbology == Symbology::Gs1_128 && status == ZINT_WARN_NONCOMPLIANT);
    if (refused || encoded->width <= 0 || encoded->rows <= 0) {
        return {nullptr, encoded->errtxt};
    }
    // What a scanner reads: ITF-14 with the check digit libzint added.
    std::string data = symbology == Symbology::Itf14 ? reinterpret_cast<const char*>(encoded->text) : request.data;
    return {symbolFrom(*encoded, symbology, text, std::move(data)), {}};
}

}  // namespace render
