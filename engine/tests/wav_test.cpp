// WAV reading of every accepted layout (fixtures made by
// data/wav/make-fixtures.py with sox), refusals of malformed images, and the
// 16-bit encoder's clipping and rounding.
#include <gtest/gtest.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "runtime/error.h"
#include "runtime/wav.h"
#include "TempDir.h"
#include "TestPaths.h"

using tovan::test::TempDir;

namespace {

std::string fixture(const char *name) {
  return (tovan::test::testData("wav") / name).string();
}

double signal_at(int i) { return 0.9 * sin(0.3 * i); }

struct Bytes {
  std::vector<uint8_t> b;
  void u16(uint32_t v) {
    b.push_back((uint8_t)v);
    b.push_back((uint8_t)(v >> 8));
  }
  void u32(uint32_t v) {
    for (int i = 0; i < 4; i++) b.push_back((uint8_t)(v >> (8 * i)));
  }
  void tag(const char *s) { b.insert(b.end(), s, s + 4); }
  void chunk(const char *id, const std::vector<uint8_t> &body) {
    tag(id);
    u32((uint32_t)body.size());
    b.insert(b.end(), body.begin(), body.end());
    if (body.size() & 1) b.push_back(0);
  }
};

std::vector<uint8_t> fmt_body(int tag, int channels, uint32_t rate, int align, int bits) {
  Bytes f;
  f.u16(tag);
  f.u16(channels);
  f.u32(rate);
  f.u32(rate * align);
  f.u16(align);
  f.u16(bits);
  return f.b;
}

// A RIFF WAVE image of the given chunks, in order.
std::vector<uint8_t> wave(const std::vector<std::pair<const char *, std::vector<uint8_t>>> &chunks) {
  Bytes body;
  body.tag("WAVE");
  for (auto &c : chunks) body.chunk(c.first, c.second);
  Bytes all;
  all.tag("RIFF");
  all.u32((uint32_t)body.b.size());
  all.b.insert(all.b.end(), body.b.begin(), body.b.end());
  return all.b;
}

struct Decoded {
  int rc;
  std::vector<float> x;
  int32_t rate;
  std::string err;
};

Decoded decode(const std::vector<uint8_t> &img) {
  float *s = (float *)1;
  size_t n = 99;
  int32_t rate = -1;
  Decoded d;
  d.rc = tv_wav_read_mem(img.data(), img.size(), &s, &n, &rate);
  d.rate = rate;
  if (d.rc == 0) {
    d.x.assign(s, s + n);
    tv_free(s);
  } else {
    EXPECT_EQ(s, nullptr);
    EXPECT_EQ(n, 0u);
    d.err = tv_geterr();
  }
  return d;
}

TEST(WavRead, ReadsEveryLayoutMadeBySox) {
  struct Case {
    const char *file;
    size_t frames;
    double gain;  // the mono mix of the channels written by the fixture script
    double tol;
  };
  const Case cases[] = {
      {"u8.wav", 64, 1.0, 1.0 / 128},
      {"s16.wav", 64, 1.0, 1.0 / 32768},
      {"s24.wav", 64, 1.0, 1.0 / 8388608},       // WAVE_FORMAT_EXTENSIBLE with a fact chunk
      {"s32.wav", 64, 1.0, 1e-7},                // extensible, 32-bit integers
      {"f32.wav", 64, 1.0, 1e-7},                // 18-byte fmt chunk, fact chunk
      {"f64.wav", 64, 1.0, 1e-7},
      {"stereo16.wav", 64, 0.25, 1.0 / 32768},   // (1 - 0.5) / 2
      {"three24.wav", 64, 0.25, 1.0 / 8388608},  // (1 - 0.5 + 0.25) / 3
      {"list16.wav", 64, 1.0, 1.0 / 32768},      // odd-sized LIST chunk before the data
      {"truncated16.wav", 40, 1.0, 1.0 / 32768}, // data chunk promises more than present
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.file);
    float *s = NULL;
    size_t n = 0;
    int32_t rate = 0;
    ASSERT_EQ(tv_wav_read(fixture(c.file).c_str(), &s, &n, &rate), 0) << tv_geterr();
    EXPECT_EQ(rate, 8000);
    ASSERT_EQ(n, c.frames);
    double worst = 0;
    for (size_t i = 0; i < n; i++) worst = fmax(worst, fabs(s[i] - c.gain * signal_at((int)i)));
    EXPECT_LE(worst, c.tol);
    tv_free(s);
  }
}

