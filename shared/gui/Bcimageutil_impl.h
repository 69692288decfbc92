// Where the picture loaders find the program's resources: its own file on Windows, a table that
// tests fill on the headless side.
#pragma once

#include <cstddef>
#include <cstdint>

enum class ResourceType : uint8_t { bitmap, binres, rcdata };

struct ResourceBytes {
  const uint8_t* data = nullptr;
  size_t size = 0;
};

// The resource's bytes, valid for the life of the program; data is nullptr when it is missing.
ResourceBytes programResource(ResourceType type, int32_t id);
