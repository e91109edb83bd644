#include "runtime/error.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <locale.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <string>

static thread_local char last_error[TV_ERRLEN];

void tv_seterr(const char *fmt, ...) {
  char scratch[TV_ERRLEN];
  va_list ap;
  va_start(ap, fmt);
  int r = vsnprintf(scratch, sizeof scratch, fmt, ap);
  va_end(ap);
  if (r < 0) scratch[0] = 0;
  memcpy(last_error, scratch, sizeof scratch);
}

const char *tv_geterr(void) { return last_error; }

void *tv_malloc(size_t n) {
  if (n == 0) n = 1;
  // The round-up must not wrap: a size near the top of size_t is simply too big.
  if (n > SIZE_MAX - (TV_ALIGN - 1)) {
    tv_seterr("out of memory (%zu bytes)", n);
    return NULL;
  }
  size_t size = (n + TV_ALIGN - 1) & ~(size_t)(TV_ALIGN - 1);
  void *p = aligned_alloc(TV_ALIGN, size);
  if (!p) tv_seterr("out of memory (%zu bytes)", n);
  return p;
}

void *tv_calloc(size_t n) {
  void *p = tv_malloc(n);
  if (p) memset(p, 0, n ? n : 1);
  return p;
}

char *tv_strdup(const char *s) {
  size_t n = strlen(s) + 1;
  char *p = (char *)tv_malloc(n);
  if (p) memcpy(p, s, n);
  return p;
}

void tv_free(void *p) { free(p); }

int tv_read_file(const char *path, char **buf, size_t *len) {
  FILE *f = fopen(path, "rb");
  if (!f) {
    tv_seterr("cannot open %s", path);
    return -1;
  }
  char *data = NULL;
  struct stat st;
  // A directory opens fine on Linux but has no bytes to give.
  if (fstat(fileno(f), &st) != 0 || S_ISDIR(st.st_mode)) goto unreadable;
  {
    if (fseeko(f, 0, SEEK_END) != 0) goto unreadable;
    off_t end = ftello(f);
    if (end < 0 || fseeko(f, 0, SEEK_SET) != 0) goto unreadable;
    size_t n = (size_t)end;
    data = (char *)tv_malloc(n + 1);
    if (!data) {
      fclose(f);
      return -1;
    }
    if (n && fread(data, 1, n, f) != n) goto unreadable;
    fclose(f);
    data[n] = 0;
    *buf = data;
    if (len) *len = n;
    return 0;
  }
unreadable:
  tv_free(data);
  fclose(f);
  tv_seterr("cannot read %s", path);
  return -1;
}

// The file a path names once its symbolic links are followed (relative
// targets are read from the link's folder). A dangling link gives its target,
// so writing creates it; a loop ends as a link, which open then refuses.
static std::string follow_links(const char *path) {
  std::string p = path;
  for (int hop = 0; hop < 40; hop++) {
    struct stat st;
    if (lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) break;
    char to[PATH_MAX];
    const ssize_t n = readlink(p.c_str(), to, sizeof to - 1);
    if (n <= 0) break;
    to[n] = 0;
    const size_t slash = p.rfind('/');
    p = (to[0] == '/' || slash == std::string::npos) ? std::string(to) : p.substr(0, slash + 1) + to;
  }
  return p;
}

static bool write_all(int fd, const void *bytes, size_t len) {
  const unsigned char *p = (const unsigned char *)bytes;
  size_t done = 0;
  while (done < len) {
    const ssize_t w = write(fd, p + done, len - done);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    done += (size_t)w;
  }
  return true;
}

static std::atomic<unsigned> tmp_counter{0};

// 0 written, -1 failed (message set), 1 no temporary could be made beside
// the target (a read-only folder, say): the caller writes in place instead.
static int replace_file(const std::string &target, const struct stat *old, const void *bytes, size_t len,
                        const char *shown) {
  std::string tmp;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; attempt++) {
    tmp = target + ".tmp-" + std::to_string((long)getpid()) + "-" + std::to_string(tmp_counter.fetch_add(1));
    fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) return 1;
  if (old) {
    // Owner first: changing it may clear the set-id bits the mode restores.
    // Another user's file we may write keeps its owner by being written in
    // place; one we may not write becomes ours, as a copy over it would.
    struct stat now;
    const bool other = fstat(fd, &now) != 0 || now.st_uid != old->st_uid || now.st_gid != old->st_gid;
    if (other && fchown(fd, old->st_uid, old->st_gid) != 0 && access(target.c_str(), W_OK) == 0) {
      close(fd);
      unlink(tmp.c_str());
      return 1;
    }
    (void)!fchmod(fd, old->st_mode & 07777);
  }
  bool ok = write_all(fd, bytes, len) && fsync(fd) == 0;
  if (close(fd) != 0) ok = false;
  if (ok && rename(tmp.c_str(), target.c_str()) != 0) ok = false;
  if (!ok) {
    unlink(tmp.c_str());
    tv_seterr("write error on %s", shown);
    return -1;
  }
  return 0;
}

