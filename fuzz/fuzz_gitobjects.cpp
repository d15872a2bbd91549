// A repository's object database as the in-process reader parses it: the input is a pack
// entry (after a pack header, indexed by a pack index of one object) and, whole, a loose
// object file. Never a crash, a hang or an object of a type git does not have.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "ostrameld/git/objects.h"
#include "ostrameld/git/repository.h"

namespace {

void write(const std::filesystem::path& p, const std::string& bytes) {
  std::ofstream(p, std::ios::binary | std::ios::trunc) << bytes;
}

std::string be32(std::uint32_t v) {
  return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8), static_cast<char>(v)};
}

const std::filesystem::path& objects() {
  static const std::filesystem::path dir = [] {
    auto d = std::filesystem::temp_directory_path() / ("fuzz-gitobjects-" + std::to_string(::getpid()));
    std::filesystem::create_directories(d / "pack");
    std::filesystem::create_directories(d / "22");
    // One object, 0x11 repeated, at offset 12: the first entry after the pack header.
    std::string idx = std::string("\377tOc") + be32(2);
    for (int i = 0; i < 256; ++i) idx += be32(i >= 0x11 ? 1 : 0);
    idx += std::string(20, '\x11') + be32(0) + be32(12) + std::string(40, '\0');
    write(d / "pack" / "p.idx", idx);
    return d;
  }();
  return dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  const auto& dir = objects();
  write(dir / "pack" / "p.pack", std::string("PACK") + be32(2) + be32(1) + bytes);
  write(dir / "22" / std::string(38, '2'), bytes);
  // The budgets as an assessment has them, smaller: a store that exceeds them is refused.
  ostrameld::ObjectStore store(dir, false,
                               {.produced_bytes = 64u << 20, .cache_bytes = 4u << 20, .index_bytes = 1u << 20});
  for (const char* oid : {"1111111111111111111111111111111111111111", "2222222222222222222222222222222222222222"}) {
    try {
      if (auto o = store.read(oid, 1 << 16)) {
        if (o->type != "commit" && o->type != "tree" && o->type != "blob" && o->type != "tag") __builtin_trap();
        if (o->data.size() > (1 << 16)) __builtin_trap();
      }
    } catch (const ostrameld::GitError&) {
      // a hostile store, refused
    }
  }
  return 0;
}
