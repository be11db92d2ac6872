// Measuring helpers shared by the benchmarks: per-thread CPU time, a count of heap
// allocations, and an output sink that counts the bytes written to it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace bench {

/// CPU time consumed by the calling thread, in seconds (user and system).
double thread_cpu_seconds();

/// Number of calls to the global operator new (every form) since the program started; the
/// bench binary replaces the allocation functions to count them.
std::uint64_t allocation_count();

/// A file descriptor on an anonymous in-memory file. Output written to it costs a write(2)
/// into the page cache, like a pipe would, but never blocks; rewinding before each frame
/// keeps its size at the largest frame and makes the position the frame's byte count.
class ByteSink {
 public:
  ByteSink();
  ~ByteSink();
  ByteSink(ByteSink const&) = delete;
  ByteSink& operator=(ByteSink const&) = delete;

  /// Next output goes to offset 0 again.
  void rewind();
  /// Bytes written since the last rewind (the descriptor's offset).
  std::size_t written() const;
  int fd() const { return fd_; }

 private:
  int fd_;
};

/// While alive, descriptor 1 (and so stdout, which the library writes through) is the sink;
/// stdout is flushed around both switches.
class StdoutToSink {
 public:
  explicit StdoutToSink(ByteSink const& sink);
  ~StdoutToSink();
  StdoutToSink(StdoutToSink const&) = delete;
  StdoutToSink& operator=(StdoutToSink const&) = delete;

 private:
  int saved_;
};

}  // namespace bench
