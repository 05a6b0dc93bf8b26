#pragma once
// Deterministic pseudo-random numbers for the simulator. SplitMix64 is tiny
// and gives the same sequence on every machine and compiler, so a fleet
// built from one seed is the same fleet everywhere, and a fault that drops
// "30 % of the packets" drops the same packets on every run.

#include <cstddef>
#include <cstdint>

namespace kestrix::devsim {

class SplitMix64 {
public:
    explicit SplitMix64(uint64_t seed) : state_(seed) {}

    uint64_t Next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // Uniform in [0, n); 0 when n is 0.
    uint32_t Below(uint32_t n) { return n == 0 ? 0 : static_cast<uint32_t>(Next() % n); }
    // Uniform in [lo, hi].
    int Between(int lo, int hi) {
        return lo + static_cast<int>(Below(static_cast<uint32_t>(hi - lo + 1)));
    }
    // Uniform in [0, 1).
    double Unit() { return static_cast<double>(Next() >> 11) * (1.0 / 9007199254740992.0); }
    bool Chance(double p) { return p > 0.0 && Unit() < p; }
    template <class T, size_t N>
    const T& Pick(const T (&items)[N]) {
        return items[Below(static_cast<uint32_t>(N))];
    }

private:
    uint64_t state_;
};

// A seed for one stream (one device, one purpose) derived from the fleet
// seed, so that a device's attributes depend only on the seed and its index.
inline uint64_t StreamSeed(uint64_t seed, uint64_t stream, uint64_t purpose = 0) {
    SplitMix64 r(seed ^ (stream * 0xD1B54A32D192ED03ull) ^ (purpose * 0x8CB92BA72F3D8DD7ull));
    return r.Next();
}

}  // namespace kestrix::devsim
