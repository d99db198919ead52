#include "pci/resource_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>

#include <cstdlib>

namespace {

volatile uint32_t* word_at(const Mapping& mapping, std::size_t offset)
{
    if (offset % sizeof(uint32_t) != 0 || offset > mapping.length()
        || mapping.length() - offset < sizeof(uint32_t))
        std::abort();
    return reinterpret_cast<volatile uint32_t*>(mapping.bytes() + offset);
}

} // namespace

uint32_t MappedResource::load32(std::size_t offset) const
{
    return *word_at(mapping, offset);
}

void MappedResource::store32(std::size_t offset, uint32_t value) const
{
    *word_at(mapping, offset) = value;
}

MappedResource map_resource(const std::string& path, std::size_t minimum_size, std::size_t length,
                            ResourceAccess access)
{
    const bool writable = access == ResourceAccess::read_write;
    MappedResource resource;
    resource.file = UniqueFd(::open(path.c_str(), (writable ? O_RDWR : O_RDONLY) | O_CLOEXEC));
    if (!resource.file.valid()) {
        resource.status = ResourceStatus::open_failed;
        return resource;
    }
    struct stat status {};
    if (::fstat(resource.file.get(), &status) != 0 || !S_ISREG(status.st_mode)
        || status.st_size < 0 || static_cast<std::size_t>(status.st_size) < minimum_size) {
        resource.file_size = S_ISREG(status.st_mode) ? status.st_size : 0;
        resource.status = ResourceStatus::too_small;
        resource.file.reset();
        return resource;
    }
    resource.file_size = status.st_size;
    const std::size_t map_length = length != 0 ? length : static_cast<std::size_t>(status.st_size);
    const int protection = writable ? PROT_READ | PROT_WRITE : PROT_READ;
    void* address = ::mmap(nullptr, map_length, protection, MAP_SHARED, resource.file.get(), 0);
    if (address == MAP_FAILED) {
        resource.status = ResourceStatus::map_failed;
        resource.file.reset();
        return resource;
    }
    resource.mapping = Mapping(address, map_length);
    resource.status = ResourceStatus::mapped;
    return resource;
}
