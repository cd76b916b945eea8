// SPDX-License-Identifier: MIT
#include "designer/format_file.h"

#include <cerrno>
#include <cstdio>
#include <system_error>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/io/unique_fd.h"
#include "labelformat/json_reading.h"

namespace designer {
namespace {

namespace fs = std::filesystem;
using bcpctrl::io::UniqueFd;

constexpr int kNameAttempts = 100;
constexpr mode_t kNewFileMode = 0666;  // less the umask, as any new file

std::string systemError(std::string_view what, const fs::path& file, int error = errno) {
    return std::string(what) + " " + file.string() + ": " + std::generic_category().message(error);
}

std::optional<DiskStamp> stampOf(const fs::path& file) {
    struct stat status {};
    if (::stat(file.c_str(), &status) != 0) return std::nullopt;
    return DiskStamp{static_cast<std::uintmax_t>(status.st_size),
                     static_cast<std::int64_t>(status.st_mtim.tv_sec) * 1'000'000'000 + status.st_mtim.tv_nsec,
                     static_cast<std::uintmax_t>(status.st_ino), static_cast<std::uintmax_t>(status.st_dev)};
}

// A new file beside `final` under a name nobody else uses, with `mode`.
std::pair<UniqueFd, fs::path> createTemporary(const fs::path& final, mode_t mode, std::string& error) {
    const fs::path folder = final.parent_path().empty() ? fs::path(".") : final.parent_path();
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        fs::path temporary = folder / ("." + final.filename().string() + "." + std::to_string(::getpid()) + "-" +
                                       std::to_string(attempt) + ".tmp");
        UniqueFd fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
        if (fd) return {std::move(fd), std::move(temporary)};
        if (errno != EEXIST) {
            error = systemError("cannot create a file in", folder);
            return {};
        }
    }
    error = "cannot find a free temporary name in " + folder.string();
    return {};
}

// All of `bytes` in a new file beside `final`, on the disk: the temporary's name, or empty
// with `error` set and nothing left behind.
fs::path writeTemporary(const fs::path& final, std::string_view bytes, std::optional<mode_t> mode, std::string& error) {
    auto [fd, temporary] = createTemporary(final, mode.value_or(kNewFileMode), error);
    if (!fd) return {};
    std::size_t written = 0;
    const bool whole = bcpctrl::io::writeAll(fd.get(), bytes, written);
    const int writeError = errno;
    // The permission bits exactly as the original's, whatever the umask.
    const bool flushed = whole && (!mode || ::fchmod(fd.get(), *mode) == 0) && ::fsync(fd.get()) == 0;
    const int flushError = errno;
    const bool closed = fd.reset();
    if (!whole || !flushed || !closed) {
        error = systemError("cannot write", temporary, !whole ? writeError : !flushed ? flushError : errno);
        ::unlink(temporary.c_str());
        return {};
    }
    return temporary;
}

void syncFolder(const fs::path& file) {
    const fs::path folder = file.parent_path().empty() ? fs::path(".") : file.parent_path();
    const UniqueFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd) ::fsync(fd.get());
}

// The file's present content under `backup`, replacing the backup there in one step: a
// second name for it when the file system has them, else a copy.
std::string keepBackup(const fs::path& file, const fs::path& backup) {
    std::string error;
    const fs::path linked = backup.parent_path() / ("." + backup.filename().string() + "." + std::to_string(::getpid()) + ".tmp");
    ::unlink(linked.c_str());
    fs::path pending = linked;
    if (::link(file.c_str(), linked.c_str()) != 0) {
        const auto bytes = labelformat::json_reading::readDocumentFile(file);
        struct stat status {};
        if (!bytes || ::stat(file.c_str(), &status) != 0) return systemError("cannot read", file);
        pending = writeTemporary(backup, *bytes, status.st_mode & 07777, error);
        if (pending.empty()) return error;
    }
    if (std::rename(pending.c_str(), backup.c_str()) != 0) {
        error = systemError("cannot keep the backup", backup);
        ::unlink(pending.c_str());
        return error;
    }
    return {};
}

// Where the text goes: the target of a symbolic link, else the path itself.
std::optional<fs::path> writtenPath(const fs::path& file, std::string& error) {
    std::error_code code;
    if (!fs::is_symlink(fs::symlink_status(file, code))) return file;
    fs::path target = fs::weakly_canonical(file, code);
    if (code) {
        error = "cannot follow the link " + file.string() + ": " + code.message();
        return std::nullopt;
    }
    return target;
}

}  // namespace

fs::path backupPathOf(const fs::path& format) { return fs::path(format).concat(kBackupSuffix); }

fs::path autosavePathOf(const fs::path& format) { return fs::path(format).concat(kAutosaveSuffix); }

