#pragma once

#include <sys/mman.h>

#include <cstddef>
#include <utility>

// Owns one mmap'ed range and unmaps it, with the length it was mapped with,
// on every path out of its scope.
class Mapping {
public:
    Mapping() = default;
    Mapping(void* address, std::size_t length) : address_(address), length_(length) {}
    Mapping(Mapping&& other) noexcept
        : address_(std::exchange(other.address_, nullptr)), length_(std::exchange(other.length_, 0))
    {
    }
    Mapping& operator=(Mapping&& other) noexcept
    {
        if (this != &other) {
            reset();
            address_ = std::exchange(other.address_, nullptr);
            length_ = std::exchange(other.length_, 0);
        }
        return *this;
    }
    Mapping(const Mapping&) = delete;
    Mapping& operator=(const Mapping&) = delete;
    ~Mapping() { reset(); }

    char* bytes() const { return static_cast<char*>(address_); }
    std::size_t length() const { return length_; }
    void reset()
    {
        if (address_ != nullptr)
            ::munmap(address_, length_);
        address_ = nullptr;
        length_ = 0;
    }

private:
    void* address_ = nullptr;
    std::size_t length_ = 0;
};
