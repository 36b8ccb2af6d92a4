#pragma once
// Reads and writes an INI file the way the classic Windows profile functions do: section and key
// names compare case-insensitively, values are the text after the first '=', and writing a key
// keeps every other line of the file exactly as it was (comments, order, unknown sections).

#include <optional>
#include <string>

class ProfileFile {
  public:
    explicit ProfileFile(std::string path) : path_(std::move(path)) {}

    const std::string& path() const { return path_; }
    bool exists() const;

    std::optional<std::string> readString(const std::string& section, const std::string& key) const;
    // The whole value must be a decimal integer (leading and trailing blanks allowed), else the
    // default comes back.
    int readInteger(const std::string& section, const std::string& key, int defaultValue) const;
    // Returns false (and leaves the file untouched) when the file cannot be written.
    bool writeString(const std::string& section, const std::string& key, const std::string& value);
    bool writeInteger(const std::string& section, const std::string& key, int value);

  private:
    std::string path_;
};