int tv_write_file(const char *path, const void *bytes, size_t len) {
  const std::string target = follow_links(path);
  struct stat st;
  const bool exists = lstat(target.c_str(), &st) == 0;
  // Renaming over a hard-linked file would split it from its other names.
  if (!exists || (S_ISREG(st.st_mode) && st.st_nlink == 1)) {
    const int r = replace_file(target, exists ? &st : NULL, bytes, len, path);
    if (r <= 0) return r;
    if (!exists) {
      tv_seterr("cannot write %s", path);
      return -1;
    }
  }
  // Devices and FIFOs take the bytes as they are; only regular files are cut.
  const int fd = open(target.c_str(), O_WRONLY | O_CLOEXEC | (exists && S_ISREG(st.st_mode) ? O_TRUNC : 0));
  if (fd < 0) {
    tv_seterr("cannot write %s", path);
    return -1;
  }
  bool ok = write_all(fd, bytes, len);
  if (close(fd) != 0) ok = false;
  if (!ok) {
    tv_seterr("write error on %s", path);
    return -1;
  }
  return 0;
}

// The C locale, made once, so that conversions ignore the process locale
// without touching it (setlocale is not thread-safe).
static locale_t c_locale(void) {
  static locale_t loc = newlocale(LC_ALL_MASK, "C", (locale_t)0);
  return loc;
}

static bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
static bool is_digit(char c) { return c >= '0' && c <= '9'; }
static char lower(char c) { return (c >= 'A' && c <= 'Z') ? (char)(c + 32) : c; }

double tv_strtod(const char *s, char **end) {
  const char *p = s;
  while (is_blank(*p)) p++;
  const char *num = p;
  if (*p == '+' || *p == '-') p++;
  // NaN and infinity spellings: the platform reads them the same in every locale.
  if (p[0] && p[1] &&
      ((lower(p[0]) == 'n' && lower(p[1]) == 'a') || (lower(p[0]) == 'i' && lower(p[1]) == 'n')))
    return strtod(s, end);
  int digits = 0;
  while (is_digit(*p)) p++, digits++;
  if (*p == '.') {
    p++;
    while (is_digit(*p)) p++, digits++;
  }
  if (digits == 0) {
    if (end) *end = (char *)s;
    return 0.0;
  }
  if (*p == 'e' || *p == 'E') {
    const char *q = p + 1;
    if (*q == '+' || *q == '-') q++;
    if (is_digit(*q)) {
      while (is_digit(*q)) q++;
      p = q;
    }
  }
  // Copy the extent so that the platform parser cannot read past it (hex forms).
  size_t n = (size_t)(p - num);
  char local[128];
  char *scratch = local;
  if (n + 1 > sizeof local) {
    scratch = (char *)malloc(n + 1);
    if (!scratch) {
      if (end) *end = (char *)s;
      return 0.0;
    }
  }
  memcpy(scratch, num, n);
  scratch[n] = 0;
  double v;
  locale_t loc = c_locale();
  if (loc) {
    v = strtod_l(scratch, NULL, loc);
  } else {
    // No C locale object: spell the point the way the current locale wants.
    const char *dp = localeconv()->decimal_point;
    size_t dl = dp ? strlen(dp) : 0;
    if (dl == 0 || (dl == 1 && dp[0] == '.')) {
      v = strtod(scratch, NULL);
    } else {
      char *conv = (char *)malloc(n * dl + 1);
      if (!conv) {
        if (scratch != local) free(scratch);
        if (end) *end = (char *)s;
        return 0.0;
      }
      size_t k = 0;
      for (size_t i = 0; i < n; i++) {
        if (scratch[i] == '.') {
          memcpy(conv + k, dp, dl);
          k += dl;
        } else {
          conv[k++] = scratch[i];
        }
      }
      conv[k] = 0;
      v = strtod(conv, NULL);
      free(conv);
    }
  }
  if (scratch != local) free(scratch);
  if (end) *end = (char *)p;
  return v;
}

double tv_time_ms(void) {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return (double)ts.tv_sec * 1000.0 + (double)ts.tv_nsec / 1e6;
}

uint64_t tv_peak_rss_kb(void) {
  struct rusage ru;
  if (getrusage(RUSAGE_SELF, &ru) != 0 || ru.ru_maxrss < 0) return 0;
  // Linux reports ru_maxrss in KiB already.
  return (uint64_t)ru.ru_maxrss;
}
