#pragma once
// A read-only ZIP reader over an archive held whole in memory: the entries of
// the central directory, and the bytes of one stored or DEFLATE entry under a
// size limit the caller gives. No writing, streaming, split archives,
// decryption or CRC checks.

#include <cstdint>
#include <exception>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tovan {

class ZipArchive {
public:
    struct Entry {
        std::u16string name;
        int method = 0;  // compression method
        int flags = 0;   // general-purpose bit flags
        int64_t compressedSize = 0;
        int64_t uncompressedSize = 0;
        int64_t localHeaderOffset = 0;

        bool isDirectory() const { return !name.empty() && name.back() == u'/'; }
        bool operator==(const Entry&) const = default;
    };

    // The reader's error. kind and text are what callers compare; what() is a
    // sentence a user can read.
    class Failure : public std::exception {
    public:
        enum class Kind { corrupt, unsupported, tooLarge, notAZip };

        static Failure corrupt(std::u16string text) { return Failure(Kind::corrupt, std::move(text)); }
        static Failure unsupported(std::u16string text) { return Failure(Kind::unsupported, std::move(text)); }
        static Failure tooLarge(std::u16string text) { return Failure(Kind::tooLarge, std::move(text)); }
        static Failure notAZip() { return Failure(Kind::notAZip, {}); }

        Kind kind() const { return kind_; }
        // The case's text ("central directory entry", an entry name, ...);
        // empty for notAZip.
        const std::u16string& text() const { return text_; }
        const char* what() const noexcept override { return message_.c_str(); }
        bool operator==(const Failure& o) const { return kind_ == o.kind_ && text_ == o.text_; }

    private:
        Failure(Kind kind, std::u16string text);
        Kind kind_;
        std::u16string text_;
        std::string message_;
    };

    // Reads the central directory of a copy of the bytes; throws Failure.
    explicit ZipArchive(std::string_view data);
    explicit ZipArchive(std::string&& data);
    // Reads the file into memory first; a reading error is thrown as
    // std::system_error, an archive error as Failure.
    static ZipArchive contentsOf(const std::filesystem::path& path);

    // Central-directory order, directories included.
    const std::vector<Entry>& entries() const { return entries_; }
    const std::string& data() const { return data_; }

    // The first entry whose name is exactly `name`.
    const Entry* entry(std::u16string_view name) const;
    // The entry's uncompressed bytes; throws Failure. The limit applies to
    // the bytes handed back, for stored entries as for compressed ones.
    std::string contents(const Entry& entry, int64_t limit) const;
    // nullopt when no entry has that name.
    std::optional<std::string> contents(std::u16string_view name, int64_t limit) const;

private:
    void readCentralDirectory();

    std::string data_;
    std::vector<Entry> entries_;
};

}  // namespace tovan
