#include "simulated_driver.hpp"

#define FUSE_USE_VERSION 35
#include <fuse3/fuse.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <sstream>
#include <stdexcept>

namespace bench {

namespace {

constexpr off_t test_word_offset = 0x40000000;

SimulatedDriver& driver_of_request()
{
    return *static_cast<SimulatedDriver*>(fuse_get_context()->private_data);
}

// "/0000:3b:00.0" -> "0000:3b:00.0"
std::string gpu_of(const char* path)
{
    return path[0] == '/' ? std::string(path + 1) : std::string(path);
}

void* fs_init(fuse_conn_info*, fuse_config* config)
{
    config->direct_io = 1;
    config->entry_timeout = 0;
    config->attr_timeout = 0;
    config->negative_timeout = 0;
    return fuse_get_context()->private_data;
}

int fs_getattr(const char* path, struct stat* status, fuse_file_info*)
{
    std::memset(status, 0, sizeof *status);
    if (std::strcmp(path, "/") == 0) {
        status->st_mode = S_IFDIR | 0755;
        status->st_nlink = 2;
        return 0;
    }
    if (!driver_of_request().knows(gpu_of(path)))
        return -ENOENT;
    status->st_mode = S_IFREG | 0200;
    status->st_nlink = 1;
    return 0;
}

int fs_readdir(const char*, void* buffer, fuse_fill_dir_t fill, off_t, fuse_file_info*,
               fuse_readdir_flags)
{
    fill(buffer, ".", nullptr, 0, static_cast<fuse_fill_dir_flags>(0));
    fill(buffer, "..", nullptr, 0, static_cast<fuse_fill_dir_flags>(0));
    for (const std::string& gpu : driver_of_request().gpus())
        fill(buffer, gpu.c_str(), nullptr, 0, static_cast<fuse_fill_dir_flags>(0));
    return 0;
}

int fs_open(const char* path, fuse_file_info* file)
{
    if (driver_of_request().rejects(gpu_of(path)))
        return -EACCES;
    file->direct_io = 1;
    return 0;
}

// Like a sysfs directory, the driver's takes no new files.
int fs_create(const char*, mode_t, fuse_file_info*)
{
    return -EACCES;
}

int fs_truncate(const char*, off_t, fuse_file_info*)
{
    return 0;
}

int fs_read(const char*, char*, std::size_t, off_t, fuse_file_info*)
{
    return 0;
}

int fs_write(const char* path, const char* data, std::size_t size, off_t, fuse_file_info*)
{
    return driver_of_request().write_command(gpu_of(path), data, size);
}

fuse_operations operations()
{
    fuse_operations ops{};
    ops.init = fs_init;
    ops.getattr = fs_getattr;
    ops.readdir = fs_readdir;
    ops.open = fs_open;
    ops.create = fs_create;
    ops.truncate = fs_truncate;
    ops.read = fs_read;
    ops.write = fs_write;
    return ops;
}

} // namespace

std::ostream& operator<<(std::ostream& out, const DriverCommand& command)
{
    return out << command.gpu << " <- \"" << command.line << "\" (word " << std::hex
               << command.test_word << std::dec << ")";
}

SimulatedDriver::SimulatedDriver(std::string mountpoint,
                                 std::function<std::string(const std::string&)> gpu_memory)
    : mountpoint_(std::move(mountpoint)), gpu_memory_(std::move(gpu_memory))
{
    static const fuse_operations ops = operations();
    fuse_args arguments = FUSE_ARGS_INIT(0, nullptr);
    fuse_opt_add_arg(&arguments, "simulated-norvane");
    fuse_ = fuse_new(&arguments, &ops, sizeof ops, this);
    fuse_opt_free_args(&arguments);
    if (fuse_ == nullptr || fuse_mount(fuse_, mountpoint_.c_str()) != 0)
        throw std::runtime_error("cannot mount the simulated driver on " + mountpoint_
                                 + " (is /dev/fuse there, and are we root?)");
    loop_ = std::thread([this] { fuse_loop(fuse_); });
}

SimulatedDriver::~SimulatedDriver()
{
    fuse_exit(fuse_);
    fuse_unmount(fuse_);
    loop_.join();
    fuse_destroy(fuse_);
}

void SimulatedDriver::add_gpu(const std::string& bdf, bool rejecting)
{
    const std::lock_guard lock(mutex_);
    gpus_[bdf] = rejecting;
}

void SimulatedDriver::remove_gpu(const std::string& bdf)
{
    const std::lock_guard lock(mutex_);
    gpus_.erase(bdf);
}

std::string SimulatedDriver::command_file(const std::string& bdf) const
{
    return mountpoint_ + "/" + bdf;
}

std::vector<DriverCommand> SimulatedDriver::commands() const
{
    const std::lock_guard lock(mutex_);
    return commands_;
}

std::chrono::steady_clock::time_point SimulatedDriver::last_arrival() const
{
    const std::lock_guard lock(mutex_);
    return last_arrival_;
}

std::optional<int> SimulatedDriver::node() const
{
    const std::lock_guard lock(mutex_);
    return node_;
}

std::optional<uint64_t> SimulatedDriver::window(const std::string& gpu) const
{
    const std::lock_guard lock(mutex_);
    const auto found = windows_.find(gpu);
    if (found == windows_.end())
        return std::nullopt;
    return found->second;
}

bool SimulatedDriver::knows(const std::string& gpu) const
{
    const std::lock_guard lock(mutex_);
    return gpus_.count(gpu) != 0;
}

bool SimulatedDriver::rejects(const std::string& gpu) const
{
    const std::lock_guard lock(mutex_);
    const auto found = gpus_.find(gpu);
    return found != gpus_.end() && found->second;
}

std::vector<std::string> SimulatedDriver::gpus() const
{
    const std::lock_guard lock(mutex_);
    std::vector<std::string> names;
    for (const auto& [gpu, rejecting] : gpus_)
        names.push_back(gpu);
    return names;
}

uint32_t SimulatedDriver::test_word(const std::string& gpu) const
{
    uint32_t word = 0;
    const int file = ::open(gpu_memory_(gpu).c_str(), O_RDONLY | O_CLOEXEC);
    if (file >= 0) {
        if (::pread(file, &word, sizeof word, test_word_offset) != sizeof word)
            word = 0;
        ::close(file);
    }
    return word;
}

void SimulatedDriver::set_test_word(const std::string& gpu, uint32_t value) const
{
    const int file = ::open(gpu_memory_(gpu).c_str(), O_WRONLY | O_CLOEXEC);
    if (file < 0)
        throw std::runtime_error("no memory file for GPU " + gpu);
    const bool written = ::pwrite(file, &value, sizeof value, test_word_offset) == sizeof value;
    ::close(file);
    if (!written)
        throw std::runtime_error("cannot write the test word of GPU " + gpu);
}

void SimulatedDriver::set_ping_handler(PingHandler handler)
{
    const std::lock_guard lock(mutex_);
    ping_handler_ = std::move(handler);
}

uint32_t SimulatedDriver::peer_word(const std::string& gpu) const
{
    const std::lock_guard lock(mutex_);
    const auto found = peer_words_.find(gpu);
    return found == peer_words_.end() ? initial_peer_word : found->second;
}

void SimulatedDriver::default_ping(const std::string& gpu, char direction)
{
    if (direction == 'r') {
        set_test_word(gpu, peer_word(gpu));
    } else {
        const uint32_t local = test_word(gpu);
        const std::lock_guard lock(mutex_);
        peer_words_[gpu] = local;
    }
}

void SimulatedDriver::carry_out(const std::string& gpu, const std::string& line)
{
    std::istringstream words(line);
    std::string keyword;
    words >> keyword;
    if (keyword == "node") {
        int id = 0;
        if (words >> id) {
            const std::lock_guard lock(mutex_);
            node_ = id;
        }
    } else if (keyword == "pt_p2p_cfg") {
        std::string minor;
        uint64_t window = 0;
        if (words >> minor >> std::hex >> window) {
            const std::lock_guard lock(mutex_);
            windows_[gpu] = window;
        }
    } else if (keyword == "p2p_ping") {
        char direction = 0;
        uint64_t window = 0;
        if (words >> direction >> std::hex >> window) {
            PingHandler handler;
            {
                const std::lock_guard lock(mutex_);
                handler = ping_handler_;
            }
            if (handler)
                handler(gpu, direction, window);
            else
                default_ping(gpu, direction);
        }
    }
}

int SimulatedDriver::write_command(const std::string& gpu, const char* data, std::size_t size)
{
    std::istringstream lines(std::string(data, size));
    for (std::string line; std::getline(lines, line);) {
        {
            const std::lock_guard lock(mutex_);
            commands_.push_back({gpu, line, test_word(gpu)});
            last_arrival_ = std::chrono::steady_clock::now();
        }
        carry_out(gpu, line);
    }
    return static_cast<int>(size);
}

} // namespace bench
