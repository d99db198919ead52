#include "status/report_formats.hpp"

#include <cinttypes>
#include <cstdio>
#include <sstream>

namespace {

std::string quoted(const std::string& text)
{
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string hex_address(const std::optional<uint64_t>& address)
{
    if (!address)
        return "null";
    char text[24];
    std::snprintf(text, sizeof text, "\"0x%" PRIx64 "\"", *address);
    return text;
}

std::string hex_word(uint32_t word)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08x", word);
    return text;
}

std::string text_or_null(const std::string& text)
{
    return text.empty() ? "null" : quoted(text);
}

void write_port(std::ostringstream& out, const PortStatus& port, const GpuStatus& gpu)
{
    out << "        {\n"
        << "          \"bdf\": " << quoted(port.bdf) << ",\n"
        << "          \"bar2\": " << hex_address(port.bar2) << ",\n"
        << "          \"gpu_bdf\": " << quoted(gpu.bdf) << ",\n";
    if (port.link_word) {
        const auto speed = link_speed(*port.link_word);
        out << "          \"link_word\": " << quoted(hex_word(*port.link_word)) << ",\n"
            << "          \"link_up\": " << (link_is_up(port) ? "true" : "false") << ",\n"
            << "          \"speed\": " << (speed ? quoted(*speed + " GT/s") : "null") << ",\n"
            << "          \"width\": " << link_width(*port.link_word) << "\n";
    } else {
        out << "          \"link_word\": null,\n"
            << "          \"link_up\": false,\n"
            << "          \"speed\": null,\n"
            << "          \"width\": null\n";
    }
    out << "        }";
}

void write_board(std::ostringstream& out, const BoardStatus& board, std::size_t index)
{
    out << "    {\n"
        << "      \"index\": " << index << ",\n"
        << "      \"switch_bdf\": " << quoted(board.switch_bdf) << ",\n"
        << "      \"switch_error\": " << text_or_null(board.switch_error) << ",\n"
        << "      \"gpus\": [\n";
    for (int gpu = 0; gpu < 2; ++gpu) {
        out << "        {\"bdf\": " << quoted(board.gpus[gpu].bdf)
            << ", \"bar0\": " << hex_address(board.gpus[gpu].bar0)
            << ", \"minor\": " << text_or_null(board.gpus[gpu].minor) << "}"
            << (gpu == 0 ? ",\n" : "\n");
    }
    out << "      ],\n"
        << "      \"ports\": [\n";
    for (int port = 0; port < 2; ++port) {
        write_port(out, board.ports[port], board.gpus[port]);
        out << (port == 0 ? ",\n" : "\n");
    }
    out << "      ]\n"
        << "    }";
}

std::string port_labels(std::size_t board, int port, const GpuStatus& gpu)
{
    return "{board=\"" + std::to_string(board) + "\",port=\"" + std::to_string(port) + "\",gpu=\""
           + gpu.bdf + "\"}";
}

} // namespace

std::string status_json(const HostStatus& status)
{
    std::ostringstream out;
    out << "{\n"
        << "  \"schema_version\": " << status_schema_version << ",\n"
        << "  \"host_node_id\": "
        << (status.host_node_id ? std::to_string(*status.host_node_id) : "null") << ",\n"
        << "  \"host_node_id_reason\": " << text_or_null(status.host_node_reason) << ",\n"
        << "  \"all_links_up\": " << (all_links_up(status) ? "true" : "false") << ",\n"
        << "  \"boards\": [\n";
    for (std::size_t index = 0; index < status.boards.size(); ++index) {
        write_board(out, status.boards[index], index);
        out << (index + 1 < status.boards.size() ? ",\n" : "\n");
    }
    out << "  ]\n"
        << "}\n";
    return out.str();
}

std::string error_json(const std::string& message)
{
    return "{\"schema_version\": " + std::to_string(status_schema_version)
           + ", \"error\": " + quoted(message) + "}\n";
}

std::string status_prometheus(const HostStatus& status)
{
    std::ostringstream out;
    auto metric = [&](const char* name, const char* help) {
        out << "# HELP " << name << " " << help << "\n"
            << "# TYPE " << name << " gauge\n";
    };
    // One sample per NT port, left out where the port has no value.
    auto per_port = [&](const char* name, const char* help,
                        const auto& value_of /* (const PortStatus&) -> optional<string> */) {
        metric(name, help);
        for (std::size_t b = 0; b < status.boards.size(); ++b) {
            for (int p = 0; p < 2; ++p) {
                if (const std::optional<std::string> value = value_of(status.boards[b].ports[p]))
                    out << name << port_labels(b, p, status.boards[b].gpus[p]) << " " << *value
                        << "\n";
            }
        }
    };

    metric("ka720_boards", "KA720 boards found on this host.");
    out << "ka720_boards " << status.boards.size() << "\n";
    metric("ka720_host_node_id", "This host's node id on the optical link (absent when unset).");
    if (status.host_node_id)
        out << "ka720_host_node_id " << *status.host_node_id << "\n";
    per_port("ka720_link_up", "Whether the optical link of an NT port is up.",
             [](const PortStatus& port) -> std::optional<std::string> {
                 return link_is_up(port) ? "1" : "0";
             });
    per_port("ka720_link_speed_gts", "Current speed of an NT port's link in GT/s.",
             [](const PortStatus& port) -> std::optional<std::string> {
                 return port.link_word ? link_speed(*port.link_word) : std::nullopt;
             });
    per_port("ka720_link_width", "Negotiated width of an NT port's link in lanes.",
             [](const PortStatus& port) -> std::optional<std::string> {
                 if (!port.link_word)
                     return std::nullopt;
                 return std::to_string(link_width(*port.link_word));
             });
    return out.str();
}

std::string status_table(const HostStatus& status)
{
    std::ostringstream out;
    out << "host node id: "
        << (status.host_node_id ? std::to_string(*status.host_node_id)
                                : "none (" + status.host_node_reason + ")")
        << "\n";
    char line[160];
    std::snprintf(line, sizeof line, "%-5s  %-4s  %-12s  %-5s  %-9s  %-5s  %s\n", "board", "port",
                  "gpu", "link", "speed", "width", "word");
    out << line;
    for (std::size_t b = 0; b < status.boards.size(); ++b) {
        const BoardStatus& board = status.boards[b];
        for (int p = 0; p < 2; ++p) {
            const auto& word = board.ports[p].link_word;
            const auto speed = word ? link_speed(*word) : std::nullopt;
            const std::string width = word ? "x" + std::to_string(link_width(*word)) : "-";
            std::snprintf(line, sizeof line, "%-5zu  %-4d  %-12s  %-5s  %-9s  %-5s  %s\n", b, p,
                          board.gpus[p].bdf.c_str(), link_is_up(board.ports[p]) ? "up" : "down",
                          speed ? (*speed + " GT/s").c_str() : "-", width.c_str(),
                          word ? hex_word(*word).c_str() : board.switch_error.c_str());
            out << line;
        }
    }
    return out.str();
}
