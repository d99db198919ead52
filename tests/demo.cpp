// Shows ka720-optical at work on simulated hosts: the real binary runs in a
// private mount namespace against a fake PCI tree and a simulated driver.

#include "fake_host.hpp"

#include <cstdio>

namespace {

std::string joined(const std::vector<std::string>& words)
{
    std::string text;
    for (const std::string& word : words)
        text += " " + word;
    return text;
}

void show_run(bench::FakeHost& host, const std::string& host_name,
              const std::vector<std::string>& arguments)
{
    const std::size_t commands_before = host.driver_commands().size();
    std::printf("\n%s# ka720-optical%s\n", host_name.c_str(), joined(arguments).c_str());
    const bench::RunResult result = host.run(arguments);
    std::fputs(result.out.c_str(), stdout);
    if (!result.err.empty())
        std::printf("[standard error]\n%s", result.err.c_str());
    std::printf("[exit status %d]\n", result.status);
    const auto commands = host.driver_commands();
    if (commands.size() > commands_before) {
        std::printf("[the simulated driver received]\n");
        for (std::size_t i = commands_before; i < commands.size(); ++i)
            std::printf("  %s <- %s\n", commands[i].gpu.c_str(), commands[i].line.c_str());
    }
}

} // namespace

int main()
{
    bench::FakeHost host;
    bench::BoardSpec second = bench::board_spec(1);
    second.port1_link = bench::link_down;
    host.add_board(bench::board_spec(0));
    host.add_board(second);
    std::printf("A simulated host with two KA720 boards; the second board's port 1 link is down.\n");
    show_run(host, "host", {"--set-node", "0", "--info", "--topo"});
    show_run(host, "host", {"--print-reg", "--p2p-ping", "reset-data"});
    return 0;
}
