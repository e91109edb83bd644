// Options for the sanitizer build of engine_tests (ignored otherwise).

// Out-of-memory paths are tested with impossible sizes: the allocator must
// return NULL instead of aborting.
extern "C" const char *__asan_default_options() { return "allocator_may_return_null=1"; }

// glibc keeps the LOCPATH search list of newlocale for the process's life.
extern "C" const char *__lsan_default_suppressions() { return "leak:__argz_add_sep\n"; }
