// A fingerprint of a file's bytes: tells whether a file still holds what a run wrote into it, so
// an undo never puts old text over somebody else's later edit.
#pragma once

#include <string>
#include <string_view>

namespace kestrava::util {

// XXH3's 128-bit hash of the bytes as 32 lower-case hex digits. Fast enough (tens of GB/s) to
// take of every file a replace writes; not meant to stand against a crafted collision.
std::string contentHash(std::string_view bytes);

} // namespace kestrava::util
