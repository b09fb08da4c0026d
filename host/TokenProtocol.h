// The byte protocol between vxhost and a token's child process, the same on every system.
#pragma once

#include <cstdint>

// Child blocks put their data a little way into the block, so that a module which ignores the
// token's data offset shows at once.
constexpr uint32_t kChildDataOffset = 64;

// Requests the host sends to a child, one byte each ('F' is followed by the fill value).
constexpr uint8_t kRequestRead = 'R';
constexpr uint8_t kRequestFill = 'F';
constexpr uint8_t kRequestQuit = 'Q';
constexpr uint8_t kReplyDone = 'K';
