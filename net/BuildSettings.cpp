// What each executable is built for: the operator's web server (QUILLON_SITE_URL) and the client
// version it is (QUILLON_CLIENT_VERSION). Each executable compiles its own copy of this file, so a
// test build can point at its own port or be the next release.
#include "net/Endpoints.h"

#if !defined(QUILLON_SITE_URL) || !defined(QUILLON_CLIENT_VERSION)
#error "QUILLON_SITE_URL and QUILLON_CLIENT_VERSION must be defined by the build"
#endif

#define QUILLON_WIDEN2(x) u##x
#define QUILLON_WIDEN(x) QUILLON_WIDEN2(x)

const char16_t kDefaultSiteUrl[] = QUILLON_WIDEN(QUILLON_SITE_URL);
const char16_t kClientVersion[] = QUILLON_WIDEN(QUILLON_CLIENT_VERSION);
