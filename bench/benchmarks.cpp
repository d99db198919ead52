// What ka720-optical costs, measured on the test bench and printed as
// Markdown. Every figure is a ratio or a count from this one run:
//  - a one-shot --topo run against the outside commands it must spawn, run
//    alone (the tool's own overhead), for 1, 8 and 32 boards among 200
//    unrelated functions;
//  - the daemon's time from a new driver node to the last driver command of
//    its pass, against a one-shot configuration;
//  - the daemon's CPU while idle, and the tool's peak RSS (VmHWM).
// Needs root and strace (to learn which commands a run spawns).

#include "fake_host.hpp"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace {

using bench::FakeHost;
using Clock = std::chrono::steady_clock;

constexpr int unrelated_functions = 200;

void add_host(FakeHost& host, int boards)
{
    host.add_boards(boards);
    host.add_unrelated_functions(unrelated_functions, 2);
    host.set_node_file("0\n");
}

std::string in_namespace(FakeHost& host, const std::string& script)
{
    const bench::RunResult result = host.run_shell(script);
    if (result.status != 0)
        throw std::runtime_error("benchmark step failed: " + script + "\n" + result.err);
    return result.out;
}

std::string quoted(const std::string& text)
{
    std::string out = "'";
    for (const char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

std::string tool_line(const std::vector<std::string>& arguments)
{
    std::string line = KA720_TOOL;
    for (const std::string& argument : arguments)
        line += " " + quoted(argument);
    return line;
}

// The command lines that one run hands to /bin/sh, read from strace's log.
std::vector<std::string> spawned_commands(FakeHost& host, const std::vector<std::string>& arguments)
{
    const std::string trace = host.root() + "/trace";
    in_namespace(host, "strace -f -qq -s 65536 -e trace=execve -e signal=none -o " + trace + " "
                           + tool_line(arguments) + " >/dev/null 2>&1");
    std::ifstream log(trace);
    const std::string marker = "execve(\"/bin/sh\", [\"sh\", \"-c\", \"";
    std::vector<std::string> commands;
    for (std::string line; std::getline(log, line);) {
        std::size_t at = line.find(marker);
        if (at == std::string::npos)
            continue;
        std::string command;
        for (at += marker.size(); at < line.size() && line[at] != '"'; ++at) {
            if (line[at] == '\\' && at + 1 < line.size()) {
                ++at;
                command += line[at] == 'n' ? '\n' : line[at] == 't' ? '\t' : line[at];
            } else {
                command += line[at];
            }
        }
        commands.push_back(command);
    }
    return commands;
}

// Mean nanoseconds of `body`, run `runs` times in a loop inside the namespace.
double mean_ns(FakeHost& host, const std::string& body, int runs)
{
    const std::string script = "i=0; start=$(date +%s%N); while [ $i -lt " + std::to_string(runs)
                               + " ]; do " + body + "; i=$((i+1)); done; end=$(date +%s%N); "
                                 "echo $(( (end - start) / " + std::to_string(runs) + " ))";
    return std::stod(in_namespace(host, script));
}

struct OneShot {
    std::size_t commands;
    double tool_ms;
    double commands_ms;
};

OneShot one_shot(FakeHost& host, const std::vector<std::string>& arguments, int runs)
{
    const std::vector<std::string> commands = spawned_commands(host, arguments);
    const std::string list = host.root() + "/commands.txt";
    std::ofstream(list) << [&] {
        std::string text;
        for (const std::string& command : commands)
            text += command + "\n";
        return text;
    }();
    const double tool = mean_ns(host, tool_line(arguments) + " >/dev/null 2>&1", runs);
    const double alone = mean_ns(host,
                                 "while IFS= read -r c; do sh -c \"$c\" </dev/null >/dev/null 2>&1; "
                                 "done < " + list,
                                 runs);
    return {commands.size(), tool / 1e6, alone / 1e6};
}

long cpu_ticks(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    long utime = 0;
    long stime = 0;
    for (int index = 3; index <= 15 && fields >> field; ++index) {
        if (index == 14)
            utime = std::stol(field);
        if (index == 15)
            stime = std::stol(field);
    }
    return utime + stime;
}

std::string status_field(pid_t pid, const std::string& name)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind(name + ":", 0) == 0) {
            const std::size_t value = line.find_first_not_of(" \t", name.size() + 1);
            return line.substr(value);
        }
    }
    return "?";
}

