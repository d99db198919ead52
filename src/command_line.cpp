#include "command_line.hpp"

void add_options(CLI::App& app, Options& options)
{
    app.add_option("--set-node", options.host_node_id, "Set current host node id. (0 or 1)");
    app.add_flag("--daemon", options.daemon, "Run as daemon.");
    app.add_flag("--info", options.info, "Print ka720 board info.");
    app.add_flag("--print-reg", options.print_reg, "Print the value of registers for debug.");
    app.add_flag("--topo", options.topo, "Show link state topology.");
    app.add_option("--p2p-ping", options.p2p_ping,
                   "p2p-ping test.(p2p-read、p2p-write、reset-data、read-data)");
    app.set_help_flag("-h,--help", "Print this help message and exit.");
}
