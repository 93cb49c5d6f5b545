/*
 * Linked into the launcher of sanitizer builds only. The Java runtime runs in
 * the launcher's process, so AddressSanitizer also watches the runtime's own
 * code, which is none of ours: the archive dump of JDK 25 copies symbols
 * word by word past their end, and the memcpy interceptor reports that.
 */
const char* __asan_default_suppressions(void);

const char* __asan_default_suppressions(void) {
    return "interceptor_via_fun:ArchiveBuilder::make_shallow_copy\n";
}
