// Where a message's text waits between its retrieval and its delivery: in
// memory while it is small and the batch's memory allows, else in an
// owner-only file of the spool folder beside the store, removed once the
// message is done with. A batch is never held whole in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace ferry {

// The most of one message kept in memory, and of all messages of a batch.
inline constexpr std::size_t kInMemoryMessage = 1024 * 1024;
inline constexpr std::size_t kInMemoryBatch = 4 * 1024 * 1024;

// The folder of the spool files (in the state folder; not created here).
std::string SpoolFolder();

// A spool file: removed when the object ends.
class SpoolFile {
 public:
  explicit SpoolFile(std::string path) : path_(std::move(path)) {}
  ~SpoolFile();
  SpoolFile(const SpoolFile&) = delete;
  SpoolFile& operator=(const SpoolFile&) = delete;
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

// A whole text: in memory, or spooled.
struct SpooledText {
  std::string memory;  // the whole text unless it is spooled
  std::unique_ptr<SpoolFile> file;
  uint64_t size = 0;
};

// Collects one text as it arrives: in memory up to `memoryLimit` bytes, then
// in a new spool file. Raises kErrorTextMemory when the file cannot be made or
// written.
class SpoolWriter {
 public:
  explicit SpoolWriter(std::size_t memoryLimit) : memoryLimit_(memoryLimit) {}
  ~SpoolWriter();
  SpoolWriter(const SpoolWriter&) = delete;
  SpoolWriter& operator=(const SpoolWriter&) = delete;

  void Append(std::string_view bytes);
  uint64_t Size() const { return size_; }
  // Whether the text so far ends with `suffix` (at most 8 bytes).
  bool EndsWith(std::string_view suffix) const;
  // The text as collected (the writer is empty afterwards).
  SpooledText Finish();

 private:
  void Spill();

  std::size_t memoryLimit_;
  std::string memory_;  // the whole text while in memory
  std::unique_ptr<SpoolFile> file_;
  std::FILE* stream_ = nullptr;
  uint64_t size_ = 0;
  std::string tail_;  // the last bytes written
};

// Hands a spool file out in blocks of at most `blockSize` bytes, in order,
// until `take` returns false; false when the file cannot be read whole.
bool ReadSpoolBlocks(const SpoolFile& file, std::size_t blockSize,
                     const std::function<bool(std::string_view)>& take);

}  // namespace ferry
