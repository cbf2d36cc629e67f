// A minimal PE32 or PE32+ built in tests: one section holding the resource tree, type
// "FILESPACK" -> each name -> language 0x411.
#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

struct TestResource {
    std::variant<std::string, uint16_t> name;  // ASCII name or number
    std::vector<uint8_t> data;
};

inline constexpr uint32_t kSectionRva = 0x3000;
inline constexpr uint32_t kSectionFile = 0x400;

std::vector<uint8_t> BuildExecutable(bool pe32_plus, const std::vector<TestResource>& resources);
