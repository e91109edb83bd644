// Opening a large plain-text file as the application does (extraction, then
// the document with its sentences): the time and the peak memory against the
// file's size. Goal: peak memory a few times the text.
// Usage: large_text_bench [MiB, default 200]

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "Doc.h"
#include "ExtractDocument.h"

namespace {

// The application's share of the progress for the extraction of a text file
// (app/core/AppModelAdding.cpp); the sentences take the rest.
constexpr double extractShare = 0.6;

double peakMiB() {
    struct rusage u {};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_maxrss) / 1024.0;  // kB on Linux
}

// Lines of made-up words with a blank line between paragraphs and an accent
// now and then, as in a long book.
void writeText(const std::filesystem::path& path, size_t bytes) {
    std::mt19937 rng(7);
    static const char letters[] = "eeeeeeeeeeeettttttttaaaaaaaooooooiiiiiinnnnnnsssssshhhhhrrrrrddddllllu";
    std::string chunk;
    std::ofstream out(path, std::ios::binary);
    size_t written = 0, lineLen = 0;
    while (written < bytes) {
        chunk.clear();
        while (chunk.size() < (1 << 20)) {
            const int len = 2 + int(rng() % 7);
            for (int i = 0; i < len; ++i) chunk += letters[rng() % (sizeof letters - 1)];
            if (rng() % 50 == 0) chunk += "\xC3\xA9";
            const unsigned r = rng() % 12;
            chunk += r == 0 ? ". " : " ";
            lineLen += size_t(len) + 1;
            if (lineLen > 70) {
                chunk += rng() % 8 == 0 ? ".\n\n" : "\n";
                lineLen = 0;
            }
        }
        const size_t n = std::min(chunk.size(), bytes - written);
        out.write(chunk.data(), std::streamsize(n));
        written += n;
    }
}

}  // namespace

int main(int argc, char** argv) {
    const size_t mib = argc > 1 ? size_t(std::atol(argv[1])) : 200;
    const char* tmp = std::getenv("TMPDIR");
    const std::filesystem::path file =
        std::filesystem::path(tmp && *tmp ? tmp : "/tmp") / ("tovan-large-" + std::to_string(getpid()) + ".txt");
    writeText(file, mib << 20);
    const double size = double(std::filesystem::file_size(file)) / (1 << 20);
    const double before = peakMiB();

    using Clock = std::chrono::steady_clock;
    const auto t0 = Clock::now();
    // Progress as the application takes it: the extraction, then the
    // sentences. The time at each tenth shows where the time goes.
    std::vector<double> tenths;
    size_t reports = 0;
    double last = -1;
    bool monotonic = true;
    const tovan::Progress progress([&](double f) {
        ++reports;
        if (f < last) monotonic = false;
        last = f;
        while (tenths.size() < 11 && f >= double(tenths.size()) / 10 - 1e-9)
            tenths.push_back(std::chrono::duration<double>(Clock::now() - t0).count());
    });
    size_t paragraphs = 0, sentences = 0;
    double afterExtract = 0, extractSecs = 0, secs = 0, peak = 0, saveSecs = 0;
    const std::filesystem::path library = file.string() + ".library";
    {
        tovan::ExtractedDoc extracted = tovan::Extract::document(file, std::nullopt, progress.part(0, extractShare));
        paragraphs = extracted.paragraphs.size();
        afterExtract = peakMiB();
        extractSecs = std::chrono::duration<double>(Clock::now() - t0).count();
        const auto doc = tovan::Doc::create(std::move(extracted), progress.part(extractShare, 1));
        sentences = doc->sentences.size();
        secs = std::chrono::duration<double>(Clock::now() - t0).count();
        peak = peakMiB();
        // Storing it in the library, as the application does once it is made.
        const auto s0 = Clock::now();
        doc->save(library);
        saveSecs = std::chrono::duration<double>(Clock::now() - s0).count();
    }
    std::filesystem::remove_all(library);
    std::filesystem::remove(file);
    std::printf("text %.0f MiB: %.1f s (extraction %.1f s, sentences %.1f s), %zu paragraphs, %zu sentences\n", size,
                secs, extractSecs, secs - extractSecs, paragraphs, sentences);
    std::printf("progress: %zu reports, %s, ended at %g; seconds at each tenth:", reports,
                monotonic ? "never back" : "WENT BACK", last);
    for (double t : tenths) std::printf(" %.1f", t);
    std::printf("\n");
    std::printf("peak memory: %.0f MiB after extraction, %.0f MiB with the document (%.0f MiB before): %.1f x the "
                "text\n",
                afterExtract, peak, before, (peak - before) / size);
    std::printf("stored in the library in %.1f s; peak memory then %.0f MiB\n", saveSecs, peakMiB());
    return 0;
}
