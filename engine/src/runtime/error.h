// The engine's lowest layer: the per-thread error text, 64-byte-aligned memory
// blocks, whole-file reading, a locale-proof number parser and the clock.
//
// Error convention for the whole engine: a function returning an int status
// returns 0 on success and -1 on failure; one returning a pointer returns NULL
// on failure. Before reporting failure it writes one line into the calling
// thread's error text (tv_seterr). Success never clears the text.
#pragma once

#include <stddef.h>
#include <stdint.h>

#define TV_ERRLEN 1024
#define TV_ALIGN 64

#if defined(__GNUC__)
#define TV_PRINTF(f, a) __attribute__((format(printf, f, a)))
#else
#define TV_PRINTF(f, a)
#endif

/* Formats into scratch first, so the current error text may be an argument
   ("%s: %s", path, tv_geterr()). Text longer than 1023 bytes is cut. */
void tv_seterr(const char *fmt, ...) TV_PRINTF(1, 2);
/* The calling thread's 1024-byte error text; valid for the thread's life. */
const char *tv_geterr(void);

/* A block of max(n, 1) bytes rounded up to a multiple of 64, 64-byte aligned;
   NULL with "out of memory (%zu bytes)" on failure. Freed with tv_free. */
void *tv_malloc(size_t n);
/* As tv_malloc, zero-filled. */
void *tv_calloc(size_t n);
/* Copy of s in a tv_malloc block, or NULL. */
char *tv_strdup(const char *s);
/* Releases a block of any function above; NULL allowed. */
void tv_free(void *p);

/* 0 / -1. Reads the whole file into one block with a NUL after the last byte;
   *buf is freed with tv_free; *len (when len is not NULL) gets the byte count. */
int tv_read_file(const char *path, char **buf, size_t *len);

/* 0 / -1 ("cannot write %s", "write error on %s"). Writes len bytes to path,
   following symbolic links to the file they name. A regular file with one
   name (or a new file) in a folder that takes new files is replaced through a
   temporary file renamed over it, keeping its mode and, where allowed, its
   owner; a failure leaves the old file whole. Anything else (a device, a
   FIFO, a hard-linked file, a writable file in a read-only folder) is written
   in place and never replaced. */
int tv_write_file(const char *path, const void *bytes, size_t len);

/* Decimal number with '.' as the decimal point under any process locale.
   Nothing numeric: 0.0 with *end at s. Never touches the error text. */
double tv_strtod(const char *s, char **end);

/* Monotonic clock in milliseconds. */
double tv_time_ms(void);
/* Peak resident memory of the process in KiB, 0 when it cannot be read. */
uint64_t tv_peak_rss_kb(void);
