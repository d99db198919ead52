#include "fake_host.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <tuple>

extern char** environ;

namespace fs = std::filesystem;

namespace bench {

namespace {

const char* const usual_path = "/usr/sbin:/usr/bin:/sbin:/bin";

[[noreturn]] void fail(const std::string& what)
{
    throw std::runtime_error(what + ": " + std::strerror(errno));
}

void write_text(const fs::path& path, const std::string& text)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << text;
    if (!file)
        throw std::runtime_error("cannot write " + path.string());
}

std::string read_text(const fs::path& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

void sized_file(const fs::path& path, uint64_t size)
{
    write_text(path, "");
    fs::resize_file(path, size);
}

void put16(std::vector<uint8_t>& bytes, std::size_t at, uint32_t value)
{
    bytes[at] = value & 0xff;
    bytes[at + 1] = (value >> 8) & 0xff;
}

void put32(std::vector<uint8_t>& bytes, std::size_t at, uint32_t value)
{
    put16(bytes, at, value & 0xffff);
    put16(bytes, at + 2, value >> 16);
}

uint16_t id_of(const std::optional<std::string>& word)
{
    try {
        return word ? static_cast<uint16_t>(std::stoul(*word, nullptr, 16)) : 0xffff;
    } catch (const std::exception&) {
        return 0xffff;
    }
}

// Configuration space as the kernel's "config" file gives it: the header, the
// 64-bit prefetchable BARs and, at 0x40, a PCI Express capability whose
// Device/Port Type is what `setpci CAP_EXP.l` reports in its third digit.
std::vector<uint8_t> config_space(const FakeFunction& function)
{
    std::vector<uint8_t> bytes(256, 0);
    put16(bytes, 0x00, id_of(function.vendor));
    put16(bytes, 0x02, id_of(function.device));
    put16(bytes, 0x04, function.command);
    put16(bytes, 0x06, function.port_type >= 0 ? 0x0010 : 0);
    bytes[0x09] = function.class_code & 0xff;
    bytes[0x0a] = (function.class_code >> 8) & 0xff;
    bytes[0x0b] = (function.class_code >> 16) & 0xff;
    bytes[0x0e] = function.bridge ? 1 : 0;
    for (const Bar& bar : function.bars) {
        put32(bytes, 0x10 + 4 * bar.index, static_cast<uint32_t>(bar.address) | 0xc);
        put32(bytes, 0x14 + 4 * bar.index, static_cast<uint32_t>(bar.address >> 32));
    }
    if (function.port_type >= 0) {
        bytes[0x34] = 0x40;
        bytes[0x40] = 0x10;
        put16(bytes, 0x42, 0x0002 | function.port_type << 4);
    }
    return bytes;
}

// The "resource" table: start, end and flags of each region.
std::string resource_table(const FakeFunction& function)
{
    constexpr uint64_t prefetchable_64bit_memory = 0x14220c;
    std::vector<std::string> lines(13, "0x0000000000000000 0x0000000000000000 0x0000000000000000\n");
    for (const Bar& bar : function.bars) {
        char line[80];
        std::snprintf(line, sizeof line, "0x%016llx 0x%016llx 0x%016llx\n",
                      static_cast<unsigned long long>(bar.address),
                      static_cast<unsigned long long>(bar.address + bar.size - 1),
                      static_cast<unsigned long long>(prefetchable_64bit_memory));
        lines[bar.index] = line;
    }
    std::string table;
    for (const std::string& line : lines)
        table += line;
    return table;
}

std::string hex_bdf(int domain, int bus, int device, int function)
{
    char text[16];
    std::snprintf(text, sizeof text, "%04x:%02x:%02x.%x", domain, bus, device, function);
    return text;
}

// lspci warns on every run when the running kernel has no module directory,
// as on the machines these tests run on; that says nothing about the tool.
std::string without_machine_noise(const std::string& text)
{
    std::istringstream lines(text);
    std::string kept;
    for (std::string line; std::getline(lines, line);) {
        if (line != "lspci: Unable to load libkmod resources: error -2")
            kept += line + "\n";
    }
    if (!text.empty() && text.back() != '\n' && !kept.empty())
        kept.pop_back();
    return kept;
}

void make_pipe(int fds[2])
{
    if (::pipe2(fds, O_CLOEXEC) != 0)
        fail("pipe");
}

} // namespace

BoardSpec board_spec(int index)
{
    // Fifteen boards to a domain, sixteen buses to a board.
    const int domain = index / 15;
    const int bus = 0x10 * (index % 15 + 1);
    const uint64_t base = 0x20000000000ull + static_cast<uint64_t>(index) * 0x2000000000ull;
    BoardSpec board;
    board.gpu0 = hex_bdf(domain, bus + 1, 0, 0);
    board.gpu1 = hex_bdf(domain, bus + 2, 0, 0);
    board.switch_port = hex_bdf(domain, bus + 3, 0, 0);
    board.port0 = hex_bdf(domain, bus + 4, 0, 0);
    board.port1 = hex_bdf(domain, bus + 4, 0, 1);
    board.gpu0_bar0 = base;
    board.gpu1_bar0 = base + 0x800000000ull;
    board.port0_bar2 = base + 0x1000000000ull;
    board.port1_bar2 = base + 0x1800000000ull;
    board.gpu0_minor = std::to_string(2 * index) + "\n";
    board.gpu1_minor = std::to_string(2 * index + 1) + "\n";
    return board;
}

FakeFunction network_card(const std::string& bdf)
{
    FakeFunction card;
    card.bdf = bdf;
    card.bars = {{0, 0xfb000000, 0x100000}};
    return card;
}

std::optional<std::string> RunResult::node_file() const
{
    const auto found = usr_local.find("kz/etc/kz_node");
    if (found == usr_local.end())
        return std::nullopt;
    return found->second;
}

// --- the host --------------------------------------------------------------

FakeHost::FakeHost()
{
    // Once per test process, before the first thread: the simulated driver's
    // mount and everything below it stay private to this process.
    static const bool private_namespace = (enter_private_mount_namespace(), true);
    (void)private_namespace;
    char pattern[] = "/tmp/ka720-bench-XXXXXX";
    if (::mkdtemp(pattern) == nullptr)
        fail("mkdtemp");
    root_ = pattern;
    for (const char* directory : {"sys_bus_pci/devices", "sys_bus_pci/drivers/norvane", "usr_local",
                                  "usr_local_after", "driver"})
        fs::create_directories(root_ + "/" + directory);
    write_text(root_ + "/dev_null", "");
    driver_ = std::make_unique<SimulatedDriver>(
        root_ + "/driver", [this](const std::string& gpu) { return device_path(gpu, "resource0"); });
}

FakeHost::~FakeHost()
{
    driver_.reset();
    std::error_code ignored;
    fs::remove_all(root_, ignored);
}

std::string FakeHost::device_path(const std::string& bdf, const std::string& file) const
{
    const std::string directory = root_ + "/sys_bus_pci/devices/" + bdf;
    return file.empty() ? directory : directory + "/" + file;
}

void FakeHost::write_function(const FakeFunction& function)
{
    const fs::path directory = device_path(function.bdf);
    fs::create_directories(directory);
    if (function.vendor)
        write_text(directory / "vendor", *function.vendor);
    if (function.device)
        write_text(directory / "device", *function.device);
    char class_text[16];
    std::snprintf(class_text, sizeof class_text, "0x%06x\n", function.class_code);
    write_text(directory / "class", class_text);
    write_text(directory / "irq", "0\n");
    const std::vector<uint8_t> config = config_space(function);
    write_text(directory / "config", std::string(config.begin(), config.end()));
    write_text(directory / "resource", resource_table(function));
}

void FakeHost::add_function(const FakeFunction& function)
{
    write_function(function);
}

void FakeHost::bind_gpu(const std::string& bdf, const std::optional<std::string>& minor,
                        CommandPort port)
{
    if (!minor)
        return;
    write_text(device_path(bdf, "minor"), *minor);
    const fs::path attribute = device_path(bdf, "itr_debug");
    if (port == CommandPort::regular_file) {
        write_text(attribute, "");
    } else {
        if (port != CommandPort::missing)
            driver_->add_gpu(bdf, port == CommandPort::rejecting);
        fs::create_symlink(driver_->command_file(bdf), attribute);
    }
    fs::create_directory_symlink("../../devices/" + bdf,
                                 root_ + "/sys_bus_pci/drivers/norvane/" + bdf);
}

void FakeHost::add_board(const BoardSpec& board)
{
    boards_.push_back(board);
    FakeFunction gpu;
    gpu.vendor = "0x2b7c\n";
    gpu.class_code = 0x030200;
    for (const auto& [bdf, device, bar] : {std::tuple{board.gpu0, "0x0029\n", board.gpu0_bar0},
                                           std::tuple{board.gpu1, "0x0021\n", board.gpu1_bar0}}) {
        gpu.bdf = bdf;
        gpu.device = device;
        gpu.bars = {{0, bar, region_32g}};
        write_function(gpu);
        sized_file(device_path(bdf, "resource0"), board.gpu_memory_size);
    }
    bind_gpu(board.gpu0, board.gpu0_minor, board.command_port);
    bind_gpu(board.gpu1, board.gpu1_minor, board.command_port);

    FakeFunction upstream;
    upstream.bdf = board.switch_port;
    upstream.vendor = "0x10b5\n";
    upstream.device = "0x8725\n";
    upstream.class_code = 0x060400;
    upstream.bridge = true;
    upstream.port_type = 5;
    upstream.bars = {{0, 0xf0000000, switch_window_bytes}};
    write_function(upstream);
    const std::string window = device_path(board.switch_port, "resource0");
    sized_file(window, board.switch_window_size);
    if (board.switch_window_size >= 0x40000) {
        std::fstream file(window, std::ios::in | std::ios::out | std::ios::binary);
        for (const auto& [offset, word] : {std::pair{0x3F078, board.port0_link},
                                           std::pair{0x3D078, board.port1_link}}) {
            file.seekp(offset);
            file.write(reinterpret_cast<const char*>(&word), sizeof word);
        }
    }

    FakeFunction nt_port;
    nt_port.vendor = "0x10b5\n";
    nt_port.class_code = 0x068000;
    nt_port.command = 0x0400; // left to the tool to enable
    for (const auto& [bdf, device, bar] : {std::tuple{board.port0, "0x87b0\n", board.port0_bar2},
                                           std::tuple{board.port1, "0x87b1\n", board.port1_bar2}}) {
        nt_port.bdf = bdf;
        nt_port.device = device;
        nt_port.bars = {{2, bar, region_32g}};
        write_function(nt_port);
    }
}

void FakeHost::add_boards(int count)
{
    for (int index = 0; index < count; ++index)
        add_board(board_spec(index));
}

void FakeHost::add_unrelated_functions(int count, int domain)
{
    for (int index = 0; index < count; ++index)
        add_function(network_card(hex_bdf(domain, index / 32 % 256, index % 32, 0)));
}

void FakeHost::set_node_file(const std::string& text)
{
    fs::create_directories(root_ + "/usr_local/kz/etc");
    write_text(root_ + "/usr_local/kz/etc/kz_node", text);
}

void FakeHost::separate_driver_path(const std::string& gpu)
{
    const fs::path view = root_ + "/sys_bus_pci/drivers/norvane/" + gpu;
    fs::remove(view);
    fs::create_directory(view);
    fs::copy_file(device_path(gpu, "minor"), view / "minor");
    write_text(view / "itr_debug", "");
}

void FakeHost::remove_driver_directory()
{
    fs::remove_all(root_ + "/sys_bus_pci/drivers/norvane");
}

std::string FakeHost::commands_without(const std::vector<std::string>& missing)
{
    std::string directory = root_ + "/commands";
    for (const std::string& name : missing)
        directory += "-" + name;
    fs::create_directories(directory);
    for (const char* name : {"lspci", "setpci", "grep", "awk", "cat", "mkdir"}) {
        if (std::find(missing.begin(), missing.end(), name) != missing.end())
            continue;
        for (const char* bin : {"/usr/bin/", "/bin/", "/usr/sbin/", "/sbin/"}) {
            const fs::path target = std::string(bin) + name;
            if (fs::exists(target) && !fs::exists(directory + "/" + name)) {
                fs::create_symlink(fs::canonical(target), directory + "/" + name);
                break;
            }
        }
    }
    return directory;
}

std::vector<uint8_t> FakeHost::read_bytes(const std::string& path) const
{
    const std::string text = read_text(path);
    return {text.begin(), text.end()};
}

uint32_t FakeHost::switch_word(const std::string& switch_bdf, uint32_t offset) const
{
    uint32_t word = 0;
    std::ifstream file(device_path(switch_bdf, "resource0"), std::ios::binary);
    file.seekg(offset);
    file.read(reinterpret_cast<char*>(&word), sizeof word);
    return word;
}

uint16_t FakeHost::command_register(const std::string& bdf) const
{
    const std::vector<uint8_t> config = read_bytes(device_path(bdf, "config"));
    return static_cast<uint16_t>(config.at(4) | config.at(5) << 8);
}

namespace {

std::vector<std::string> tool_command(const std::vector<std::string>& arguments,
                                      const RunOptions& options)
{
    std::vector<std::string> command = options.wrapper;
    command.push_back(options.program);
    command.insert(command.end(), arguments.begin(), arguments.end());
    return command;
}

} // namespace

RunResult FakeHost::run(const std::vector<std::string>& arguments, const RunOptions& options)
{
    return RunningTool(*this, tool_command(arguments, options), options).wait();
}

std::unique_ptr<RunningTool> FakeHost::start(const std::vector<std::string>& arguments,
                                             const RunOptions& options)
{
    return std::make_unique<RunningTool>(*this, tool_command(arguments, options), options);
}

RunResult FakeHost::run_shell(const std::string& command)
{
    return RunningTool(*this, {"/bin/sh", "-c", command}, {}).wait();
}

// --- one run ---------------------------------------------------------------

RunningTool::RunningTool(FakeHost& host, const std::vector<std::string>& command,
                         const RunOptions& options)
    : host_(host)
{
    const std::string pid_file = host.root_ + "/tool.pid";
    fs::remove(pid_file);
    fs::remove_all(host.root_ + "/usr_local_after");
    fs::create_directories(host.root_ + "/usr_local_after");

    std::vector<std::string> words = {"unshare", "-m", "--propagation", "private", "sh",
                                      KA720_BENCH_SCRIPT, host.root_,
                                      options.as_root ? "root" : "nobody"};
    words.insert(words.end(), command.begin(), command.end());
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);

