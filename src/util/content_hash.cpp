#include "util/content_hash.h"

// Header-only use: no run-time library to depend on.
#define XXH_INLINE_ALL
#include <xxhash.h>

#include <cstdio>

namespace kestrava::util {

std::string contentHash(std::string_view bytes) {
    const XXH128_hash_t hash = XXH3_128bits(bytes.data(), bytes.size());
    char text[33];
    std::snprintf(text, sizeof text, "%016llx%016llx", static_cast<unsigned long long>(hash.high64),
                  static_cast<unsigned long long>(hash.low64));
    return text;
}

} // namespace kestrava::util
