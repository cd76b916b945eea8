// SPDX-License-Identifier: MIT
// Sequential reading of comma-separated text fields from a CP932 data file.
//
// A field ends at a comma or at a line break (CR, LF or CRLF, one break each), so records
// are counted in fields, not lines. Leading spaces and tabs are skipped; an unquoted field
// loses its trailing spaces; a field that starts with a double quote runs to the next
// double quote, commas and line breaks included; a quote that never closes is a failure.
// After the closing quote, spaces and tabs are skipped and one comma or line break is
// consumed; anything else starts the next field. A blank line is one empty field. NUL
// bytes are dropped and a Ctrl-Z byte ends the file.
//
// Only a regular file is a data file: a FIFO, a device or a directory is refused at once,
// without waiting for a writer and without reading an endless device.
#pragma once

#include <memory>
#include <optional>
#include <string>

namespace frame {

// Failure numbers of readField, shown after "ERR:".
inline constexpr int kReadPastEnd = 62;       // no field left in the file
inline constexpr int kReadDeviceError = 57;   // the system could not read the file
inline constexpr int kReadInvalidText = 932;  // bytes that are not CP932 text
inline constexpr int kReadUnclosedQuote = 34;  // a quoted field ran to the end of the file
inline constexpr int kReadFileChanged = 75;    // the file was cut, grown, rewritten or replaced

class FieldReader {
public:
    // nullopt when the path names no regular file that can be opened for reading.
    static std::optional<FieldReader> open(const std::string& path);

    FieldReader(FieldReader&&) noexcept;
    FieldReader& operator=(FieldReader&&) noexcept;
    ~FieldReader();

    // True when nothing but spaces, tabs and line breaks is left, so a final blank line
    // never starts a record. A read error or a change of the file is never taken for the
    // end: until readField has reported it, atEnd() stays false.
    bool atEnd();

    // Reads the next field as UTF-8 into `text`. Returns 0, or a failure number with
    // `text` left empty: a corrupted text never reaches a label. After 57, 75 or 34 the
    // rest of the file is lost, and every later read answers the same number.
    int readField(std::string& text);

private:
    struct Impl;
    explicit FieldReader(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace frame
