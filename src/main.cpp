#include "boards.hpp"
#include "command_line.hpp"
#include "daemon.hpp"
#include "driver/host_node_file.hpp"
#include "guarded_main.hpp"
#include "pci/scan.hpp"
#include "refusals.hpp"
#include "run.hpp"

#include <unistd.h>

#include <cstdio>
#include <optional>

namespace {

// The id given with --set-node (0 or 1) is stored; otherwise the node file's.
std::optional<int> resolve_host_node_id(int requested)
{
    if (requested == 0 || requested == 1) {
        save_host_node_id(requested);
        return requested;
    }
    const NodeFileReading node_file = read_host_node_file();
    if (node_file.state != NodeFileState::valid) {
        std::puts("Please set current host node id. (0 or 1).");
        return std::nullopt;
    }
    return node_file.id;
}

int run(int argc, char** argv)
{
    Options options;
    CLI::App app{tool_description, ""};
    add_options(app, options);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        return app.exit(error, std::cout, std::cerr);
    }

    if (geteuid() != 0) {
        std::puts(not_root_refusal);
        return -1;
    }
    const std::optional<int> host_node_id = resolve_host_node_id(options.host_node_id);
    if (!host_node_id)
        return -1;

    if (const std::optional<std::string> failure = init_pcie_kzdevice()) {
        std::puts(failure->c_str());
        return -1;
    }
    if (const char* refusal = board_count_refusal(ka720_device_bdf_set.size())) {
        std::puts(refusal);
        return -1;
    }

    std::optional<std::vector<KA720_Board>> boards = assemble_boards();
    if (!boards)
        return -1;
    if (options.daemon)
        return run_daemon(*boards);
    return run_once(*boards, options, *host_node_id);
}

} // namespace

int main(int argc, char** argv)
{
    return guarded_main(run, argc, argv);
}