std::string machine()
{
    std::ifstream cpuinfo("/proc/cpuinfo");
    std::string model = "unknown CPU";
    for (std::string line; std::getline(cpuinfo, line);) {
        if (line.rfind("model name", 0) == 0) {
            model = line.substr(line.find(':') + 2);
            break;
        }
    }
    return model + ", " + std::to_string(sysconf(_SC_NPROCESSORS_ONLN)) + " cores";
}

void one_shot_section()
{
    std::printf("## One-shot `--topo`, among %d unrelated functions\n\n", unrelated_functions);
    std::printf("| boards | commands spawned | run (ms) | its commands alone (ms) | ratio | ms per board |\n");
    std::printf("|---:|---:|---:|---:|---:|---:|\n");
    for (const int boards : {1, 8, 32}) {
        FakeHost host;
        add_host(host, boards);
        const OneShot figures = one_shot(host, {"--topo"}, boards >= 32 ? 3 : 10);
        std::printf("| %d | %zu | %.1f | %.1f | %.3f | %.1f |\n", boards, figures.commands,
                    figures.tool_ms, figures.commands_ms, figures.tool_ms / figures.commands_ms,
                    figures.tool_ms / boards);
        std::fflush(stdout);
    }
}

void daemon_section()
{
    std::printf("\n## Daemon\n\n");
    std::printf("| boards | node to last command (ms, median of 5) | one-shot configuration (ms) | ratio |"
                " idle CPU over 10 s (ticks) | VmHWM |\n");
    std::printf("|---:|---:|---:|---:|---:|---:|\n");
    for (const int boards : {1, 8}) {
        FakeHost host;
        add_host(host, boards);
        const double configuration_ms = one_shot(host, {}, 5).tool_ms;
        auto daemon = host.start({"--daemon"});
        if (!bench::wait_until([&] { return daemon->watching_dev(); }))
            throw std::runtime_error("the daemon did not start watching");
        std::vector<double> latencies;
        const std::size_t per_pass = 2 * static_cast<std::size_t>(boards) + 1;
        for (int pass = 1; pass <= 5; ++pass) {
            const std::size_t before = host.driver_commands().size();
            const auto created = Clock::now();
            daemon->create_in_dev("norvane" + std::to_string(pass));
            if (!bench::wait_until([&] { return host.driver_commands().size() >= before + per_pass; }))
                throw std::runtime_error("the daemon's pass did not finish");
            latencies.push_back(
                std::chrono::duration<double, std::milli>(host.driver().last_arrival() - created).count());
        }
        std::sort(latencies.begin(), latencies.end());
        const long ticks_before = cpu_ticks(daemon->pid());
        std::this_thread::sleep_for(std::chrono::seconds(10));
        const long idle_ticks = cpu_ticks(daemon->pid()) - ticks_before;
        const std::string peak = status_field(daemon->pid(), "VmHWM");
        daemon->terminate(SIGTERM);
        std::printf("| %d | %.1f | %.1f | %.3f | %ld | %s |\n", boards, latencies[2], configuration_ms,
                    latencies[2] / configuration_ms, idle_ticks, peak.c_str());
        std::fflush(stdout);
    }
}

void peak_rss_section()
{
    FakeHost host;
    add_host(host, 32);
    // Sampled while it runs: VmHWM only grows, and the run lasts seconds.
    auto run = host.start({"--info", "--print-reg", "--topo", "--p2p-ping", "reset-data"});
    long peak_kib = 0;
    while (run->running()) {
        const std::string value = status_field(run->pid(), "VmHWM");
        if (value != "?")
            peak_kib = std::max(peak_kib, std::stol(value));
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    run->wait();
    std::printf("\n## Peak RSS of a one-shot run\n\n");
    std::printf("32 boards, `--info --print-reg --topo --p2p-ping reset-data`: VmHWM %ld KiB "
                "(%.2f MiB; goal: under 8 MiB).\n",
                peak_kib, static_cast<double>(peak_kib) / 1024.0);
}

} // namespace

int main()
{
    try {
        std::printf("# ka720-optical benchmarks\n\nMachine: %s.\n\n", machine().c_str());
        one_shot_section();
        daemon_section();
        peak_rss_section();
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "ka720-benchmarks: %s\n", error.what());
        return 1;
    }
}
