#include "platform/memory.h"

#include <cstdint>
#include <mutex>

// NOMVEX_PLAIN_HEAP: every block from the ordinary heap, so that the
// sanitizers see each array's bounds and lifetime (the region hands out
// blocks they cannot tell apart).
#if defined(__linux__) && !defined(NOMVEX_PLAIN_HEAP)
#define NOMVEX_HUGE_REGION 1
#include <sys/mman.h>
#elif defined(_WIN32) && !defined(NOMVEX_PLAIN_HEAP)
#define NOMVEX_HUGE_REGION 1
#include <windows.h>
#endif

namespace nomvex::platform {
namespace {

#if NOMVEX_HUGE_REGION
constexpr size_t kHugePage = 2 << 20;
// Enough for the table, its index, the buffer that read it, the buffers of
// two threads annotating and their memo, with room to spare.  Only the huge
// pages touched are memory.
constexpr size_t kRegion = 8 * kHugePage;

// One region, handed out from the bottom up.  A block freed on top is taken
// back; any other stays unused until the process ends, and once the region
// is spent blocks come from the system one by one: the waste is bounded by
// the region's size.
struct Region {
  std::mutex lock;
  char* base = nullptr;
  size_t used = 0;
  bool tried = false;

  void Reserve() {
    tried = true;
#ifdef _WIN32
    // Committed at once but backed by memory only where touched.  Large
    // pages would need a privilege users seldom hold.
    base = static_cast<char*>(VirtualAlloc(nullptr, kRegion, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
#else
    // One huge page more than needed, then trimmed to a huge-page boundary.
    void* raw = mmap(nullptr, kRegion + kHugePage, PROT_READ | PROT_WRITE,
                     MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) return;
    const uintptr_t start = reinterpret_cast<uintptr_t>(raw);
    const uintptr_t aligned = (start + kHugePage - 1) & ~(kHugePage - 1);
    if (aligned > start) munmap(raw, aligned - start);
    const uintptr_t end = start + kRegion + kHugePage;
    if (end > aligned + kRegion) munmap(reinterpret_cast<void*>(aligned + kRegion),
                                        end - (aligned + kRegion));
    base = reinterpret_cast<char*>(aligned);
    // Only advice: without huge pages the region is ordinary memory.
    madvise(base, kRegion, MADV_HUGEPAGE);
#endif
  }
  bool Holds(const void* p) const {
    return base && p >= base && static_cast<const char*>(p) < base + kRegion;
  }
};

Region& TheRegion() {
  static Region region;
  return region;
}

size_t Rounded(size_t bytes) { return (bytes + 63) & ~size_t{63}; }
#endif

}  // namespace

void* AllocateBig(size_t bytes) {
#if NOMVEX_HUGE_REGION
  Region& r = TheRegion();
  {
    std::lock_guard<std::mutex> hold(r.lock);
    if (!r.tried) r.Reserve();
    if (r.base && Rounded(bytes) <= kRegion - r.used) {
      void* p = r.base + r.used;
      r.used += Rounded(bytes);
      return p;
    }
  }
#endif
  return ::operator new(bytes);
}

void FreeBig(void* block, size_t bytes) {
#if NOMVEX_HUGE_REGION
  Region& r = TheRegion();
  std::lock_guard<std::mutex> hold(r.lock);
  if (r.Holds(block)) {
    if (static_cast<char*>(block) + Rounded(bytes) == r.base + r.used)
      r.used -= Rounded(bytes);
    return;
  }
#endif
  (void)bytes;
  ::operator delete(block);
}

}  // namespace nomvex::platform
