// Linked into every test program of the sanitizer build, so that the leak
// checker knows the suppressions however the program is started (wek.sh,
// plain ctest, by hand). Keep in step with tests/lsan.supp.
extern "C" const char *__lsan_default_suppressions()
{
    // fontconfig, used by Qt, keeps its caches until the process ends.
    return "leak:libfontconfig.so\n";
}
