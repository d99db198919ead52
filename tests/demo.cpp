// Shows ka720-optical at work on simulated hosts: the real binary runs in a
// private mount namespace against a fake PCI tree and a simulated driver.
//
//   ka720-demo           two hosts joined by a simulated optical link
//   ka720-demo ARGS...   one run of ka720-optical with ARGS on a simulated
//                        two-board host, its output exactly as written
//   ka720-demo ka720-optical-status ARGS...   the same for the status program

#include "optical_link.hpp"

#include <cstdio>

namespace {

// Two boards; the optical link of board 1's port 1 is down.
void add_boards(bench::FakeHost& host)
{
    host.add_board(bench::board_spec(0));
    bench::BoardSpec second = bench::board_spec(1);
    second.port1_link = bench::link_down;
    host.add_board(second);
}

void show_run(bench::FakeHost& host, const char* host_name, const std::vector<std::string>& arguments)
{
    const std::size_t commands_before = host.driver_commands().size();
    std::string command_line = "ka720-optical";
    for (const std::string& argument : arguments)
        command_line += " " + argument;
    std::printf("\n%s# %s\n", host_name, command_line.c_str());
    const bench::RunResult result = host.run(arguments);
    std::fputs(result.out.c_str(), stdout);
    if (!result.err.empty())
        std::printf("[standard error]\n%s", result.err.c_str());
    std::printf("[exit status %d]\n", result.status);
    const auto commands = host.driver_commands();
    if (commands.size() > commands_before) {
        std::printf("[%s's simulated driver received]\n", host_name);
        for (std::size_t i = commands_before; i < commands.size(); ++i)
            std::printf("  %s <- %s\n", commands[i].gpu.c_str(), commands[i].line.c_str());
    }
}

int two_hosts()
{
    bench::FakeHost a;
    bench::FakeHost b;
    add_boards(a);
    add_boards(b);
    const bench::OpticalLink link(a, b);
    std::printf("Two simulated hosts, A and B, each with two KA720 boards, joined by a simulated\n"
                "optical link; the link of board 1's port 1 (GPU minor 3) is down.\n");

    std::printf("\n== Configure both hosts: A is node 0, B is node 1\n");
    show_run(a, "A", {"--set-node", "0", "--info", "--topo"});
    show_run(b, "B", {"--set-node", "1", "--print-reg"});

    std::printf("\n== A writes its pattern 2b7c0000 to B; B finds it in its GPUs' test words\n");
    show_run(a, "A", {"--p2p-ping", "p2p-write"});
    show_run(b, "B", {"--p2p-ping", "read-data"});

    std::printf("\n== B writes its pattern 2b7c1111 to A; A finds it too\n");
    show_run(b, "B", {"--p2p-ping", "p2p-write"});
    show_run(a, "A", {"--p2p-ping", "read-data"});

    std::printf("\nThe patterns crossed on every link that is up; GPU minor 3 kept its own word.\n");
    return 0;
}

int one_run(std::vector<std::string> arguments)
{
    bench::FakeHost host;
    add_boards(host);
    host.set_node_file("0\n");
    bench::RunOptions options;
    if (arguments.front() == "ka720-optical-status") {
        options.program = KA720_STATUS_TOOL;
        arguments.erase(arguments.begin());
    }
    const bench::RunResult result = host.run(arguments, options);
    std::fputs(result.out.c_str(), stdout);
    std::fputs(result.err.c_str(), stderr);
    return result.status;
}

} // namespace

int main(int argc, char** argv)
{
    try {
        if (argc > 1)
            return one_run(std::vector<std::string>(argv + 1, argv + argc));
        return two_hosts();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "ka720-demo: %s\n", error.what());
        return 1;
    }
}
