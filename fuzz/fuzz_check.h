// What the fuzz targets share: a property check that stops the run with a
// message, and the growth of a reply in segments the way the reply reader sees
// it (the first input byte picks the segment size).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#define FUZZ_CHECK(condition)                                                  \
  do {                                                                          \
    if (!(condition)) {                                                         \
      std::fprintf(stderr, "property failed: %s (%s:%d)\n", #condition, __FILE__, __LINE__); \
      std::abort();                                                             \
    }                                                                           \
  } while (0)

namespace ferry::fuzz {

inline std::string_view AsText(const uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

// The first byte as a segment size of 1 to 64, and the rest as the bytes.
inline std::size_t SegmentSize(std::string_view* input) {
  if (input->empty()) return 1;
  std::size_t size = static_cast<unsigned char>(input->front()) % 64 + 1;
  input->remove_prefix(1);
  return size;
}

// Feeds `text` in segments to a framing function as the reply reader does and
// returns the length it reports the first time it finds an end (0 for none).
template <typename Framing>
std::size_t FramedInSegments(std::string_view text, std::size_t segment, Framing framing) {
  for (std::size_t have = segment; ; have += segment) {
    std::size_t length = framing(text.substr(0, have));
    if (length != 0) return length;
    if (have >= text.size()) return 0;
  }
}

}  // namespace ferry::fuzz
