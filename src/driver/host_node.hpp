#pragma once

// Sends this run's node id to the driver and prints "Host Node ID: <id>".
// The driver must be loaded and at least one board found.
void set_host_node_id(int id);

// The daemon's re-apply: sends the id that the node file holds now, or 0 when
// there is no node file; sends nothing when the driver is not loaded, and
// nothing (saying so on standard error) when the file holds no valid id.
void set_host_node_id();