TEST(WavRead, ConvertsSampleValuesExactly) {
  // Stereo 16384 / -16384 mixes to 0; 8-bit 255 and 0 give 127/128 and -1;
  // 24-bit is sign-extended; 32-bit int uses 2^-31.
  struct Case {
    int tag, channels, align;
    std::vector<uint8_t> data;
    std::vector<float> want;
  };
  const Case cases[] = {
      {1, 2, 4, {0x00, 0x40, 0x00, 0xC0}, {0.0f}},
      {1, 1, 1, {255, 0, 128}, {0.9921875f, -1.0f, 0.0f}},
      {1, 1, 3, {0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x80}, {-0x1p-23f, -1.0f}},
      {1, 1, 4, {0x00, 0x00, 0x00, 0x40}, {0.5f}},
      {1, 1, 2, {0x00, 0x80, 0xFF, 0x7F}, {-1.0f, 32767.0f / 32768.0f}},
      {3, 1, 8, {0, 0, 0, 0, 0, 0, 0xE0, 0x3F}, {0.5f}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.align);
    Decoded d = decode(wave({{"fmt ", fmt_body(c.tag, c.channels, 24000, c.align, 8 * c.align / c.channels)},
                             {"data", c.data}}));
    ASSERT_EQ(d.rc, 0) << d.err;
    EXPECT_EQ(d.rate, 24000);
    ASSERT_EQ(d.x.size(), c.want.size());
    for (size_t i = 0; i < d.x.size(); i++) EXPECT_EQ(d.x[i], c.want[i]) << i;
  }
}

