// The operator's web server for this executable, set at build time (QUILLON_SITE_URL). Each
// executable compiles its own copy of this file, so a test build can point at its own port.
#include "net/Endpoints.h"

#ifndef QUILLON_SITE_URL
#error "QUILLON_SITE_URL must be defined by the build"
#endif

#define QUILLON_WIDEN2(x) u##x
#define QUILLON_WIDEN(x) QUILLON_WIDEN2(x)

const char16_t kDefaultSiteUrl[] = QUILLON_WIDEN(QUILLON_SITE_URL);
