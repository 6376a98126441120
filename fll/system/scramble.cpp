// The scrambling: each data byte is XORed with the low byte of the next
// number of msvcrt.dll's rand sequence, seeded from the key, and with the
// next key byte in turn. Data scrambled anywhere must unscramble anywhere,
// so the sequence is msvcrt's exactly; it is computed here rather than
// drawn from msvcrt itself, so that no other caller's draws can fall into
// the keystream and the process's own rand state is left alone.
#include "scramble.h"
#include <string.h>
#include "../bridge/handles.h"
#include "../bridge/host_services.h"
#include "../bridge/param_text.h"

// msvcrt's generator: state = state * multiplier + increment (mod 2^32),
// and each rand result is bits 16 to 30 of the new state, so its low byte
// is bits 16 to 23.
const uint32_t RandMultiplier = 214013;
const uint32_t RandIncrement = 2531011;

// Bytes scrambled per turn of the fast loop: one generator lane per byte.
const uint32_t LaneCount = 8;

// One step of n generator steps at once: state -> state * multiplier +
// increment, with both made from n single steps.
struct GeneratorJump {
    uint32_t multiplier;
    uint32_t increment;
};

constexpr GeneratorJump JumpOf(uint32_t steps)
{
    GeneratorJump jump = {1, 0};
    for (uint32_t i = 0; i < steps; i++) {
        jump.multiplier = jump.multiplier * RandMultiplier;
        jump.increment = jump.increment * RandMultiplier + RandIncrement;
    }
    return jump;
}

const GeneratorJump LaneJump = JumpOf(LaneCount);

// Keys shorter than this are laid out repeatedly in a pattern at least
// this long, so that the fast loop can take eight key bytes with one copy.
const uint32_t ShortKeyBytes = 64;

// The key bytes in turn, from the first, starting again after the last.
// bytes holds period bytes that repeat the key whole; where padded, eight
// more follow that repeat its start, so a read of eight never wraps.
struct KeyCycle {
    const uint8_t *bytes;
    uint32_t period;
    uint32_t position;
    bool padded;
    uint8_t pattern[2 * ShortKeyBytes + LaneCount];
};

// An empty key mixes in the byte 0: what a zero-filled block of the host's
// holds behind an empty text, and it keeps the scrambling reversible.
static void StartKeyCycle(KeyCycle *cycle, const uint8_t *key, uint32_t keyLength)
{
    static const uint8_t zeroKey[1] = {0};
    if (keyLength == 0) {
        key = zeroKey;
        keyLength = 1;
    }
    cycle->position = 0;
    if (keyLength >= ShortKeyBytes) {
        cycle->bytes = key;
        cycle->period = keyLength;
        cycle->padded = false;
        return;
    }
    cycle->period = (ShortKeyBytes + keyLength - 1) / keyLength * keyLength;
    for (uint32_t i = 0; i < cycle->period + LaneCount; i++)
        cycle->pattern[i] = key[i % keyLength];
    cycle->bytes = cycle->pattern;
    cycle->padded = true;
}

// The next key byte.
static uint8_t NextKeyByte(KeyCycle *cycle)
{
    uint8_t byte = cycle->bytes[cycle->position];
    if (++cycle->position == cycle->period)
        cycle->position = 0;
    return byte;
}

// The next eight key bytes, in memory order.
static void NextKeyBytes8(KeyCycle *cycle, uint8_t out[LaneCount])
{
    if (cycle->padded || cycle->position + LaneCount <= cycle->period) {
        memcpy(out, cycle->bytes + cycle->position, LaneCount);
        cycle->position += LaneCount;
        if (cycle->position >= cycle->period)
            cycle->position -= cycle->period;
        return;
    }
    for (uint32_t i = 0; i < LaneCount; i++)
        out[i] = NextKeyByte(cycle);
}

// The low bytes of four generator states, packed little-endian.
static inline uint32_t PackLowBytes(uint32_t s0, uint32_t s1, uint32_t s2, uint32_t s3)
{
    return ((s0 >> 16) & 0xFFu) | ((s1 >> 8) & 0xFF00u) | (s2 & 0xFF0000u) |
           ((s3 << 8) & 0xFF000000u);
}

