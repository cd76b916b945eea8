// SPDX-License-Identifier: MIT
// A format document and the file it lives in. Saving never loses a format:
//   - the text goes to a temporary file beside the format, is flushed to the disk, and is
//     renamed over the original, so the original is whole until the new text is;
//   - the text it replaces is kept as FORMAT.json~ (exactly one backup);
//   - a failure (a read-only folder, a full disk) leaves the original and the backup as
//     they were and says why; a format the loader would refuse is saved all the same, with
//     the loader's errors as a warning.
// Unsaved work is written now and then to a side file, FORMAT.json.autosave, which the next
// open offers to recover; a change of the file by someone else is noticed.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "designer/findings.h"
#include "designer/format_document.h"

namespace designer {

inline constexpr std::string_view kBackupSuffix = "~";
inline constexpr std::string_view kAutosaveSuffix = ".autosave";

std::filesystem::path backupPathOf(const std::filesystem::path& format);
std::filesystem::path autosavePathOf(const std::filesystem::path& format);

struct SaveResult {
    bool saved = false;
    std::string error;              // why not, in the system's words, when !saved
    std::vector<Finding> warnings;  // the errors LoadFormat would give for what was saved
};

// What the file on disk was when last read or written, to tell a change by someone else.
struct DiskStamp {
    std::uintmax_t size = 0;
    std::int64_t modifiedNs = 0;
    std::uintmax_t inode = 0;
    std::uintmax_t device = 0;
    bool operator==(const DiskStamp&) const = default;
};

class FormatFile {
public:
    // The format at `path`: its bytes kept, the document read from them. The error says
    // why it cannot be opened (missing, too large, not a JSON object).
    static std::variant<FormatFile, std::string> open(const std::filesystem::path& path);
    // A document not yet saved anywhere; save() needs saveAs() first.
    static FormatFile untitled(FormatDocument document);

    FormatDocument& document() { return document_; }
    const FormatDocument& document() const { return document_; }
    const std::filesystem::path& path() const { return path_; }
    // The bytes the file had when opened (or last saved, reloaded).
    const std::string& diskBytes() const { return diskBytes_; }

    SaveResult save();
    // Saves under another name; relative image paths are rewritten for the new folder.
    SaveResult saveAs(const std::filesystem::path& path);

    // Whether the file's content is no longer the one last read or written (a touch that
    // leaves the bytes alone is no change).
    bool changedOnDisk() const;
    // Reads the file again as one undoable step of the document; false with `error` set
    // when it cannot be read.
    bool reload(std::string* error = nullptr);

    // Writes the document to the side file when it has changes not saved and not already
    // autosaved; true when the side file holds them (or there is nothing to keep).
    bool autosave();
    // The side file's document, found at open when it holds other text than the file.
    const std::optional<std::string>& recoverableText() const { return recoverable_; }
    // Takes the side file's document as one undoable step; false when there is none.
    bool recover();
    // Removes the side file and forgets it.
    void discardAutosave();

private:
    FormatFile(std::filesystem::path path, FormatDocument document, std::string bytes);
    void rememberDisk(std::string bytes);

    std::filesystem::path path_;
    FormatDocument document_;
    std::string diskBytes_;
    std::optional<DiskStamp> stamp_;
    std::optional<std::string> recoverable_;
    std::optional<std::string> autosavedText_;
};

// The bytes as the whole of `file`, through a temporary file beside it that is flushed to
// the disk and renamed over it; with `keepBackup`, the old content stays as FILE~. The
// file's permission bits stay; a symbolic link is followed, so that its target is
// replaced. Empty on success, else why not (the file then unchanged).
std::string replaceFileSafely(const std::filesystem::path& file, std::string_view bytes, bool keepBackup);

}  // namespace designer
