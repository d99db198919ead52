// ka720-optical-status: the link state of every board for monitoring systems.
// Strictly read-only: no register store, no driver command, no file written.

#include "guarded_main.hpp"
#include "pci/scan.hpp"
#include "refusals.hpp"
#include "status/host_status.hpp"
#include "status/report_formats.hpp"

#include <CLI/CLI.hpp>

#include <unistd.h>

#include <cstdio>

namespace {

int run(int argc, char** argv)
{
    std::string format = isatty(STDOUT_FILENO) != 0 ? "table" : "json";
    CLI::App app{"Read-only KA720 optical link status for monitoring.", ""};
    app.add_option("--format", format,
                   "json (the default when standard output is not a terminal), prometheus or "
                   "table (the default on a terminal)")
        ->check(CLI::IsMember({"json", "prometheus", "table"}));
    app.set_help_flag("-h,--help", "Print this help message and exit.");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        return app.exit(error, std::cout, std::cerr);
    }

    auto refuse = [&](const std::string& message) {
        std::fprintf(stderr, "%s\n", message.c_str());
        if (format == "json")
            std::fputs(error_json(message).c_str(), stdout);
        return -1;
    };
    if (geteuid() != 0)
        return refuse(not_root_refusal);
    if (const std::optional<std::string> failure = init_pcie_kzdevice())
        return refuse(*failure);
    if (const char* refusal = board_count_refusal(ka720_device_bdf_set.size()))
        return refuse(refusal);

    const HostStatus status = read_host_status();
    const std::string report = format == "json"         ? status_json(status)
                               : format == "prometheus" ? status_prometheus(status)
                                                        : status_table(status);
    std::fputs(report.c_str(), stdout);
    return all_links_up(status) ? 0 : -128;
}

} // namespace

int main(int argc, char** argv)
{
    return guarded_main(run, argc, argv);
}
