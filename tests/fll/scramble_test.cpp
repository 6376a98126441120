// fkEncrypt through the host, checked byte for byte against the real
// msvcrt.dll's srand and rand, on character values and memo fields, with
// every host error it raises.
#include <gtest/gtest.h>
#include <string.h>
#include <string>
#include "host_fixture.h"

typedef void(__cdecl *SrandFunction)(unsigned int seed);
typedef int(__cdecl *RandFunction)(void);

// msvcrt.dll's own generator, looked up as any program would.
struct Msvcrt {
    SrandFunction srand;
    RandFunction rand;
};

static Msvcrt LoadMsvcrt()
{
    Msvcrt crt = {nullptr, nullptr};
    HMODULE module = LoadLibraryA("msvcrt.dll");
    if (module == nullptr)
        return crt;
    crt.srand = reinterpret_cast<SrandFunction>(
        reinterpret_cast<void *>(GetProcAddress(module, "srand")));
    crt.rand =
        reinterpret_cast<RandFunction>(reinterpret_cast<void *>(GetProcAddress(module, "rand")));
    return crt;
}

// The scrambling as its definition reads, drawn from msvcrt itself: seed
// from the key bytes (signed, plus one, summed), then per byte one rand,
// its low byte and the key byte in turn. An empty key mixes in 0.
static std::string Reference(const Msvcrt &crt, const std::string &data, const std::string &key)
{
    unsigned int seed = 0;
    for (char c : key)
        seed += unsigned(int(static_cast<signed char>(c)) + 1);
    crt.srand(seed);
    std::string out = data;
    for (size_t i = 0; i < out.size(); i++) {
        char keyByte = key.empty() ? '\0' : key[i % key.size()];
        out[i] = char(out[i] ^ (crt.rand() & 0xFF) ^ keyByte);
    }
    return out;
}

// Deterministic test data that does not touch any rand state.
struct Noise {
    uint32_t state;
};

static uint32_t NextNoise(Noise *noise)
{
    noise->state ^= noise->state << 13;
    noise->state ^= noise->state >> 17;
    noise->state ^= noise->state << 5;
    return noise->state;
}

static std::string NoiseBytes(Noise *noise, size_t length)
{
    std::string bytes(length, '\0');
    for (size_t i = 0; i < length; i++)
        bytes[i] = char(NextNoise(noise));
    return bytes;
}

static std::string Hex(const std::string &bytes, size_t limit = 24)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (size_t i = 0; i < bytes.size() && i < limit; i++) {
        out += digits[(unsigned char)bytes[i] >> 4];
        out += digits[(unsigned char)bytes[i] & 15];
        out += ' ';
    }
    return out + (bytes.size() > limit ? "..." : "");
}

// Index of the first differing byte, or -1.
static long FirstDifference(const std::string &a, const std::string &b)
{
    for (size_t i = 0; i < a.size() && i < b.size(); i++)
        if (a[i] != b[i])
            return long(i);
    return a.size() == b.size() ? -1 : long(a.size() < b.size() ? a.size() : b.size());
}

class Scramble : public LibrarySession {
protected:
    Msvcrt crt;
    void SetUp() override
    {
        crt = LoadMsvcrt();
        ASSERT_NE(crt.srand, nullptr);
        ASSERT_NE(crt.rand, nullptr);
        Open(nullptr);
    }
    // fkEncrypt of data with key; answers the host error, result in *out.
    uint32_t Encrypt(FoxValue data, const std::string &key, std::string *out)
    {
        FoxValue args[2] = {data, FoxBytes(key.data(), uint32_t(key.size()))};
        FoxValue result;
        uint32_t error = HostCall(host, "fkEncrypt", args, 2, &result);
        out->clear();
        if (error == 0 && result.type == 'C')
            out->assign(result.text, result.length);
        return error;
    }
};

