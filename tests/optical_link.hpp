#pragma once

// Two fake hosts joined the way the optical link joins two real ones: board k
// of one host faces board k of the other, NT port n to NT port n. A peer read
// or write through GPU n's window reaches the peer's GPU n only when
//  - the window is the one this host's driver was told for that GPU,
//  - the peer's switch translates its port n into that GPU's memory (the
//    registers that the peer's own configuration stored),
//  - both ports' links are up, and
//  - the hosts hold different node ids.
// Otherwise the ping leaves every word as it was.

#include "fake_host.hpp"

namespace bench {

class OpticalLink {
public:
    OpticalLink(FakeHost& first, FakeHost& second);
    ~OpticalLink();
    OpticalLink(const OpticalLink&) = delete;
    OpticalLink& operator=(const OpticalLink&) = delete;

private:
    struct Gpu {
        std::size_t board;
        int index; // GPU n, behind NT port n
    };

    void ping(FakeHost& local, FakeHost& peer, const std::string& gpu, char direction,
              uint64_t window) const;
    static std::optional<Gpu> find_gpu(const FakeHost& host, const std::string& bdf);
    static bool translates_to_gpu(const FakeHost& host, const Gpu& gpu);
    static bool link_up(const FakeHost& host, const Gpu& gpu);

    FakeHost& first_;
    FakeHost& second_;
};

} // namespace bench
