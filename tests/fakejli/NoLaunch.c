/* A library that does not export JLI_Launch, for tests of a runtime library
 * without its entry point. */
int notJliLaunch(void) {
    return 0;
}
