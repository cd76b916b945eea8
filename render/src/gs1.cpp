// SPDX-License-Identifier: MIT
#include "gs1.h"

#include <algorithm>
#include <array>

namespace render::gs1 {
namespace {

// An application identifier, or a run of them that share one format: the format as the
// GS1 standard writes it, parts apart by spaces. A part is N (digits) or X (GS1's
// set of 82 characters) with its length, fixed or at most (".."), and maybe a check:
// "csum" a check digit last, "yymmdd" a date, "yymmd0" a date whose day may be 00 (the
// month's last day, or no day).
struct Identifier {
    std::string_view first;
    std::string_view last;
    std::string_view format;
    char highestLastDigit = '9';  // measures: the decimal point's place, 0 to 5
};

// The identifiers labels use (the GS1 standard's table of application identifiers).
constexpr std::array kIdentifiers{
    Identifier{"00", "00", "N18,csum"},             // SSCC
    Identifier{"01", "02", "N14,csum"},             // GTIN; GTIN of the contained trade items
    Identifier{"10", "10", "X..20"},                // batch or lot number
    Identifier{"11", "13", "N6,yymmd0"},            // production, due and packaging date
    Identifier{"15", "17", "N6,yymmd0"},            // best before, sell by, expiration date
    Identifier{"20", "20", "N2"},                   // internal product variant
    Identifier{"21", "22", "X..20"},                // serial number; consumer product variant
    Identifier{"240", "241", "X..30"},              // additional product identification; customer part number
    Identifier{"250", "251", "X..30"},              // secondary serial number; reference to source entity
    Identifier{"253", "253", "N13,csum X..17"},     // GDTI
    Identifier{"254", "254", "X..20"},              // GLN extension component
    Identifier{"30", "30", "N..8"},                 // variable count of items
    Identifier{"3100", "3169", "N6", '5'},          // net weight, length, width, depth, area, volume (metric)
    Identifier{"3200", "3379", "N6", '5'},          // the same in imperial units; logistic measures
    Identifier{"3400", "3579", "N6", '5'},          // logistic and net measures (imperial)
    Identifier{"3600", "3699", "N6", '5'},          // volumes (imperial)
    Identifier{"37", "37", "N..8"},                 // count of trade items
    Identifier{"3900", "3909", "N..15"},            // amount payable, local currency
    Identifier{"3910", "3919", "N3 N..15"},         // amount payable with ISO currency code
    Identifier{"3920", "3929", "N..15"},            // amount payable for a variable measure item
    Identifier{"3930", "3939", "N3 N..15"},         // the same with ISO currency code
    Identifier{"3940", "3943", "N4"},               // percentage discount of a coupon
    Identifier{"400", "401", "X..30"},              // customer's order number; GINC
    Identifier{"402", "402", "N17,csum"},           // GSIN
    Identifier{"403", "403", "X..30"},              // routing code
    Identifier{"410", "417", "N13,csum"},           // GLNs: ship to, bill to, purchased from...
    Identifier{"420", "420", "X..20"},              // ship to postal code
    Identifier{"421", "421", "N3 X..9"},            // ship to postal code with ISO country code
    Identifier{"422", "422", "N3"},                 // country of origin
    Identifier{"8005", "8005", "N6"},               // price per unit of measure
    Identifier{"8020", "8020", "X..25"},            // payment slip reference number
    Identifier{"90", "90", "X..30"},                // mutually agreed information
    Identifier{"91", "99", "X..90"},                // company internal information
};

constexpr std::string_view kCharacterSet82 =
    "!\"%&'()*+,-./0123456789:;<=>?ABCDEFGHIJKLMNOPQRSTUVWXYZ_abcdefghijklmnopqrstuvwxyz";
constexpr std::size_t kMostCharacters = 48;  // identifiers and data of one GS1-128 symbol

struct Part {
    bool digits = true;
    bool fixed = true;
    std::size_t length = 0;
    std::string_view check;
};

Part partOf(std::string_view written) {
    Part part;
    part.digits = written.front() == 'N';
    written.remove_prefix(1);
    part.fixed = !written.starts_with("..");
    if (!part.fixed) written.remove_prefix(2);
    const auto comma = written.find(',');
    for (const char c : written.substr(0, comma)) part.length = part.length * 10 + static_cast<std::size_t>(c - '0');
    if (comma != std::string_view::npos) part.check = written.substr(comma + 1);
    return part;
}

bool allDigits(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

int twoDigits(std::string_view text, std::size_t at) { return (text[at] - '0') * 10 + (text[at + 1] - '0'); }

// YYMMDD. Years 00 to 99 fall in the 50 years either side of today, where every year a
// multiple of 4 is a leap year until 2100.
bool realDate(std::string_view date, bool dayMayBeZero) {
    constexpr std::array<int, 12> kDays{31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const int year = twoDigits(date, 0);
    const int month = twoDigits(date, 2);
    const int day = twoDigits(date, 4);
    if (month < 1 || month > 12) return false;
    const int days = month == 2 && year % 4 != 0 ? 28 : kDays[static_cast<std::size_t>(month - 1)];
    return (day == 0 && dayMayBeZero) || (day >= 1 && day <= days);
}

std::string checkedPart(const Part& part, std::string_view data) {
    const std::string unit = part.digits ? " digits" : " characters";
    if (part.fixed && data.size() != part.length) return std::to_string(part.length) + unit + " expected";
    if (data.empty() || data.size() > part.length) return "1 to " + std::to_string(part.length) + unit + " expected";
    if (part.digits && !allDigits(data)) return "digits only expected, not " + std::string(data);
    if (!part.digits) {
        const auto wrong = std::find_if(data.begin(), data.end(),
                                        [](char c) { return kCharacterSet82.find(c) == std::string_view::npos; });
        if (wrong != data.end()) return std::string("'") + *wrong + "' is not in GS1's character set";
    }
    if (part.check == "csum" && data.back() != checkDigit(data.substr(0, data.size() - 1))) {
        return std::string("wrong check digit ") + data.back() + ", expected " + checkDigit(data.substr(0, data.size() - 1));
    }
    if (part.check.starts_with("yymmd") && !realDate(data, part.check == "yymmd0")) {
        return std::string(data) + " is no date (YYMMDD)";
    }
    return {};
}

// The data against the identifier's format, part by part: a fixed part takes its length, a
// part of at most some length the rest.
std::string checkedData(std::string_view format, std::string_view data) {
    while (!format.empty()) {
        const auto space = format.find(' ');
        const Part part = partOf(format.substr(0, space));
        format = space == std::string_view::npos ? std::string_view() : format.substr(space + 1);
        const std::size_t taken = part.fixed && !format.empty() ? std::min(part.length, data.size()) : data.size();
        if (std::string why = checkedPart(part, data.substr(0, taken)); !why.empty()) return why;
        data.remove_prefix(taken);
    }
    return {};
}

const Identifier* identifierFor(std::string_view ai) {
    const auto found = std::find_if(kIdentifiers.begin(), kIdentifiers.end(), [ai](const Identifier& identifier) {
        return ai.size() == identifier.first.size() && ai >= identifier.first && ai <= identifier.last &&
               (ai.size() < 4 || ai.back() <= identifier.highestLastDigit);
    });
    return found == kIdentifiers.end() ? nullptr : &*found;
}

}  // namespace

char checkDigit(std::string_view digits) {
    int sum = 0;
    int weight = 3;
    for (auto digit = digits.rbegin(); digit != digits.rend(); ++digit) {
        sum += (*digit - '0') * weight;
        weight = 4 - weight;
    }
    return static_cast<char>('0' + (10 - sum % 10) % 10);
}

std::string refusal(std::string_view text) {
    if (text.empty() || (text.front() != '(' && text.front() != '[')) {
        return "GS1 data is application identifiers in parentheses or brackets, each with its data";
    }
    const char open = text.front();
    const char close = open == '(' ? ')' : ']';
    std::size_t characters = 0;
    while (!text.empty()) {
        const auto end = text.find(close);
        if (text.front() != open || end == std::string_view::npos) return "an application identifier is not closed";
        const std::string_view ai = text.substr(1, end - 1);
        text.remove_prefix(end + 1);
        const std::string_view data = text.substr(0, text.find(open));
        text.remove_prefix(data.size());
        if (ai.size() < 2 || ai.size() > 4 || !allDigits(ai)) return "(" + std::string(ai) + ") is no application identifier";
        const std::string name = "AI (" + std::string(ai) + "): ";
        if (data.empty()) return name + "no data";
        if (const Identifier* identifier = identifierFor(ai)) {
            if (std::string why = checkedData(identifier->format, data); !why.empty()) return name + why;
        }
        characters += ai.size() + data.size();
    }
    if (characters > kMostCharacters) {
        return std::to_string(characters) + " characters, more than the " + std::to_string(kMostCharacters) +
               " a GS1-128 symbol holds";
    }
    return {};
}

}  // namespace render::gs1
