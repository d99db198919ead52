#pragma once

#include "status/host_status.hpp"

#include <string>

// The status in stable machine formats, and plain text for people.
std::string status_json(const HostStatus& status);
std::string status_prometheus(const HostStatus& status);
std::string status_table(const HostStatus& status);

// A refusal as a JSON object with an "error" field.
std::string error_json(const std::string& message);

inline constexpr int status_schema_version = 1;
