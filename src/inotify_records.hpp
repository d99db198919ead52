#pragma once

#include <cstddef>

// The number of records among the `length` bytes of one inotify read that
// call for a re-configuration: the creation of an entry whose name contains
// "norvane", and a queue overflow, after which creations may have been lost.
// Never reads past `length`, whatever the records' name lengths say.
std::size_t count_reconfiguration_events(const char* bytes, std::size_t length);