    std::vector<std::string> environment = {std::string("PATH=") + usual_path};
    if (!options.path.empty())
        environment.push_back("BENCH_TOOL_PATH=" + options.path);
    if (options.read_only_tree)
        environment.push_back("BENCH_READ_ONLY_TREE=1");
    std::vector<char*> envp;
    for (std::string& variable : environment)
        envp.push_back(variable.data());
    envp.push_back(nullptr);

    int out[2];
    int err[2];
    make_pipe(out);
    make_pipe(err);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    const int spawned = posix_spawn(&launcher_, "/usr/bin/unshare", &actions, nullptr, argv.data(),
                                     envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    ::close(err[1]);
    if (spawned != 0) {
        ::close(out[0]);
        ::close(err[0]);
        errno = spawned;
        fail("cannot start unshare");
    }
    out_reader_ = std::thread([this, fd = out[0]] { read_into(fd, out_); });
    err_reader_ = std::thread([this, fd = err[0]] { read_into(fd, err_); });

    // The launcher records the tool's process id once the namespace is set up.
    if (!wait_until([&] {
            const std::string text = read_text(pid_file);
            if (text.empty() || text.back() != '\n')
                return !running();
            tool_pid_ = std::stoi(text);
            std::error_code error;
            mount_namespace_ = fs::read_symlink("/proc/" + text.substr(0, text.size() - 1) + "/ns/mnt",
                                                error).string();
            return true;
        }))
        throw std::runtime_error("the bench launcher did not start the tool");
}

RunningTool::~RunningTool()
{
    if (!result_) {
        if (running())
            ::kill(tool_pid_ > 0 ? tool_pid_ : launcher_, SIGKILL);
        wait();
    }
}

void RunningTool::read_into(int fd, std::string& text)
{
    char buffer[4096];
    for (;;) {
        const ssize_t length = ::read(fd, buffer, sizeof buffer);
        if (length < 0 && errno == EINTR)
            continue;
        if (length <= 0)
            break;
        const std::lock_guard lock(mutex_);
        text.append(buffer, static_cast<std::size_t>(length));
    }
    ::close(fd);
}

std::string RunningTool::out() const
{
    const std::lock_guard lock(mutex_);
    return out_;
}

std::string RunningTool::err() const
{
    const std::lock_guard lock(mutex_);
    return without_machine_noise(err_);
}

bool RunningTool::running() const
{
    if (result_)
        return false;
    siginfo_t info{};
    return ::waitid(P_PID, static_cast<id_t>(launcher_), &info, WEXITED | WNOHANG | WNOWAIT) == 0
           && info.si_pid == 0;
}

namespace {

// The descriptor of the process's inotify instance, or -1.
int inotify_descriptor(pid_t pid)
{
    std::error_code error;
    for (const auto& entry :
         fs::directory_iterator("/proc/" + std::to_string(pid) + "/fdinfo", error)) {
        if (read_text(entry.path()).find("inotify wd:") != std::string::npos)
            return std::stoi(entry.path().filename());
    }
    return -1;
}

} // namespace

bool RunningTool::watching_dev() const
{
    return inotify_descriptor(tool_pid_) >= 0;
}

bool RunningTool::waiting_for_events() const
{
    const int inotify = inotify_descriptor(tool_pid_);
    std::istringstream call(read_text("/proc/" + std::to_string(tool_pid_) + "/syscall"));
    long number = -1;
    std::string first_argument;
    call >> number >> first_argument;
    return inotify >= 0 && number == SYS_read && !first_argument.empty()
           && std::stol(first_argument, nullptr, 16) == inotify;
}

void RunningTool::pause() const
{
    ::kill(tool_pid_, SIGSTOP);
    const std::string stat = "/proc/" + std::to_string(tool_pid_) + "/stat";
    if (!wait_until([&] {
            const std::string text = read_text(stat);
            const std::size_t end = text.rfind(')');
            return end != std::string::npos && end + 2 < text.size() && text[end + 2] == 'T';
        }))
        throw std::runtime_error("the tool did not stop");
}

void RunningTool::resume() const
{
    ::kill(tool_pid_, SIGCONT);
}

std::string RunningTool::dev_path(const std::string& name) const
{
    return "/proc/" + std::to_string(tool_pid_) + "/root/dev/" + name;
}

void RunningTool::create_in_dev(const std::string& name, DevEntry kind) const
{
    const std::string path = dev_path(name);
    int made = 0;
    switch (kind) {
    case DevEntry::device_node:
        made = ::mknod(path.c_str(), S_IFCHR | 0600, makedev(1, 3));
        break;
    case DevEntry::directory:
        made = ::mkdir(path.c_str(), 0755);
        break;
    case DevEntry::symlink:
        made = ::symlink("null", path.c_str());
        break;
    }
    if (made != 0)
        fail("cannot create " + path);
}

void RunningTool::remove_from_dev(const std::string& name) const
{
    const std::string path = dev_path(name);
    if (::remove(path.c_str()) != 0)
        fail("cannot remove " + path);
}

RunResult RunningTool::wait()
{
    if (result_)
        return *result_;
    int status = 0;
    while (::waitpid(launcher_, &status, 0) < 0 && errno == EINTR) {
    }
    out_reader_.join();
    err_reader_.join();
    RunResult result;
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.out = out_;
    result.err = without_machine_noise(err_);
    // What the run left in /usr/local is what the next run on this host finds.
    const fs::path after = host_.root_ + "/usr_local_after";
    const fs::path kept = host_.root_ + "/usr_local";
    fs::remove_all(kept);
    fs::create_directories(kept);
    fs::copy(after, kept, fs::copy_options::recursive | fs::copy_options::copy_symlinks);
    for (const auto& entry : fs::recursive_directory_iterator(after)) {
        if (entry.is_regular_file())
            result.usr_local[fs::relative(entry.path(), after).string()] = read_text(entry.path());
    }
    result_ = result;
    return result;
}

RunResult RunningTool::terminate(int signal)
{
    if (!result_ && tool_pid_ > 0)
        ::kill(tool_pid_, signal);
    return wait();
}

std::vector<pid_t> RunningTool::processes_left() const
{
    std::vector<pid_t> left;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator("/proc", error)) {
        const std::string name = entry.path().filename();
        if (name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        std::error_code gone;
        const fs::path link = fs::read_symlink(entry.path() / "ns/mnt", gone);
        if (!gone && link.string() == mount_namespace_)
            left.push_back(std::stoi(name));
    }
    return left;
}

// --- helpers ---------------------------------------------------------------

bool wait_until(const std::function<bool()>& condition, std::chrono::milliseconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

void enter_private_mount_namespace()
{
    if (::unshare(CLONE_NEWNS) != 0)
        fail("the bench needs root to make a mount namespace (unshare)");
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        fail("cannot make the bench's mounts private");
}

} // namespace bench
