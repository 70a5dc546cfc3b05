// Telling Wine from Windows, for the few tests that meet a documented Wine behaviour.
#ifndef SUPPORT_UNDER_WINE_H_
#define SUPPORT_UNDER_WINE_H_

namespace test {

// True when the process runs under Wine (its ntdll exports wine_get_version).
bool RunningUnderWine();

}  // namespace test

#endif  // SUPPORT_UNDER_WINE_H_
