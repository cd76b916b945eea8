// SPDX-License-Identifier: MIT
#include <iconv.h>

#include <charconv>
#include <memory>

#include "zplsim/zpl_decoder.h"

namespace zplsim {
namespace {

struct IconvCloser {
    void operator()(void* handle) const { ::iconv_close(static_cast<iconv_t>(handle)); }
};

std::optional<std::string> fromShiftJis(std::string_view bytes) {
    const std::unique_ptr<void, IconvCloser> converter(::iconv_open("UTF-8", "CP932"));
    if (converter.get() == reinterpret_cast<void*>(-1)) return std::nullopt;
    std::string in(bytes);
    std::string out(bytes.size() * 2 + 4, '\0');
    char* inPtr = in.data();
    char* outPtr = out.data();
    std::size_t inLeft = in.size();
    std::size_t outLeft = out.size();
    if (::iconv(static_cast<iconv_t>(converter.get()), &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1)) {
        return std::nullopt;
    }
    out.resize(out.size() - outLeft);
    return out;
}

// Kanji mode takes only double-byte characters.
bool allDoubleByte(std::string_view bytes) {
    for (std::size_t i = 0; i < bytes.size(); i += 2) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        if (i + 1 >= bytes.size() || !((lead >= 0x81 && lead <= 0x9F) || (lead >= 0xE0 && lead <= 0xEB))) return false;
    }
    return true;
}

void readManual(std::string_view data, QrContent& content) {
    if (data.empty()) {
        content.error = "manual input without a character mode";
        return;
    }
    content.characterMode = data[0];
    data.remove_prefix(1);
    if (content.characterMode == 'K') {
        auto text = allDoubleByte(data) ? fromShiftJis(data) : std::nullopt;
        if (!text) content.error = "Kanji mode data is not Shift JIS double-byte characters";
        content.text = text.value_or("");
    } else if (content.characterMode == 'B') {
        std::size_t count = 0;
        const auto [end, error] = std::from_chars(data.data(), data.data() + std::min<std::size_t>(4, data.size()), count);
        if (error != std::errc{} || end != data.data() + 4 || data.size() - 4 != count) {
            content.error = "byte mode count does not match its data";
        }
        content.text = data.size() >= 4 ? std::string(data.substr(4)) : std::string();
    } else if (content.characterMode == 'N' || content.characterMode == 'A') {
        content.text = data;
    } else {
        content.error = std::string("unknown character mode '") + content.characterMode + "'";
    }
}

}  // namespace

QrContent readQrData(std::string_view fieldData) {
    QrContent content;
    const auto comma = fieldData.find(',');
    if (comma != 2) {
        content.error = "QR data does not start with error correction and input mode";
        return content;
    }
    content.errorCorrection = fieldData[0];
    content.inputMode = fieldData[1];
    const std::string_view data = fieldData.substr(3);
    if (content.inputMode == 'M') {
        readManual(data, content);
    } else {
        content.text = data;
    }
    return content;
}

}  // namespace zplsim
