#include "daemon.hpp"

#include "boards.hpp"
#include "configure_board.hpp"
#include "driver/host_node.hpp"
#include "inotify_records.hpp"
#include "util/unique_fd.hpp"

#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

namespace {

constexpr std::size_t event_buffer_size = 32768;

void report(const char* message)
{
    std::fputs(message, stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
}

void reconfigure(std::vector<KA720_Board>& boards)
{
    std::puts("Configuring...");
    for (KA720_Board& board : boards) {
        // A daemon started before the driver read no minors at start.
        refresh_gpu_minors(board);
        configure_board(board);
    }
    set_host_node_id();
}

} // namespace

bool ENV_Configured(const std::vector<KA720_Board>& boards)
{
    return std::all_of(boards.begin(), boards.end(),
                       [](const KA720_Board& board) { return board.configured; });
}

int run_daemon(std::vector<KA720_Board>& boards)
{
    // Whoever reads our output (a terminal, a pipe, the journal) sees each
    // line when it happens.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const UniqueFd inotify(inotify_init1(IN_CLOEXEC));
    if (!inotify.valid()) {
        report("Error initializing inotify");
        return -1;
    }
    if (inotify_add_watch(inotify.get(), "/dev", IN_CREATE | IN_DELETE) == -1) {
        report("Error adding watch to /dev directory");
        return -1;
    }
    alignas(inotify_event) static char events[event_buffer_size];
    for (;;) {
        const ssize_t length = ::read(inotify.get(), events, sizeof events);
        if (length == -1 && errno == EINTR)
            continue;
        if (length <= 0) {
            report("Error reading inotify events");
            return 0;
        }
        const std::size_t passes
            = count_reconfiguration_events(events, static_cast<std::size_t>(length));
        for (std::size_t pass = 0; pass < passes; ++pass) {
            if (!ENV_Configured(boards))
                reconfigure(boards);
        }
    }
}