TEST_F(Scramble, MatchesMsvcrt)
{
    struct Case {
        const char *what;
        std::string key;
        size_t length;
    } cases[] = {
        {"empty data", "key", 0},
        {"one byte, one-byte key", "k", 1},
        {"short", "key", 7},
        {"eight", "key", 8},
        {"nine", "key", 9},
        {"one-byte key", "z", 300},
        {"high key bytes lower the seed", "\x80\xff\xfe", 100},
        {"key of 7", "1234567", 1000},
        {"key of 8", "12345678", 1001},
        {"key of 63", std::string(63, 'q'), 517},
        {"key of 64", std::string(64, 'r'), 517},
        {"key of 65", std::string(65, 's'), 1031},
        {"key longer than the data", std::string(300, 'L'), 40},
        {"empty key mixes in 0, seed 0", "", 129},
        {"key with a zero byte", std::string("a\0b", 3), 77},
        {"key summing to 0", std::string("\xff\xff\xff", 3), 33},
    };
    Noise noise = {0x1234567u};
    for (Case &c : cases) {
        std::string data = NoiseBytes(&noise, c.length);
        std::string expected = Reference(crt, data, c.key), got;
        ASSERT_EQ(Encrypt(FoxBytes(data.data(), uint32_t(data.size())), c.key, &got), 0u)
            << c.what;
        EXPECT_EQ(HostLastCall(host)->results, 1) << c.what;
        EXPECT_EQ(HostLastCall(host)->result.type, 'C') << c.what;
        EXPECT_EQ(FirstDifference(got, expected), -1)
            << c.what << "\n got " << Hex(got) << "\nwant " << Hex(expected);
        EXPECT_EQ(HostLastCall(host)->leakedHandles, 0) << c.what;
    }
    // Many seeds and lengths, and keys large enough to seed far from 0
    // either way.
    for (int round = 0; round < 300; round++) {
        size_t keyLength = 1 + NextNoise(&noise) % (round < 290 ? 150 : 200000);
        std::string key = NoiseBytes(&noise, keyLength);
        if (round >= 296)
            key.assign(keyLength, round % 2 ? '\x7f' : '\x80');
        std::string data = NoiseBytes(&noise, NextNoise(&noise) % 5000);
        std::string expected = Reference(crt, data, key), got;
        ASSERT_EQ(Encrypt(FoxBytes(data.data(), uint32_t(data.size())), key, &got), 0u);
        ASSERT_EQ(FirstDifference(got, expected), -1)
            << "round " << round << ", key of " << key.size() << ", data of " << data.size();
    }
}

TEST_F(Scramble, UndoesItselfInPlace)
{
    const std::string plain("The quick brown fox\0jumps", 25), key = "sesame";
    std::string once, twice;
    ASSERT_EQ(Encrypt(FoxBytes(plain.data(), uint32_t(plain.size())), key, &once), 0u);
    EXPECT_NE(once, plain);
    ASSERT_EQ(Encrypt(FoxBytes(once.data(), uint32_t(once.size())), key, &twice), 0u);
    EXPECT_EQ(twice, plain) << Hex(twice);
    // Keys of the same seed give different results through the key bytes.
    std::string other;
    ASSERT_EQ(Encrypt(FoxBytes(plain.data(), uint32_t(plain.size())), "emases", &other), 0u);
    EXPECT_NE(other, once);

    // The result is the argument's own block, unlocked again.
    HostKeepArguments(host, true);
    FoxValue args[2] = {FoxBytes(plain.data(), uint32_t(plain.size())), FoxString(key.c_str())};
    FoxValue result;
    ASSERT_EQ(HostCall(host, "fkEncrypt", args, 2, &result), 0u);
    HostKeepArguments(host, false);
    MemHandle data = HostLastCall(host)->arguments[0];
    EXPECT_EQ(HostHandleLocks(host, data), 0);
    EXPECT_EQ(memcmp(HostHandleAddress(host, data), once.data(), once.size()), 0);
    EXPECT_EQ(result.length, plain.size());
    HostFreeHandle(host, data);
    HostFreeHandle(host, HostLastCall(host)->arguments[1]);
}

// The process's own rand sequence goes on as if fkEncrypt had not run.
TEST_F(Scramble, LeavesRandAlone)
{
    crt.srand(4242);
    int first = crt.rand(), second = crt.rand(), third = crt.rand();
    crt.srand(4242);
    EXPECT_EQ(crt.rand(), first);
    std::string out;
    std::string data(1000, 'x');
    ASSERT_EQ(Encrypt(FoxBytes(data.data(), uint32_t(data.size())), "abc", &out), 0u);
    EXPECT_EQ(crt.rand(), second) << "fkEncrypt drew from or reseeded the process's rand";
    ASSERT_EQ(Encrypt(FoxString(""), "abc", &out), 0u);
    EXPECT_EQ(crt.rand(), third);
}

TEST_F(Scramble, MemoFields)
{
    Noise noise = {99u};
    std::string memo = NoiseBytes(&noise, 3001), key = "memo key";
    HostOpenTable(host, 3);
    HostSetMemo(host, 3, "notes", "first field", 11);
    HostSetMemo(host, 3, "body", memo.data(), uint32_t(memo.size()));
    HostSetMemo(host, 3, "empty", "", 0);
    std::string got;
    ASSERT_EQ(Encrypt(FoxField(3, "body"), key, &got), 0u);
    EXPECT_EQ(FirstDifference(got, Reference(crt, memo, key)), -1) << Hex(got);
    EXPECT_EQ(HostLastCall(host)->leakedHandles, 0);
    FoxValue field;
    ASSERT_TRUE(HostGetMemo(host, 3, "body", &field));
    EXPECT_EQ(std::string(field.text, field.length), memo) << "the field itself is unchanged";
    EXPECT_EQ(HostServiceCount(host, ServiceStore), 0);
    ASSERT_EQ(Encrypt(FoxField(3, "empty"), key, &got), 0u);
    EXPECT_EQ(got, "");
    EXPECT_EQ(HostLastCall(host)->result.type, 'C');
    ASSERT_EQ(Encrypt(FoxField(3, "notes"), key, &got), 0u);
    EXPECT_EQ(got, Reference(crt, "first field", key));
}

