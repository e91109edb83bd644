#pragma once
// Writes an exported reading into one audio file: 16-bit PCM WAV when the
// name ends in ".wav" (any letter case), AAC otherwise (.m4a through ffmpeg's
// own AAC encoder and the MP4 muxer), always 24 kHz mono.
//
// The audio goes to a hidden temporary file beside the target; finish()
// completes it and renames it over the target, so the user's old file stays
// whole until the new one is complete, and a failure leaves no half file.

#include <cstdint>
#include <exception>
#include <filesystem>
#include <memory>
#include <span>
#include <string>

namespace tovan {

class AudioFileWriter {
public:
    // What went wrong, in words for the user.
    class Failure : public std::exception {
    public:
        explicit Failure(std::u16string message);
        const std::u16string& message() const { return message_; }
        const char* what() const noexcept override { return utf8_.c_str(); }

    private:
        std::u16string message_;
        std::string utf8_;
    };

    static constexpr int sampleRate = 24000;

    // Opens the temporary file and sets up the encoder; throws Failure when
    // the folder cannot take a file or the encoder cannot be set up. Nothing
    // at the target changes yet.
    explicit AudioFileWriter(const std::filesystem::path& url);
    // Finishes the file when finish() was not called and nothing failed
    // (errors are then lost: call finish() to see them); otherwise, and when
    // it is dropped while an exception unwinds, removes the temporary file.
    ~AudioFileWriter();
    AudioFileWriter(const AudioFileWriter&) = delete;
    AudioFileWriter& operator=(const AudioFileWriter&) = delete;

    // Appends samples (mono, 24 kHz); an empty span writes nothing. Throws
    // Failure when writing fails or a WAV file would outgrow its 32-bit size
    // fields; seconds() then keeps its value, and after a write error every
    // later call throws too.
    void write(std::span<const float> samples);
    // Appends ms milliseconds of silence (24 samples a millisecond); 0 or a
    // negative duration writes nothing.
    void silence(int64_t ms);
    // Duration written so far.
    double seconds() const;

    // Completes the file and puts it in place of the target. Throws Failure
    // (the target untouched, the temporary removed). Further writes throw.
    void finish();
    // Drops what was written; the target is untouched.
    void discard();

    // True when the file gets linear PCM (extension "wav" in any case).
    static bool isWav(const std::filesystem::path& url);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace tovan
