#include "driver/host_node_file.hpp"

#include "pci/shell.hpp"

#include <cctype>
#include <sys/stat.h>

namespace {

constexpr int node_file_capacity = 64;

bool node_file_exists()
{
    struct stat status {};
    return ::stat(host_node_path, &status) == 0;
}

bool is_blank(char c)
{
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

} // namespace

std::optional<int> parse_host_node_text(std::string_view text)
{
    std::string_view line = text.substr(0, text.find('\n'));
    while (!line.empty() && is_blank(line.front()))
        line.remove_prefix(1);
    while (!line.empty() && is_blank(line.back()))
        line.remove_suffix(1);
    if (line == "0")
        return 0;
    if (line == "1")
        return 1;
    return std::nullopt;
}

NodeFileReading read_host_node_file()
{
    if (!node_file_exists())
        return {NodeFileState::missing, 0};
    const std::optional<int> id = parse_host_node_text(
        shell_output(format_command("cat %s", host_node_path), node_file_capacity));
    if (!id)
        return {NodeFileState::invalid, 0};
    return {NodeFileState::valid, *id};
}

void save_host_node_id(int id)
{
    const std::string command
        = node_file_exists()
              ? format_command("echo %d > %s", id, host_node_path)
              : format_command("mkdir -p %s && echo %d > %s", host_node_directory, id, host_node_path);
    shell_output(command, node_file_capacity);
}
