#pragma once

#include "util/mapping.hpp"
#include "util/unique_fd.hpp"

#include <cstddef>
#include <cstdint>
#include <string>

enum class ResourceAccess { read_write, read_only };

enum class ResourceStatus { mapped, open_failed, too_small, map_failed };

// A PCI function's sysfs resource file, mapped shared so that loads and stores
// reach the device. File and mapping are released together with the object.
struct MappedResource {
    ResourceStatus status = ResourceStatus::open_failed;
    long long file_size = 0;
    UniqueFd file;
    Mapping mapping;

    // One aligned 32-bit access at a byte offset. An offset outside the
    // mapping is a programming error and stops the process before any access.
    uint32_t load32(std::size_t offset) const;
    void store32(std::size_t offset, uint32_t value) const;
};

// Maps `length` bytes from offset 0, or the whole file when `length` is 0.
// Files shorter than `minimum_size` are refused before they are mapped.
MappedResource map_resource(const std::string& path, std::size_t minimum_size, std::size_t length,
                            ResourceAccess access);
