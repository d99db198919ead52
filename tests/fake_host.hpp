#pragma once

// The test bench: a host with KA720 boards that is not there. It builds a fake
// /sys/bus/pci tree that the real lspci and setpci read, runs the real,
// unmodified ka720-optical as root inside a private mount namespace where that
// tree covers /sys/bus/pci and private tmpfs cover /usr/local and /dev, and
// hands back what the run printed, its exit status and the files it wrote.
// The driver's itr_debug attributes are served by a SimulatedDriver.

#include "simulated_driver.hpp"

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace bench {

using namespace std::chrono_literals;

inline constexpr uint64_t region_32g = 32ull << 30;
inline constexpr uint64_t switch_window_bytes = 256 * 1024;
inline constexpr uint32_t link_up_x4 = 0x430000;
inline constexpr uint32_t link_up_x8 = 0x830000;
inline constexpr uint32_t link_down = 0x20420000; // trained at 5 GT/s, link active: not up

struct Bar {
    int index;
    uint64_t address;
    uint64_t size;
};

// One PCI function as sysfs shows it.
struct FakeFunction {
    std::string bdf;                                // the directory's name
    std::optional<std::string> vendor = "0x8086\n"; // file text; no file when empty
    std::optional<std::string> device = "0x1521\n";
    uint32_t class_code = 0x020000;
    int port_type = 0;   // PCI Express Device/Port Type; -1: no PCIe capability
    bool bridge = false; // configuration header type 1
    uint16_t command = 0x0406; // memory space and bus master on, INTx off
    std::vector<Bar> bars;
};

// How a GPU's itr_debug attribute behaves: served by the simulated driver,
// refusing every write, a plain file holding the last command, or absent (a
// write to it fails, as in sysfs).
enum class CommandPort { simulated, rejecting, regular_file, missing };

// One board: two GPUs, the switch's upstream port and its two NT ports.
struct BoardSpec {
    std::string gpu0, gpu1, switch_port, port0, port1;
    uint64_t gpu0_bar0, gpu1_bar0, port0_bar2, port1_bar2;
    // The driver's "minor" text; no value: the GPU is not bound to the driver.
    std::optional<std::string> gpu0_minor, gpu1_minor;
    uint32_t port0_link = link_up_x4; // the word at 0x3F078
    uint32_t port1_link = link_up_x8; // the word at 0x3D078
    uint64_t switch_window_size = switch_window_bytes;
    uint64_t gpu_memory_size = region_32g;
    CommandPort command_port = CommandPort::simulated;
};

// Board `index` of a conventional host: its own buses, addresses and minors
// (2 * index and 2 * index + 1), both links up.
BoardSpec board_spec(int index);

// An unrelated function: a network card at the given BDF.
FakeFunction network_card(const std::string& bdf);

// What one run left behind.
struct RunResult {
    int status = -1;
    std::string out;
    std::string err;
    std::map<std::string, std::string> usr_local; // files under /usr/local, by relative path

    std::optional<std::string> node_file() const;
};

struct RunOptions {
    // What runs: ka720-optical (KA720_TOOL), or ka720-optical-status (KA720_STATUS_TOOL).
    std::string program = KA720_TOOL;
    bool as_root = true;
    bool read_only_tree = false;      // the fake /sys/bus/pci mounted read-only
    std::string path;                 // PATH for the tool; empty: the usual one
    std::vector<std::string> wrapper; // a program the tool runs under, such as valgrind
};

// Runs as root, or as the unprivileged user 65534 when `root` is false.
inline RunOptions as_user(bool root)
{
    RunOptions options;
    options.as_root = root;
    return options;
}

enum class DevEntry { device_node, directory, symlink };

class FakeHost;

// A run that is still going, such as the daemon.
class RunningTool {
public:
    // `command`: the program and its arguments.
    RunningTool(FakeHost& host, const std::vector<std::string>& command, const RunOptions& options);
    ~RunningTool();
    RunningTool(const RunningTool&) = delete;
    RunningTool& operator=(const RunningTool&) = delete;

    pid_t pid() const { return tool_pid_; }
    std::string out() const;
    std::string err() const;
    bool running() const;
    bool watching_dev() const; // an inotify watch is in place
    // Blocked reading its inotify descriptor: whatever a pass started is over.
    bool waiting_for_events() const;

    // Stops the tool (and waits until it has stopped) and lets it go on.
    void pause() const;
    void resume() const;

    // Entries made and removed in the /dev that the tool sees.
    void create_in_dev(const std::string& name, DevEntry kind = DevEntry::device_node) const;
    void remove_from_dev(const std::string& name) const;
    std::string dev_path(const std::string& name) const;

    RunResult wait();
    RunResult terminate(int signal);

    // Processes still in the run's mount namespace (after it ended: none).
    std::vector<pid_t> processes_left() const;

private:
    void read_into(int fd, std::string& text);

    FakeHost& host_;
    pid_t launcher_ = -1;
    pid_t tool_pid_ = -1;
    std::string mount_namespace_;
    mutable std::mutex mutex_;
    std::string out_, err_;
    std::thread out_reader_, err_reader_;
    std::optional<RunResult> result_;
};

class FakeHost {
public:
    FakeHost();
    ~FakeHost();
    FakeHost(const FakeHost&) = delete;
    FakeHost& operator=(const FakeHost&) = delete;

    void add_function(const FakeFunction& function);
    void add_board(const BoardSpec& board);
    void add_boards(int count);
    // `count` network cards in PCI domain `domain`, unrelated to any board.
    void add_unrelated_functions(int count, int domain);
    void set_node_file(const std::string& text);
    // Makes drivers/norvane/<gpu> a directory of its own (not a link to the
    // device's) whose itr_debug is a plain file, so that commands sent through
    // the driver's path and through the device's path land apart.
    void separate_driver_path(const std::string& gpu);
    void remove_driver_directory();

    // A directory of the usual commands, without the ones named, for PATH.
    std::string commands_without(const std::vector<std::string>& missing);

    // Runs ka720-optical with `arguments` on this host.
    RunResult run(const std::vector<std::string>& arguments, const RunOptions& options = {});
    std::unique_ptr<RunningTool> start(const std::vector<std::string>& arguments,
                                       const RunOptions& options = {});
    // Runs a shell command line on this host instead.
    RunResult run_shell(const std::string& command);

    const std::string& root() const { return root_; }
    std::string device_path(const std::string& bdf, const std::string& file = "") const;
    std::vector<uint8_t> read_bytes(const std::string& path) const;
    uint32_t switch_word(const std::string& switch_bdf, uint32_t offset) const;
    uint16_t command_register(const std::string& bdf) const;
    SimulatedDriver& driver() { return *driver_; }
    const std::vector<BoardSpec>& boards() const { return boards_; }
    std::vector<DriverCommand> driver_commands() const { return driver_->commands(); }

private:
    friend class RunningTool;
    void write_function(const FakeFunction& function);
    void bind_gpu(const std::string& bdf, const std::optional<std::string>& minor, CommandPort port);

    std::string root_;
    std::vector<BoardSpec> boards_;
    std::unique_ptr<SimulatedDriver> driver_;
};

// Polls `condition` until it holds or `limit` has passed.
bool wait_until(const std::function<bool()>& condition, std::chrono::milliseconds limit = 20s);

// Enters a private mount namespace for the whole test process, so that the
// simulated driver's mounts are seen by no one else. Needs to happen before
// the process has a second thread; the first FakeHost does it.
void enter_private_mount_namespace();

} // namespace bench