std::string replaceFileSafely(const fs::path& file, std::string_view bytes, bool keepBackupCopy) {
    std::string error;
    const auto target = writtenPath(file, error);
    if (!target) return error;
    struct stat original {};
    const bool exists = ::stat(target->c_str(), &original) == 0;
    if (exists && !S_ISREG(original.st_mode)) return target->string() + " is not a regular file";
    const fs::path temporary =
        writeTemporary(*target, bytes, exists ? std::optional<mode_t>(original.st_mode & 07777) : std::nullopt, error);
    if (temporary.empty()) return error;
    if (exists && keepBackupCopy) {
        error = keepBackup(*target, backupPathOf(*target));
    }
    if (error.empty() && std::rename(temporary.c_str(), target->c_str()) != 0) {
        error = systemError("cannot replace", *target);
    }
    if (!error.empty()) {
        ::unlink(temporary.c_str());
        return error;
    }
    syncFolder(*target);
    return {};
}

FormatFile::FormatFile(fs::path path, FormatDocument document, std::string bytes)
    : path_(std::move(path)), document_(std::move(document)) {
    if (!path_.empty()) rememberDisk(std::move(bytes));
}

std::variant<FormatFile, std::string> FormatFile::open(const fs::path& path) {
    const auto bytes = labelformat::json_reading::readDocumentFile(path);
    if (!bytes) return "cannot read " + path.string() + ": missing, not a regular file, or larger than 4 MiB";
    std::string why;
    auto document = FormatDocument::fromText(*bytes, &why);
    if (!document) return path.string() + " is not a label format: " + why;
    document->setDirectory(path.parent_path());
    FormatFile file(path, std::move(*document), *bytes);
    if (const auto autosaved = labelformat::json_reading::readDocumentFile(autosavePathOf(path))) {
        const auto recovered = FormatDocument::fromText(*autosaved);
        if (recovered && recovered->text() != file.document_.text()) file.recoverable_ = recovered->text();
    }
    return file;
}

FormatFile FormatFile::untitled(FormatDocument document) { return FormatFile({}, std::move(document), {}); }

void FormatFile::rememberDisk(std::string bytes) {
    diskBytes_ = std::move(bytes);
    stamp_ = stampOf(path_);
}

SaveResult FormatFile::save() {
    SaveResult result;
    result.warnings = loadErrors(document_, std::nullopt);
    if (path_.empty()) {
        result.error = "the format has no file name yet";
        return result;
    }
    const std::string text = document_.text();
    result.error = replaceFileSafely(path_, text, /*keepBackup=*/true);
    if (!result.error.empty()) return result;
    result.saved = true;
    rememberDisk(text);
    document_.markSaved();
    discardAutosave();
    return result;
}

SaveResult FormatFile::saveAs(const fs::path& path) {
    const fs::path oldPath = path_;
    const fs::path oldDirectory = document_.directory();
    const std::uint64_t before = document_.revision();
    document_.replaceDocument(withImagesRelocated(document_.json(), oldDirectory, path.parent_path()), "save as");
    const bool relocated = document_.revision() != before;
    path_ = path;
    document_.setDirectory(path.parent_path());
    SaveResult result = save();
    if (!result.saved) {
        path_ = oldPath;
        document_.setDirectory(oldDirectory);
        if (relocated) document_.undo();
    }
    return result;
}

bool FormatFile::changedOnDisk() const {
    if (path_.empty()) return false;
    if (stampOf(path_) == stamp_) return false;
    const auto bytes = labelformat::json_reading::readDocumentFile(path_);
    return !bytes || *bytes != diskBytes_;
}

bool FormatFile::reload(std::string* error) {
    const auto bytes = labelformat::json_reading::readDocumentFile(path_);
    std::string why;
    auto json = bytes ? parseFormatJson(*bytes, &why) : std::nullopt;
    if (!json) {
        if (error != nullptr) *error = bytes ? path_.string() + " is not a label format: " + why : "cannot read " + path_.string();
        return false;
    }
    document_.replaceDocument(std::move(*json), "reload");
    document_.markSaved();
    rememberDisk(*bytes);
    return true;
}

bool FormatFile::autosave() {
    if (!document_.isModified()) return true;
    if (path_.empty()) return false;
    if (autosavedText_ == document_.text()) return true;
    if (!replaceFileSafely(autosavePathOf(path_), document_.text(), /*keepBackup=*/false).empty()) return false;
    autosavedText_ = document_.text();
    return true;
}

bool FormatFile::recover() {
    if (!recoverable_) return false;
    auto json = parseFormatJson(*recoverable_);
    recoverable_.reset();
    return json && document_.replaceDocument(std::move(*json), "recover");
}

void FormatFile::discardAutosave() {
    if (!path_.empty()) ::unlink(autosavePathOf(path_).c_str());
    recoverable_.reset();
    autosavedText_.reset();
}

}  // namespace designer
