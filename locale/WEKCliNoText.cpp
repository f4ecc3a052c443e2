// A library named like a locale library that exports no text function: the
// client must release it and treat the locale as missing.
extern "C" __attribute__((visibility("default"))) int WekLocaleVersion()
{
    return 1;
}
