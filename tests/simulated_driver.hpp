#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <ostream>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

struct fuse;

namespace bench {

// One line that the tool wrote into a GPU's itr_debug attribute.
struct DriverCommand {
    std::string gpu;    // the GPU whose attribute received it
    std::string line;   // without its line end
    uint32_t test_word; // the GPU's test word when the command arrived

    bool operator==(const DriverCommand&) const = default;
};

std::ostream& operator<<(std::ostream& out, const DriverCommand& command);

// What a peer read or write does; the default is a peer that is always there.
using PingHandler = std::function<void(const std::string& gpu, char direction, uint64_t window)>;

// The accelerator's driver as far as the tool can see it: one itr_debug file
// per GPU, served by a FUSE file system in this process, so that a command has
// been carried out when the shell that wrote it has ended, as with the real
// attribute. Every command is recorded in arrival order.
class SimulatedDriver {
public:
    // `mountpoint`: an empty directory; `gpu_memory` gives a GPU's resource0.
    SimulatedDriver(std::string mountpoint, std::function<std::string(const std::string&)> gpu_memory);
    ~SimulatedDriver();
    SimulatedDriver(const SimulatedDriver&) = delete;
    SimulatedDriver& operator=(const SimulatedDriver&) = delete;

    // A GPU bound to the driver; a rejecting one refuses every write.
    void add_gpu(const std::string& bdf, bool rejecting = false);
    // Its attribute is gone: writing to it fails, as in sysfs.
    void remove_gpu(const std::string& bdf);
    std::string command_file(const std::string& bdf) const;

    std::vector<DriverCommand> commands() const;
    std::chrono::steady_clock::time_point last_arrival() const;
    std::optional<int> node() const;                       // the last "node" command
    std::optional<uint64_t> window(const std::string& gpu) const; // the last "pt_p2p_cfg"

    uint32_t test_word(const std::string& gpu) const;
    void set_test_word(const std::string& gpu, uint32_t value) const;

    // The default handler stands for a peer whose word for each GPU starts as
    // `peer_word`: "r" copies it into the local word, "w" copies the local
    // word into it.
    void set_ping_handler(PingHandler handler);
    uint32_t peer_word(const std::string& gpu) const;

    // Called from the file system's thread.
    int write_command(const std::string& gpu, const char* data, std::size_t size);
    bool knows(const std::string& gpu) const;
    bool rejects(const std::string& gpu) const;
    std::vector<std::string> gpus() const;

    static constexpr uint32_t initial_peer_word = 0x5eed0001;

private:
    void carry_out(const std::string& gpu, const std::string& line);
    void default_ping(const std::string& gpu, char direction);

    std::string mountpoint_;
    std::function<std::string(const std::string&)> gpu_memory_;
    mutable std::mutex mutex_;
    std::map<std::string, bool> gpus_; // BDF -> rejecting
    std::vector<DriverCommand> commands_;
    std::chrono::steady_clock::time_point last_arrival_;
    std::optional<int> node_;
    std::map<std::string, uint64_t> windows_;
    std::map<std::string, uint32_t> peer_words_;
    PingHandler ping_handler_;
    struct fuse* fuse_ = nullptr;
    std::thread loop_;
};

} // namespace bench
