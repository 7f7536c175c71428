#pragma once
// The wait, shared by the serial port and the TCP socket, until the bytes a
// port was given have left it: the serial driver has put them on the line,
// or the printer at the other end of a connection has acknowledged them.
// Both ports only offer a count of the bytes still queued, so the wait looks
// at that count in growing pauses (never spinning) and gives up only when it
// has stopped going down: a slow line that keeps sending is waited for,
// however long the whole text takes; a stalled one is not.
#include <algorithm>
#include <cstdint>

namespace bilhetor::transport_detail {

// Longest pause between two looks at the queue.
constexpr int kDrainMaxPauseMs = 20;

// queued() gives the bytes still waiting to leave (0 or less: none, or the
// driver cannot tell); pause(ms) waits up to ms milliseconds; now() is the
// millisecond clock. Ends when nothing is queued, when the count has not
// gone down for stallMs milliseconds, or, with limitMs 0 or more, when
// limitMs milliseconds have passed in all. Returns what is still queued (0
// when everything has left).
template <class QueuedFn, class PauseFn, class NowFn>
int WaitUntilSent(int stallMs, int limitMs, QueuedFn&& queued, PauseFn&& pause, NowFn&& now) {
  stallMs = std::max(stallMs, 0);
  int left = std::max(queued(), 0);
  const int64_t start = now();
  const int64_t limit = limitMs < 0 ? INT64_MAX : start + limitMs;
  int64_t deadline = std::min(start + stallMs, limit);
  int step = 1;
  while (left > 0) {
    const int64_t t = now();
    if (t >= deadline) break;
    pause(static_cast<int>(std::min<int64_t>(step, deadline - t)));
    step = std::min(step * 2, kDrainMaxPauseMs);
    const int q = std::max(queued(), 0);
    if (q < left) deadline = std::min(now() + stallMs, limit);
    left = q;
  }
  return left;
}

}  // namespace bilhetor::transport_detail