TEST(WavRead, RefusesMalformedImagesWithTheirMessage) {
  auto fmt16 = fmt_body(1, 1, 8000, 2, 16);
  std::vector<uint8_t> two = {0, 0};
  std::vector<uint8_t> ext = fmt_body(0xFFFE, 1, 8000, 2, 16);  // only 16 of the 40 bytes
  std::vector<uint8_t> rf64 = wave({{"fmt ", fmt16}, {"data", two}});
  memcpy(rf64.data(), "RF64", 4);
  std::vector<uint8_t> rifx = rf64;
  memcpy(rifx.data(), "RIFX", 4);
  std::vector<uint8_t> huge_list = wave({{"fmt ", fmt16}});
  Bytes hl;
  hl.tag("LIST");
  hl.u32(0xFFFFFFF0u);  // a size far past the end must not wrap the walk
  huge_list.insert(huge_list.end(), hl.b.begin(), hl.b.end());
  std::vector<uint8_t> fmt_too_long = wave({{"fmt ", fmt16}, {"data", two}});
  fmt_too_long[16] = 0xF0;  // fmt size beyond the bytes left
  struct Case {
    const char *name;
    std::vector<uint8_t> img;
    const char *msg;
  };
  const Case cases[] = {
      {"empty", {}, "wav: not a RIFF WAVE file"},
      {"short", {'R', 'I', 'F', 'F', 0, 0, 0, 0}, "wav: not a RIFF WAVE file"},
      {"rf64", rf64, "wav: RF64 / big-endian RIFX files are not supported"},
      {"rifx", rifx, "wav: RF64 / big-endian RIFX files are not supported"},
      {"aiff", {'F', 'O', 'R', 'M', 0, 0, 0, 0, 'A', 'I', 'F', 'F', 0, 0, 0, 0, 0, 0, 0, 0},
       "wav: not a RIFF WAVE file"},
      {"header only", wave({}), "wav: missing fmt chunk"},
      {"no data", wave({{"fmt ", fmt16}, {"LIST", {1, 2, 3}}}), "wav: missing data chunk"},
      {"data first", wave({{"data", two}, {"fmt ", fmt16}}), "wav: missing fmt chunk"},
      {"oversized chunk", huge_list, "wav: missing data chunk"},
      {"short fmt", wave({{"fmt ", std::vector<uint8_t>(fmt16.begin(), fmt16.begin() + 14)}, {"data", two}}),
       "wav: bad fmt chunk"},
      {"fmt past end", fmt_too_long, "wav: bad fmt chunk"},
      {"short extensible", wave({{"fmt ", ext}, {"data", two}}), "wav: bad WAVE_FORMAT_EXTENSIBLE fmt chunk"},
      {"no channels", wave({{"fmt ", fmt_body(1, 0, 8000, 2, 16)}, {"data", two}}),
       "wav: bad header (channels 0, rate 8000, block align 2)"},
      {"no rate", wave({{"fmt ", fmt_body(1, 1, 0, 2, 16)}, {"data", two}}),
       "wav: bad header (channels 1, rate 0, block align 2)"},
      {"rate too high", wave({{"fmt ", fmt_body(1, 1, 0x80000000u, 2, 16)}, {"data", two}}),
       "wav: bad header (channels 1, rate 2147483648, block align 2)"},
      {"align below channels", wave({{"fmt ", fmt_body(1, 2, 8000, 1, 8)}, {"data", two}}),
       "wav: bad header (channels 2, rate 8000, block align 1)"},
      {"align not a multiple", wave({{"fmt ", fmt_body(1, 2, 8000, 5, 16)}, {"data", two}}),
       "wav: bad header (channels 2, rate 8000, block align 5)"},
      {"float16", wave({{"fmt ", fmt_body(3, 1, 8000, 2, 16)}, {"data", two}}),
       "wav: unsupported sample format (tag 3, 16 bits)"},
      {"alaw", wave({{"fmt ", fmt_body(6, 1, 8000, 1, 8)}, {"data", two}}),
       "wav: unsupported sample format (tag 6, 8 bits)"},
      {"pcm40", wave({{"fmt ", fmt_body(1, 1, 8000, 5, 40)}, {"data", two}}),
       "wav: unsupported sample format (tag 1, 40 bits)"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    Decoded d = decode(c.img);
    EXPECT_EQ(d.rc, -1);
    EXPECT_EQ(d.err, c.msg);
  }
}

TEST(WavRead, EmptyDataChunkGivesZeroFramesAndABuffer) {
  // A partial frame is ignored, too.
  for (std::vector<uint8_t> data : {std::vector<uint8_t>{}, std::vector<uint8_t>{7}}) {
    std::vector<uint8_t> img = wave({{"fmt ", fmt_body(1, 1, 8000, 2, 16)}, {"data", data}});
    float *s = NULL;
    size_t n = 5;
    int32_t rate = 0;
    ASSERT_EQ(tv_wav_read_mem(img.data(), img.size(), &s, &n, &rate), 0);
    EXPECT_NE(s, nullptr);
    EXPECT_EQ(n, 0u);
    tv_free(s);
  }
}

TEST(WavRead, FileErrorsNameThePath) {
  float *s = NULL;
  size_t n = 0;
  int32_t rate = 0;
  EXPECT_EQ(tv_wav_read("/nonexistent/x.wav", &s, &n, &rate), -1);
  EXPECT_STREQ(tv_geterr(), "cannot open /nonexistent/x.wav");
  std::string p = fixture("make-fixtures.py");
  EXPECT_EQ(tv_wav_read(p.c_str(), &s, &n, &rate), -1);
  EXPECT_EQ(std::string(tv_geterr()), p + ": wav: not a RIFF WAVE file");
  EXPECT_EQ(s, nullptr);
}

TEST(WavEncode, ClipsRoundsToEvenAndZeroesNaN) {
  struct Case {
    float in;
    int16_t out;
  };
  const Case cases[] = {
      {1.5f, 32767},  {-1.5f, -32767}, {0.5f, 16384},         {-0.5f, -16384}, {NAN, 0},
      {1.0f, 32767},  {-1.0f, -32767}, {INFINITY, 32767},     {-INFINITY, -32767},
      {0.0f, 0},      {-0.0f, 0},
  };
  std::vector<float> x;
  for (const Case &c : cases) x.push_back(c.in);
  uint8_t *b = NULL;
  size_t len = 0;
  ASSERT_EQ(tv_wav_encode(x.data(), x.size(), 24000, &b, &len), 0);
  ASSERT_EQ(len, 44 + 2 * x.size());
  const uint8_t head[44] = {'R', 'I', 'F', 'F', 58, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ',
                            16, 0, 0, 0, 1, 0, 1, 0, 0xC0, 0x5D, 0, 0, 0x80, 0xBB, 0, 0,
                            2, 0, 16, 0, 'd', 'a', 't', 'a', 22, 0, 0, 0};
  EXPECT_EQ(memcmp(b, head, 44), 0);
  for (size_t i = 0; i < x.size(); i++) {
    int16_t v = (int16_t)(b[44 + 2 * i] | b[45 + 2 * i] << 8);
    EXPECT_EQ(v, cases[i].out) << "sample " << i << " = " << cases[i].in;
  }
  tv_free(b);
}

TEST(WavEncode, RefusesMoreSamplesThanARiffSizeHolds) {
  uint8_t *b = (uint8_t *)1;
  size_t len = 1;
  float one = 0;
  // The pointer is never read: the count is refused first.
  EXPECT_EQ(tv_wav_encode(&one, TV_WAV_MAX_SAMPLES + 1, 24000, &b, &len), -1);
  EXPECT_STREQ(tv_geterr(), "wav: too many samples");
  EXPECT_EQ(b, nullptr);
  EXPECT_EQ(len, 0u);
}

size_t entries(const TempDir &dir) {
  size_t n = 0;
  for (auto &e : std::filesystem::directory_iterator(dir.path)) (void)e, n++;
  return n;
}

TEST(WavWrite, WritesAFileThatReadsBackAndLeavesNoTemporary) {
  TempDir dir;
  std::string path = dir.file("out.wav");
  std::vector<float> x = {0.0f, 0.25f, -0.25f, 1.0f};
  ASSERT_EQ(tv_wav_write(path.c_str(), x.data(), x.size(), 16000), 0) << tv_geterr();
  // Writing again replaces the file in one step.
  ASSERT_EQ(tv_wav_write(path.c_str(), x.data(), 2, 16000), 0) << tv_geterr();
  float *s = NULL;
  size_t n = 0;
  int32_t rate = 0;
  ASSERT_EQ(tv_wav_read(path.c_str(), &s, &n, &rate), 0) << tv_geterr();
  EXPECT_EQ(rate, 16000);
  ASSERT_EQ(n, 2u);
  EXPECT_NEAR(s[1], 0.25f, 1.0 / 32767);
  tv_free(s);
  EXPECT_EQ(entries(dir), 1u);
}

TEST(WavWrite, ReportsAFolderThatCannotBeWritten) {
  float x = 0;
  EXPECT_EQ(tv_wav_write("/nonexistent/dir/out.wav", &x, 1, 24000), -1);
  EXPECT_STREQ(tv_geterr(), "cannot write /nonexistent/dir/out.wav");
  // A directory in place of the file is neither replaced nor written, and no
  // temporary file is left behind.
  TempDir dir;
  std::string sub = dir.file("taken");
  std::filesystem::create_directory(sub);
  dir.write("taken/keep", "x");
  EXPECT_EQ(tv_wav_write(sub.c_str(), &x, 1, 24000), -1);
  EXPECT_EQ(std::string(tv_geterr()), "cannot write " + sub);
  EXPECT_EQ(entries(dir), 1u);
  EXPECT_TRUE(std::filesystem::is_directory(sub));
}

// The samples a WAV file holds, or {-9} when it does not read.
std::vector<float> samples_of(const std::string &path) {
  float *s = NULL;
  size_t n = 0;
  int32_t rate = 0;
  if (tv_wav_read(path.c_str(), &s, &n, &rate) != 0) return {-9.0f};
  std::vector<float> out(s, s + n);
  tv_free(s);
  return out;
}

mode_t mode_of(const std::string &path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0 ? st.st_mode : 0;
}

// Where the path leads decides how the file is written; whatever it is, the
// new samples arrive, the path keeps its kind, and no temporary is left.
TEST(WavWrite, WritesThroughLinksAndKeepsWhatThePathIs) {
  const std::vector<float> x = {0.5f, -0.5f};
  struct Case {
    const char *what;
    // Makes the layout in dir and returns the path to write.
    std::string (*setup)(const TempDir &dir);
    // The file whose samples must be the new ones.
    const char *written;
    // Names that must keep their file type (checked with lstat).
    std::vector<std::pair<const char *, mode_t>> kinds;
  };
  const Case cases[] = {
      {"absolute symlink to a file in another folder",
       [](const TempDir &d) {
         std::filesystem::create_directory(d.file("real"));
         d.write("real/a.wav", "old");
         std::filesystem::create_symlink(d.file("real/a.wav"), d.file("link.wav"));
         return d.file("link.wav");
       },
       "real/a.wav",
       {{"link.wav", S_IFLNK}, {"real/a.wav", S_IFREG}}},
      {"relative symlink through a second link",
       [](const TempDir &d) {
         std::filesystem::create_directory(d.file("real"));
         d.write("real/a.wav", "old");
         std::filesystem::create_symlink("real/a.wav", d.file("hop.wav"));
         std::filesystem::create_symlink("hop.wav", d.file("link.wav"));
         return d.file("link.wav");
       },
       "real/a.wav",
       {{"link.wav", S_IFLNK}, {"hop.wav", S_IFLNK}, {"real/a.wav", S_IFREG}}},
      {"dangling symlink creates its target",
       [](const TempDir &d) {
         std::filesystem::create_directory(d.file("real"));
         std::filesystem::create_symlink("real/new.wav", d.file("link.wav"));
         return d.file("link.wav");
       },
       "real/new.wav",
       {{"link.wav", S_IFLNK}, {"real/new.wav", S_IFREG}}},
      {"hard-linked file stays one file under both names",
       [](const TempDir &d) {
         d.write("a.wav", "old");
         std::filesystem::create_hard_link(d.file("a.wav"), d.file("b.wav"));
         return d.file("a.wav");
       },
       "b.wav",
       {{"a.wav", S_IFREG}, {"b.wav", S_IFREG}}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    const std::string path = c.setup(dir);
    const size_t before = entries(dir);
    ASSERT_EQ(tv_wav_write(path.c_str(), x.data(), x.size(), 24000), 0) << tv_geterr();
    const std::vector<float> got = samples_of(dir.file(c.written));
    ASSERT_EQ(got.size(), 2u);
    EXPECT_NEAR(got[0], 0.5f, 1.0 / 32767);
    for (auto &k : c.kinds) EXPECT_EQ(mode_of(dir.file(k.first)) & S_IFMT, k.second) << k.first;
    EXPECT_EQ(entries(dir), before);
  }
}

TEST(WavWrite, KeepsTheModeOfTheFileItReplaces) {
  for (mode_t mode : {0600, 0640, 0604, 0755}) {
    SCOPED_TRACE(mode);
    TempDir dir;
    const std::string path = dir.write("a.wav", "old");
    ASSERT_EQ(chmod(path.c_str(), mode), 0);
    const float x = 0.25f;
    ASSERT_EQ(tv_wav_write(path.c_str(), &x, 1, 24000), 0) << tv_geterr();
    EXPECT_EQ(mode_of(path) & 07777, mode);
    EXPECT_EQ(samples_of(path).size(), 1u);
  }
}

TEST(WavWrite, WritesAWritableFileInAReadOnlyFolderInPlace) {
  TempDir dir;
  std::filesystem::create_directory(dir.file("ro"));
  const std::string path = dir.write("ro/a.wav", "old");
  ASSERT_EQ(chmod(dir.file("ro").c_str(), 0555), 0);
  const float x[3] = {0.1f, 0.2f, 0.3f};
  const int rc = tv_wav_write(path.c_str(), x, 3, 24000);
  const std::string err = tv_geterr();
  // A new file cannot be made there (unless the tests run as root).
  const int fresh = tv_wav_write(dir.file("ro/new.wav").c_str(), x, 3, 24000);
  chmod(dir.file("ro").c_str(), 0755);
  ASSERT_EQ(rc, 0) << err;
  EXPECT_EQ(samples_of(path).size(), 3u);
  size_t n = 0;
  for (auto &e : std::filesystem::directory_iterator(dir.file("ro"))) (void)e, n++;
  if (geteuid() != 0) {
    EXPECT_EQ(fresh, -1);
    EXPECT_EQ(n, 1u);
  }
}

// A FIFO (like /dev/null or a player's pipe) gets the bytes and stays a FIFO.
TEST(WavWrite, WritesIntoAFifoWithoutReplacingIt) {
  TempDir dir;
  const std::string path = dir.file("pipe.wav");
  ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
  const int reader = open(path.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  const float x[2] = {0.5f, -0.5f};
  ASSERT_EQ(tv_wav_write(path.c_str(), x, 2, 24000), 0) << tv_geterr();
  EXPECT_TRUE(S_ISFIFO(mode_of(path)));
  unsigned char buf[128];
  const ssize_t got = read(reader, buf, sizeof buf);
  close(reader);
  ASSERT_EQ(got, 48);
  EXPECT_EQ(memcmp(buf, "RIFF", 4), 0);
  EXPECT_EQ(entries(dir), 1u);
}

// A device made like /dev/null (where the system lets the tests make one) is
// written in place and stays a device.
TEST(WavWrite, WritesIntoADeviceWithoutReplacingIt) {
  TempDir dir;
  const std::string path = dir.file("null");
  if (mknod(path.c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0) GTEST_SKIP() << "cannot make a device here";
  const float x = 0.5f;
  ASSERT_EQ(tv_wav_write(path.c_str(), &x, 1, 24000), 0) << tv_geterr();
  EXPECT_TRUE(S_ISCHR(mode_of(path)));
  EXPECT_EQ(entries(dir), 1u);
}

// Only root can give a file away, so only root can check that its owner stays.
TEST(WavWrite, KeepsTheOwnerOfTheFileItReplaces) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to make another user's file";
  TempDir dir;
  const std::string path = dir.write("a.wav", "old");
  ASSERT_EQ(chown(path.c_str(), 4321, 4322), 0);
  const float x = 0.5f;
  ASSERT_EQ(tv_wav_write(path.c_str(), &x, 1, 24000), 0) << tv_geterr();
  struct stat st;
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, 4321u);
  EXPECT_EQ(st.st_gid, 4322u);
  EXPECT_EQ(samples_of(path).size(), 1u);
}

}  // namespace
