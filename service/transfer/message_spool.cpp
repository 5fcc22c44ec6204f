#include "service/transfer/message_spool.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <new>
#include <random>
#include <vector>

#include "platform/state_files.h"
#include "service/transfer/transfer_error.h"

namespace ferry {
namespace {

constexpr std::size_t kTailKept = 8;

// A name no other spool file of this or another process has.
std::string NewSpoolName() {
  static const uint64_t process = [] {
    std::random_device random;
    return (static_cast<uint64_t>(random()) << 32) ^ random() ^
           static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  }();
  static std::atomic<uint64_t> counter{0};
  char name[64];
  std::snprintf(name, sizeof name, "msg-%016llx-%llu.tmp", static_cast<unsigned long long>(process),
                static_cast<unsigned long long>(++counter));
  return name;
}

// Spool files older than this were left by a run that never ended (a crash).
constexpr auto kStaleAfter = std::chrono::hours(24);

// Once per process: the spool files that a crashed run left behind.
void RemoveStaleFiles(const std::string& folder) {
  static std::once_flag once;
  std::call_once(once, [&folder] {
    std::error_code ec;
    auto now = std::filesystem::file_time_type::clock::now();
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
      std::string name = entry.path().filename().string();
      if (!name.starts_with("msg-") || !name.ends_with(".tmp")) continue;
      auto written = entry.last_write_time(ec);
      if (!ec && now - written > kStaleAfter) std::filesystem::remove(entry.path(), ec);
    }
  });
}

}  // namespace

std::string SpoolFolder() { return state::JoinStatePath(state::StateFolder(), "spool"); }

SpoolFile::~SpoolFile() { state::RemoveFile(path_); }

SpoolWriter::~SpoolWriter() {
  if (stream_ != nullptr) std::fclose(stream_);
}

void SpoolWriter::Spill() {
  std::string folder = SpoolFolder();
  if (!state::CreateOwnerFolder(folder).ok()) Raise(kErrorTextMemory);
  RemoveStaleFiles(folder);
  auto file = std::make_unique<SpoolFile>(state::JoinStatePath(folder, NewSpoolName()));
  // The folder is owner-only; the file inherits that.
  stream_ = std::fopen(file->Path().c_str(), "wb");
  if (stream_ == nullptr) Raise(kErrorTextMemory);
  file_ = std::move(file);
  if (!memory_.empty() && std::fwrite(memory_.data(), 1, memory_.size(), stream_) != memory_.size()) {
    Raise(kErrorTextMemory);
  }
  std::string().swap(memory_);
}

void SpoolWriter::Append(std::string_view bytes) {
  if (bytes.empty()) return;
  if (file_ == nullptr && memory_.size() + bytes.size() > memoryLimit_) Spill();
  if (file_ == nullptr) {
    try {
      memory_.append(bytes);
    } catch (const std::bad_alloc&) {
      Raise(kErrorTextMemory);
    }
  } else {
    if (std::fwrite(bytes.data(), 1, bytes.size(), stream_) != bytes.size()) Raise(kErrorTextMemory);
  }
  size_ += bytes.size();
  tail_.append(bytes.substr(bytes.size() > kTailKept ? bytes.size() - kTailKept : 0));
  if (tail_.size() > kTailKept) tail_.erase(0, tail_.size() - kTailKept);
}

bool SpoolWriter::EndsWith(std::string_view suffix) const { return std::string_view(tail_).ends_with(suffix); }

SpooledText SpoolWriter::Finish() {
  SpooledText out;
  if (stream_ != nullptr) {
    bool written = std::fflush(stream_) == 0;
    written = std::fclose(stream_) == 0 && written;
    stream_ = nullptr;
    if (!written) Raise(kErrorTextMemory);
  }
  out.memory = std::move(memory_);
  out.file = std::move(file_);
  out.size = size_;
  memory_.clear();
  tail_.clear();
  size_ = 0;
  return out;
}

bool ReadSpoolBlocks(const SpoolFile& file, std::size_t blockSize,
                     const std::function<bool(std::string_view)>& take) {
  std::FILE* stream = std::fopen(file.Path().c_str(), "rb");
  if (stream == nullptr) return false;
  std::vector<char> block(blockSize);
  bool whole = true;
  for (;;) {
    std::size_t n = std::fread(block.data(), 1, block.size(), stream);
    if (n == 0) {
      whole = std::ferror(stream) == 0;
      break;
    }
    if (!take(std::string_view(block.data(), n))) break;
  }
  std::fclose(stream);
  return whole;
}

}  // namespace ferry
