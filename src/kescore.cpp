// The core library itself holds no code: it gathers the layer libraries for the front ends.
namespace kes {
extern const char* const kKescoreName;
const char* const kKescoreName = "kescore";
} // namespace kes
