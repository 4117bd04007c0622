#pragma once

#include <array>
#include <atomic>
#include <cstddef>

// Hands items from one thread (a MIDI or audio thread) to another without a lock or an
// allocation: a ring of fixed size; an item that finds it full is dropped and counted.
namespace standin {

// A stroke as an input takes it: the moment on the monotonic clock, the MIDI key and velocity
// (-1 for a microphone) or the level in dBFS.
struct InputStroke {
    double monotonic = 0;
    int key = -1;
    int velocity = -1;
    double level = 0;
};

template <typename T, std::size_t N> class HandOverRing {
    static_assert((N & (N - 1)) == 0, "a power of two");

public:
    bool push(const T& item)
    {
        const std::size_t head = mHead.load(std::memory_order_relaxed);
        if (head - mTail.load(std::memory_order_acquire) >= N) {
            mDropped.fetch_add(1, std::memory_order_relaxed);
            return false;
        }
        mItems[head & (N - 1)] = item;
        mHead.store(head + 1, std::memory_order_release);
        return true;
    }

    bool pop(T& item)
    {
        const std::size_t tail = mTail.load(std::memory_order_relaxed);
        if (tail == mHead.load(std::memory_order_acquire))
            return false;
        item = mItems[tail & (N - 1)];
        mTail.store(tail + 1, std::memory_order_release);
        return true;
    }

    // As many of the items as there is room for; the rest are dropped and counted.
    std::size_t pushMany(const T* items, std::size_t count)
    {
        const std::size_t head = mHead.load(std::memory_order_relaxed);
        const std::size_t room = N - (head - mTail.load(std::memory_order_acquire));
        const std::size_t n = count < room ? count : room;
        for (std::size_t i = 0; i < n; ++i)
            mItems[(head + i) & (N - 1)] = items[i];
        mHead.store(head + n, std::memory_order_release);
        if (n < count)
            mDropped.fetch_add(count - n, std::memory_order_relaxed);
        return n;
    }

    std::size_t popMany(T* items, std::size_t count)
    {
        const std::size_t tail = mTail.load(std::memory_order_relaxed);
        const std::size_t have = mHead.load(std::memory_order_acquire) - tail;
        const std::size_t n = count < have ? count : have;
        for (std::size_t i = 0; i < n; ++i)
            items[i] = mItems[(tail + i) & (N - 1)];
        mTail.store(tail + n, std::memory_order_release);
        return n;
    }

    std::size_t size() const
    {
        return mHead.load(std::memory_order_acquire) - mTail.load(std::memory_order_acquire);
    }

    // Items dropped since the last call.
    std::size_t takeDropped() { return mDropped.exchange(0, std::memory_order_relaxed); }

private:
    std::array<T, N> mItems {};
    std::atomic<std::size_t> mHead { 0 };
    std::atomic<std::size_t> mTail { 0 };
    std::atomic<std::size_t> mDropped { 0 };
};

} // namespace standin
