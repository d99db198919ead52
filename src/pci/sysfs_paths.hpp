#pragma once

// Where the kernel shows the PCI functions and the accelerator's driver.
inline constexpr const char* pci_devices_directory = "/sys/bus/pci/devices/";
inline constexpr const char* driver_directory = "/sys/bus/pci/drivers/norvane/";

// The driver's attributes in each GPU's directory.
inline constexpr const char* minor_attribute = "minor";
inline constexpr const char* command_attribute = "itr_debug";
