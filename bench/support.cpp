#include "support.hpp"

#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <new>
#include <stdexcept>

namespace {

std::atomic<std::uint64_t> allocations{0};

void* counted_allocation(std::size_t size) {
  allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size == 0 ? 1 : size)) {
    return p;
  }
  throw std::bad_alloc{};
}

void* counted_aligned_allocation(std::size_t size, std::align_val_t alignment) {
  allocations.fetch_add(1, std::memory_order_relaxed);
  auto const align = static_cast<std::size_t>(alignment);
  // aligned_alloc wants a size that is a multiple of the alignment.
  std::size_t const rounded = (size + align - 1) / align * align;
  if (void* p = std::aligned_alloc(align, rounded == 0 ? align : rounded)) {
    return p;
  }
  throw std::bad_alloc{};
}

}  // namespace

// Counting replacements of the global allocation functions; they serve libVennic.so too.
void* operator new(std::size_t size) {
  return counted_allocation(size);
}
void* operator new[](std::size_t size) {
  return counted_allocation(size);
}
void* operator new(std::size_t size, std::nothrow_t const&) noexcept {
  try {
    return counted_allocation(size);
  } catch (...) {
    return nullptr;
  }
}
void* operator new[](std::size_t size, std::nothrow_t const&) noexcept {
  try {
    return counted_allocation(size);
  } catch (...) {
    return nullptr;
  }
}
void* operator new(std::size_t size, std::align_val_t alignment) {
  return counted_aligned_allocation(size, alignment);
}
void* operator new[](std::size_t size, std::align_val_t alignment) {
  return counted_aligned_allocation(size, alignment);
}

// The replacement pairs are malloc/free on purpose; GCC cannot tell them from a mismatch.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete[](void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
  std::free(p);
}
void operator delete(void* p, std::align_val_t) noexcept {
  std::free(p);
}
void operator delete[](void* p, std::align_val_t) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t, std::align_val_t) noexcept {
  std::free(p);
}
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept {
  std::free(p);
}
#pragma GCC diagnostic pop

namespace bench {

double thread_cpu_seconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

std::uint64_t allocation_count() {
  return allocations.load(std::memory_order_relaxed);
}

ByteSink::ByteSink() : fd_{memfd_create("vennic-bench-sink", MFD_CLOEXEC)} {
  if (fd_ < 0) {
    throw std::runtime_error("ByteSink: memfd_create failed");
  }
}

ByteSink::~ByteSink() {
  close(fd_);
}

void ByteSink::rewind() {
  lseek(fd_, 0, SEEK_SET);
}

std::size_t ByteSink::written() const {
  off_t const offset = lseek(fd_, 0, SEEK_CUR);
  return offset < 0 ? 0 : static_cast<std::size_t>(offset);
}

StdoutToSink::StdoutToSink(ByteSink const& sink) : saved_{dup(1)} {
  std::fflush(stdout);
  dup2(sink.fd(), 1);
}

StdoutToSink::~StdoutToSink() {
  std::fflush(stdout);
  dup2(saved_, 1);
  close(saved_);
}

}  // namespace bench
