#include "pump/file_replace.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

bool writeAllBytes(std::FILE* file, std::span<const uint8_t> bytes) {
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) {
        return false;
    }
    return std::fflush(file) == 0 && ::fsync(::fileno(file)) == 0;
}

std::string replaceFile(const std::filesystem::path& path, std::span<const uint8_t> bytes,
                        const FileWriteFn& write) {
    namespace fs = std::filesystem;
    if (path.filename().empty()) {
        return "no file name was given";
    }
    std::error_code ec;
    if (fs::is_directory(path, ec)) {
        return "it is a folder";
    }
    fs::path temporary = path;
    temporary += ".saving";
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    if (file == nullptr) {
        return std::string("the folder cannot be written to (") + std::strerror(errno) + ")";
    }
    const bool written = write(file, bytes);
    const int writeError = errno;
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) {
        fs::remove(temporary, ec);
        return std::string("the file cannot be written (") +
               std::strerror(written ? errno : writeError) + ")";
    }
    if (fs::exists(path, ec)) {
        // The replacement keeps the old file's permissions.
        fs::permissions(temporary, fs::status(path, ec).permissions(), ec);
    }
    fs::rename(temporary, path, ec);
    if (ec) {
        const std::string why = ec.message();
        fs::remove(temporary, ec);
        return why;
    }
    return {};
}