TEST_F(Scramble, HostErrors)
{
    HostOpenTable(host, 2);
    HostSetMemo(host, 2, "notes", "some memo text", 14);
    HostSetVariable(host, "cPlain", FoxString("not a field"));
    struct Case {
        const char *what;
        FoxValue data;
        int32_t memoFind;      // what service 25 answers; 0: the truth
        uint32_t shortRead;    // bytes the channel read comes up short
        uint32_t error;
    } cases[] = {
        {"integer", FoxInt(5), 0, 0, 302},
        {"logical", FoxLogical(true), 0, 0, 302},
        {"number", FoxNumber(1.5, 8, 1), 0, 0, 302},
        {"object", FoxObject(HostNewObject(host)), 0, 0, 302},
        {"reference to a variable", FoxRef("cPlain"), 0, 0, 302},
        {"memo find fails", FoxField(2, "notes"), -1234, 0, 1234},
        {"no such field", FoxField(2, "missing"), 0, 0, 11},
        {"short read", FoxField(2, "notes"), 0, 1, 182},
    };
    for (Case &c : cases) {
        HostSetMemoFindAnswer(host, c.memoFind);
        HostSetShortRead(host, c.shortRead);
        int errorsBefore = HostErrorCount(host);
        std::string out;
        EXPECT_EQ(Encrypt(c.data, "k", &out), c.error) << c.what;
        EXPECT_EQ(HostLastCall(host)->results, 0) << c.what;
        EXPECT_EQ(HostErrorCount(host), errorsBefore + 1) << c.what;
        EXPECT_EQ(HostLastCall(host)->leakedHandles, 0) << c.what << ": the memo's block freed";
    }
    HostSetMemoFindAnswer(host, 0);
    HostSetShortRead(host, 0);
    FoxValue field;
    ASSERT_TRUE(HostGetMemo(host, 2, "notes", &field));
    EXPECT_EQ(std::string(field.text, field.length), "some memo text");
    // The key must be a character value.
    FoxValue args[2] = {FoxString("data"), FoxInt(3)};
    FoxValue result;
    EXPECT_EQ(HostCall(host, "fkEncrypt", args, 2, &result), HostRejectType);
}

// With no handle to spare for the memo's data: 182.
TEST_F(Scramble, NoMemoryForMemo)
{
    EXPECT_EQ(HostClose(host), 0);
    host = nullptr;
    HostOptions options = {2, 32};  // one handle: the key's
    Open(&options);
    HostOpenTable(host, 1);
    HostSetMemo(host, 1, "notes", "text", 4);
    std::string out;
    EXPECT_EQ(Encrypt(FoxField(1, "notes"), "k", &out), 182u);
    EXPECT_EQ(HostLastCall(host)->results, 0);
    EXPECT_EQ(HostLastCall(host)->error, 182u);
}

// A character value whose block cannot hold its length (a bad handle holds
// nothing): 182, and nothing is read or written past the block.
TEST_F(Scramble, BlockShorterThanTheValue)
{
    MemHandle small = HostMakeHandle(host, "abc", 3);
    ASSERT_EQ(HostHandleBytes(host, small), 3u) << "the test needs a block of exactly 3 bytes";
    struct Case {
        const char *what;
        MemHandle dataHandle;  // 0: a proper block
        uint32_t dataLength;
        MemHandle keyHandle;
        uint32_t keyLength;
    } cases[] = {
        {"data in a bad handle", 200, 4, 0, 0},
        {"data longer than its block", small, 4000, 0, 0},
        {"key in a bad handle", 0, 0, 200, 3},
        {"key longer than its block", 0, 0, small, 4000},
    };
    for (const Case &c : cases) {
        FoxValue args[2] = {FoxString("plain"), FoxString("key")};
        if (c.dataHandle != 0) {
            args[0] = FoxBytes("", c.dataLength);
            args[0].handle = c.dataHandle;
        }
        if (c.keyHandle != 0) {
            args[1] = FoxBytes("", c.keyLength);
            args[1].handle = c.keyHandle;
        }
        FoxValue result;
        EXPECT_EQ(HostCall(host, "fkEncrypt", args, 2, &result), 182u) << c.what;
        EXPECT_EQ(HostLastCall(host)->results, 0) << c.what;
        EXPECT_EQ(HostHandleBytes(host, small), 3u) << c.what;
        EXPECT_EQ(memcmp(HostHandleAddress(host, small), "abc", 3), 0) << c.what;
        EXPECT_EQ(HostHandleLocks(host, small), 0) << c.what;
    }
    HostFreeHandle(host, small);
}
