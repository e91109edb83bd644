#include "front/fx.h"

#include <stdarg.h>
#include <stdio.h>

void fx_fail(uint32_t *flag, const char *fmt, ...) {
  if (flag && *flag) return;
  if (flag) *flag = 1;
  char buf[TV_ERRLEN];
  va_list ap;
  va_start(ap, fmt);
  int r = vsnprintf(buf, sizeof buf, fmt, ap);
  va_end(ap);
  if (r < 0) buf[0] = 0;
  tv_seterr("%s", buf);
}