// XORs data with the keystream of seed and key. The lanes hold the next
// eight generator states; each turn of the fast loop uses all eight and
// moves each eight steps on, and the tail takes what it needs from them.
static void ScrambleBytes(uint8_t *data, uint32_t length, uint32_t seed, const uint8_t *key,
                          uint32_t keyLength)
{
    KeyCycle cycle;
    StartKeyCycle(&cycle, key, keyLength);
    uint32_t lane[LaneCount];
    uint32_t state = seed;
    for (uint32_t k = 0; k < LaneCount; k++) {
        state = state * RandMultiplier + RandIncrement;
        lane[k] = state;
    }
    uint32_t i = 0;
    for (; length - i >= LaneCount; i += LaneCount) {
        uint32_t stream[2] = {PackLowBytes(lane[0], lane[1], lane[2], lane[3]),
                              PackLowBytes(lane[4], lane[5], lane[6], lane[7])};
        uint32_t keyWords[2], words[2];
        NextKeyBytes8(&cycle, reinterpret_cast<uint8_t *>(keyWords));
        memcpy(words, data + i, sizeof words);
        words[0] ^= stream[0] ^ keyWords[0];
        words[1] ^= stream[1] ^ keyWords[1];
        memcpy(data + i, words, sizeof words);
        for (uint32_t k = 0; k < LaneCount; k++)
            lane[k] = lane[k] * LaneJump.multiplier + LaneJump.increment;
    }
    uint32_t rest = length - i;
    for (uint32_t k = 0; k < rest && k < LaneCount; k++)
        data[i + k] ^= uint8_t(lane[k] >> 16) ^ NextKeyByte(&cycle);
}

// The seed: every key byte, taken as signed, plus one, summed with wrap.
static uint32_t SeedOf(const uint8_t *key, uint32_t keyLength)
{
    uint32_t seed = 0;
    for (uint32_t i = 0; i < keyLength; i++)
        seed += uint32_t(int32_t(int8_t(key[i])) + 1);
    return seed;
}

// Reads the memo field a reference names into a new, locked handle; the
// length goes to *length. A reference that names no field of an open
// table is a host error, as is a negative find (its negation), no memory
// or a short read; a handle made before the read fails is freed first.
static MemHandle ReadMemoField(HostLocator *field, uint32_t *length)
{
    if (field->workArea <= 0)
        HostError(HostErrorBadType);
    int32_t channel = HostMemoChannel(field->workArea);
    *length = HostMemoSize(field);
    int32_t offset = HostMemoFind(field);
    if (offset < 0)
        HostError(uint32_t(0) - uint32_t(offset));
    HostChannelSeek(channel, uint32_t(offset));
    MemHandle handle = HandleAlloc(*length);
    if (handle == 0)
        HostError(HostErrorNoMemory);
    HandleLock(handle);
    if (HostChannelRead(channel, HandleToPtr(handle), *length) != *length) {
        HandleUnlock(handle);
        HandleFree(handle);
        HostError(HostErrorNoMemory);
    }
    return handle;
}

// The key's block is checked first, so that a key it cannot hold raises
// 182 before the data is locked or a memo block made.
void fkEncrypt(ParamBlock *parameters)
{
    ParamSlot &first = parameters->slots[0];
    const HostValue &key = parameters->slots[1].value;
    const uint8_t *keyBytes = ParamBytes(key.handle, key.length);
    MemHandle data;
    uint32_t length;
    if (first.value.type == 'C') {
        data = first.value.handle;
        length = first.value.length;
        ParamBytes(data, length);  // raises 182 unless the block holds the value
        HandleLock(data);
    } else if (first.value.type == 'R') {
        data = ReadMemoField(&first.locator, &length);
    } else {
        HostError(HostErrorBadType);
    }
    ScrambleBytes(static_cast<uint8_t *>(HandleToPtr(data)), length, SeedOf(keyBytes, key.length),
                  keyBytes, key.length);
    HandleUnlock(data);
    HostValue result;
    memset(&result, 0, sizeof result);
    result.type = 'C';
    result.length = length;
    result.handle = data;
    HostReturnValue(&result);
}
