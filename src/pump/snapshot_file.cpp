#include "pump/snapshot_file.h"

#include <fstream>
#include <system_error>

using namespace snapshot_file;

namespace {

std::string inQuotes(std::string_view name) {
    return "\"" + std::string(name) + "\"";
}

std::string notLoaded(std::string_view fileName, const std::string& why) {
    return "The configuration file " + inQuotes(fileName) + " " + why + ". Nothing was loaded.";
}

std::string notSaved(const std::filesystem::path& path, const std::string& why) {
    return "The configuration was not saved to " + inQuotes(path.string()) + ": " + why +
           ". The file was left as it was.";
}

}  // namespace

std::vector<uint8_t> encodeSnapshotFile(const SnapshotRecord& record) {
    std::vector<uint8_t> out;
    out.reserve(kMaxFileSize);
    for (uint8_t b : record) {
        if (b == kLineFeed) {
            out.push_back(kCarriageReturn);
        }
        out.push_back(b);
    }
    return out;
}

SnapshotRead decodeSnapshotFile(std::span<const uint8_t> fileBytes, std::string_view fileName) {
    SnapshotRead read;
    if (fileBytes.size() > kMaxFileSize) {
        read.error = notLoaded(fileName, "is no configuration snapshot: it is longer than one");
        return read;
    }
    std::vector<uint8_t> bytes;
    bytes.reserve(fileBytes.size());
    for (std::size_t i = 0; i < fileBytes.size(); ++i) {
        if (fileBytes[i] == kCarriageReturn && i + 1 < fileBytes.size() &&
            fileBytes[i + 1] == kLineFeed) {
            continue;  // the line feed that follows is the record byte
        }
        bytes.push_back(fileBytes[i]);
    }
    if (bytes.size() != snapshot::kRecordSize) {
        read.error = notLoaded(fileName, "is no configuration snapshot: it holds " +
                                             std::to_string(bytes.size()) +
                                             " bytes of configuration where a snapshot holds " +
                                             std::to_string(snapshot::kRecordSize));
        return read;
    }
    SnapshotRecord record{};
    std::copy(bytes.begin(), bytes.end(), record.begin());
    read.record = record;
    return read;
}

SnapshotRead readSnapshotFile(const std::filesystem::path& path) {
    SnapshotRead read;
    const std::string name = path.string();
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (ec || !std::filesystem::exists(status)) {
        read.error = notLoaded(name, "cannot be read: it does not exist");
        return read;
    }
    if (std::filesystem::is_directory(status)) {
        read.error = notLoaded(name, "cannot be read: it is a folder");
        return read;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        read.error = notLoaded(name, "cannot be opened");
        return read;
    }
    // One byte more than a snapshot file can hold is enough to tell that it is none.
    std::vector<uint8_t> bytes(kMaxFileSize + 1);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (in.bad()) {
        read.error = notLoaded(name, "cannot be read");
        return read;
    }
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return decodeSnapshotFile(bytes, name);
}

std::string writeSnapshotFile(const std::filesystem::path& path, const SnapshotRecord& record) {
    if (path.filename().empty()) {
        return notSaved(path, "no file name was given");
    }
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        return notSaved(path, "it is a folder");
    }
    std::filesystem::path temporary = path;
    temporary += ".saving";
    const std::vector<uint8_t> bytes = encodeSnapshotFile(record);
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out) {
            return notSaved(path, "the folder cannot be written to");
        }
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (!out) {
            std::filesystem::remove(temporary, ec);
            return notSaved(path, "the file cannot be written");
        }
    }
    std::filesystem::rename(temporary, path, ec);
    if (ec) {
        const std::string why = ec.message();
        std::filesystem::remove(temporary, ec);
        return notSaved(path, why);
    }
    return {};
}

SnapshotSave saveSnapshot(const std::filesystem::path& path, const SnapshotSource& source,
                          const SnapshotConditions& conditions, const DisplayFormat& format) {
    SnapshotSave save;
    const SnapshotBuild build = buildSnapshot(source, conditions, format);
    if (!build.record) {
        save.error = build.error ? build.error->message : "Configuration not saved.";
        save.objectName = build.error ? build.error->objectName : nullptr;
        return save;
    }
    save.error = writeSnapshotFile(path, *build.record);
    save.saved = save.error.empty();
    return save;
}

std::optional<std::filesystem::path> snapshotSaveFolder(
    const std::filesystem::path& executableDir) {
    const std::filesystem::path folder = executableDir / kFolderName;
    std::error_code ec;
    if (std::filesystem::is_directory(folder, ec)) {
        return folder;
    }
    std::filesystem::create_directories(folder, ec);
    if (ec || !std::filesystem::is_directory(folder, ec)) {
        return std::nullopt;
    }
    return folder;
}

std::filesystem::path snapshotLoadFolder(const std::filesystem::path& executableDir) {
    const std::filesystem::path folder = executableDir / kFolderName;
    std::error_code ec;
    return std::filesystem::is_directory(folder, ec) ? folder : executableDir;
}
