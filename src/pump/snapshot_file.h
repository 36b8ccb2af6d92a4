#pragma once
// Configuration snapshot files (.nox). The file holds exactly the 90 record bytes, except that
// every record byte 0x0A is written as the two bytes 0x0D 0x0A; reading turns every pair 0x0D
// 0x0A back into 0x0A. Snapshots from the field are written that way, so the translation stays.
//
// Saving never destroys an existing snapshot: the record is composed first (a label without a
// number ends the save before any file is touched), written to a temporary file beside the
// target and renamed over it only when complete. Loading refuses a file that cannot be read or
// does not hold exactly one record, with a message for the operator, and then nothing is applied.
//
// The menu commands built on this:
//
//     save:  folder = snapshotSaveFolder(exeDir) (none: show kCannotCreateFolder and stop);
//            path from the save dialog (cancel: stop); SnapshotSave s = saveSnapshot(path, ...);
//            s.saved ? setStatus(kSavedStatus) : show s.error
//     load:  path from the open dialog, starting in snapshotLoadFolder(exeDir) (cancel: stop);
//            SnapshotRead r = readSnapshotFile(path); no record: show r.error and stop;
//            apply applySnapshot(*r.record, ...) to the installer window; no status text

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "pump/snapshot.h"

namespace snapshot_file {

// The file dialogs.
inline constexpr std::string_view kDefaultExtension = "nox";
inline constexpr std::string_view kDefaultFileName = "Configuration";
// The filter as the pump tool has always shown it ("text|pattern" pairs) and the same filter as a
// Qt file dialog takes it.
inline constexpr std::string_view kFilter = "NOx configuration (*.nox)|*.nox|All files (*.*)|*.*";
inline constexpr std::string_view kQtFilter = "NOx configuration (*.nox);;All files (*.*)";
// The snapshot folder beside the executable.
inline constexpr std::string_view kFolderName = "conf";
inline constexpr std::string_view kCannotCreateFolder = "Cannot create";
// Status line after a save.
inline constexpr std::string_view kSavedStatus = "Configuration saved succesfully";

inline constexpr uint8_t kLineFeed = 0x0A;
inline constexpr uint8_t kCarriageReturn = 0x0D;
// A record whose every byte is 0x0A doubles; no snapshot file is longer.
inline constexpr std::size_t kMaxFileSize = 2 * snapshot::kRecordSize;

}  // namespace snapshot_file

// The file bytes of a record.
std::vector<uint8_t> encodeSnapshotFile(const SnapshotRecord& record);

// A record, or why there is none: a text for the operator.
struct SnapshotRead {
    std::optional<SnapshotRecord> record;
    std::string error;
};

// The record in a file's bytes. `fileName` only names the file in the error text.
SnapshotRead decodeSnapshotFile(std::span<const uint8_t> fileBytes, std::string_view fileName);

// Reads and decodes a snapshot file; reads no more than a snapshot file can hold.
SnapshotRead readSnapshotFile(const std::filesystem::path& path);

// Empty on success, otherwise a text for the operator; the target is then as it was.
std::string writeSnapshotFile(const std::filesystem::path& path, const SnapshotRecord& record);

// Composes the record and writes it: a refused record never touches the file system.
struct SnapshotSave {
    bool saved = false;
    std::string error;                 // for the operator when not saved
    const char* objectName = nullptr;  // the label or box the refusal is about, if any
};
SnapshotSave saveSnapshot(const std::filesystem::path& path, const SnapshotSource& source,
                          const SnapshotConditions& conditions,
                          const DisplayFormat& format = DisplayFormat::system());

// The initial folder of the save dialog: "conf" beside the executable, created when missing.
// Nothing (and kCannotCreateFolder for the operator) when it cannot be created.
std::optional<std::filesystem::path> snapshotSaveFolder(const std::filesystem::path& executableDir);
// The initial folder of the open dialog: "conf" beside the executable when it exists, otherwise
// the executable's own folder.
std::filesystem::path snapshotLoadFolder(const std::filesystem::path& executableDir);
