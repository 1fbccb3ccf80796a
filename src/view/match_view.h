// The client's smoothed view of the match: the snapshots it received with their send and
// arrival times, and the ships and bullets drawn from them at a playout time behind the
// newest, with a delay that follows the jitter the link has shown over the last seconds.
#pragma once

#include <cstdint>

#include "base/ring.h"
#include "duel/match.h"

namespace netduel {

inline constexpr int VIEW_SNAPSHOTS = 32;              // about a second at 30 snapshots/s
inline constexpr double VIEW_INTERVAL_START = 1.0 / 30; // s: a 60 Hz host sends every other frame
inline constexpr double VIEW_EXTRAPOLATE_MAX = 0.1;    // s past the newest snapshot, then hold
inline constexpr double VIEW_RESYNC = 2.0;             // s: a stamp this far off starts the ring afresh
inline constexpr int VIEW_LATE_SECONDS = 8;            // s of the host's the link's lateness is taken over

struct ViewEntry {
    MatchState match;
    double sent = 0.0;     // s, host's clock (or arrival time when the host does not stamp)
    double arrived = 0.0;  // s, this copy's clock
};

// The least and most lateness (arrived − sent, s) of the snapshots one second of the host's sent.
struct LateSecond {
    double second = 0.0;  // the host's whole second
    double least = 0.0;
    double most = 0.0;
};

struct MatchView {
    bool smoothing = true;                 // false: draw the newest snapshot as it came
    Ring<ViewEntry, VIEW_SNAPSHOTS> entries;  // the snapshots taken lately
    Ring<LateSecond, VIEW_LATE_SECONDS> late;  // the last seconds' lateness
    double offset = 0.0;                   // s: least (arrived − sent) seen lately
    double interval = VIEW_INTERVAL_START; // s between snapshots, smoothed
    double jitter = 0.0;                   // s: spread of (arrived − sent − offset) lately
    double calmSince = 0.0;                // s: since then the delay wanted has been below it
    bool drawing = false;                  // a frame was drawn from these snapshots
    double delay = 0.0;                    // s: playout delay in use, behind the newest send
    double lastFrame = 0.0;                // s, the time matchViewAt last drew for
    double frame = 0.0;                    // s between this copy's frames, smoothed (0: none drawn)
    double playout = 0.0;                  // s, host's clock: the moment the last frame drew
    std::uint32_t lastStamp = 0;           // for unwrapping the 32-bit millisecond stamp
    double stampBase = 0.0;
    int received = 0;                      // snapshots taken, ever
    double expected = 0.0;                 // snapshots the host sent lately, by the gaps
    double lost = 0.0;                     // of which never arrived
};

// Forgets every snapshot (as after a new connection); `smoothing` stays.
void matchViewReset(MatchView& view);

// Takes one snapshot's ships, parsed, with its send stamp (snapshotStampRead; 0: none),
// that arrived at `now` (s: the clock reading of the frame that took it, before that frame's
// matchViewAt). A stale or repeated one is dropped.
void matchViewReceive(MatchView& view, const MatchState& snapshot, std::uint32_t stamp, double now);

// The ships and bullets to draw at `now` (s), written into `out.ships`: interpolated at the
// playout time, flown on past the newest along the motion the snapshots show (across a
// lost or late one) at most VIEW_EXTRAPOLATE_MAX, then held; the hit flash of the snapshot
// the playout time has reached, so that it lights when the drawn bullet gets there, and
// the colours of the newest. Leaves `out` alone while nothing has arrived; with smoothing off, the newest
// snapshot's ships.
void matchViewAt(MatchView& view, double now, MatchState& out);

// The host stamp (ms of the host's clock) of the moment the last frame drew the match
// at, for the control words sent after it; 0 before a frame or while the host does not
// stamp its snapshots.
std::uint32_t matchViewPlayoutStamp(const MatchView& view);

// Snapshots that arrived within the second before `now` (s).
int matchViewPerSecond(const MatchView& view, double now);

// The share of the host's snapshots that were lost lately, 0…1, from the gaps between
// their send times.
double matchViewLoss(const MatchView& view);

}  // namespace netduel
