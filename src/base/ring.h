// Fixed ring: the last N records pushed, a push over the oldest once full; age 0 is the newest.
#pragma once

namespace netduel {

template <typename T, int N>
struct Ring {
    static_assert(N > 0, "a ring holds at least one record");
    T items[N] = {};
    int count = 0;    // records held, at most N
    int newest = -1;  // index in `items` of the newest; -1 before the first push
};

// Forgets every record.
template <typename T, int N>
void ringClear(Ring<T, N>& ring)
{
    ring.count = 0;
    ring.newest = -1;
}

// The record `age` pushes older than the newest (0: the newest), for 0 ≤ age < count.
template <typename T, int N>
T& ringAt(Ring<T, N>& ring, int age)
{
    return ring.items[((ring.newest - age) % N + N) % N];
}

template <typename T, int N>
const T& ringAt(const Ring<T, N>& ring, int age)
{
    return ring.items[((ring.newest - age) % N + N) % N];
}

// Stores `item` as the newest, over the oldest when the ring is full; returns its place.
template <typename T, int N>
T& ringPush(Ring<T, N>& ring, const T& item)
{
    ring.newest = (ring.newest + 1) % N;
    ring.count = ring.count < N ? ring.count + 1 : N;
    return ring.items[ring.newest] = item;
}

// Takes the oldest record out into `out`; false, and `out` alone, when none is held.
template <typename T, int N>
bool ringPopOldest(Ring<T, N>& ring, T& out)
{
    if (ring.count == 0) return false;
    out = ringAt(ring, ring.count - 1);
    --ring.count;
    return true;
}

}  // namespace netduel
