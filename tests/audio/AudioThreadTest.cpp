// Layer II coded on a thread of its own gives exactly what the serial path gives: the
// same bytes in reads of the same sizes, with the same unit times, whatever the
// multiplexer asks for; a reader that ends early, one that fails, and a source
// destroyed while the thread codes.
#include "audio/Audio.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <numbers>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

// A Layer II source over generated PCM, read through the shared CAudio paths.
class CToneAudio : public CAudio {
public:
    // `samples` stereo samples; the reader hands them out in pieces of at most `piece`
    // bytes and throws when asked for bytes at or past `failAt` (if not negative).
    CToneAudio(int samples, int piece = 1 << 30, int64_t failAt = -1)
        : pcm(size_t(samples) * 4), piece(piece), failAt(failAt)
    {
        std::mt19937 random(7);
        for (int i = 0; i < samples; ++i) {
            const double t = i / 48000.0;
            const double left =
                9000 * std::sin(2 * std::numbers::pi * 440 * t) + 2000 * std::sin(2 * std::numbers::pi * 3100 * t);
            const double right = 7000 * std::sin(2 * std::numbers::pi * 660 * t) + double(int(random() % 2001) - 1000);
            const int16_t l = int16_t(left), r = int16_t(right);
            pcm[4 * size_t(i)] = uint8_t(l);
            pcm[4 * size_t(i) + 1] = uint8_t(uint16_t(l) >> 8);
            pcm[4 * size_t(i) + 2] = uint8_t(r);
            pcm[4 * size_t(i) + 3] = uint8_t(uint16_t(r) >> 8);
        }
    }
    ~CToneAudio() override { StopEncoder(); }

    bool Start(int, int firstUnit, int lastUnit, uint32_t startMilliseconds) override
    {
        StartState(firstUnit, lastUnit, startMilliseconds);
        position = 0;
        kind = kindMp2;
        return StartEncoder(CMP2Encoder::sourceSlideShow, [this](uint8_t* buffer, int bytes) {
            ++readerCalls;
            if (failAt >= 0 && int64_t(position) + bytes > failAt) throw std::runtime_error("music file vanished");
            const size_t n = std::min({size_t(bytes), size_t(piece), pcm.size() - position});
            if (n > 0) std::memcpy(buffer, pcm.data() + position, n);
            position += n;
            return int(n);
        });
    }
    int Read(uint8_t* buffer, int length) override { return ReadMp2(buffer, length); }
    int StreamKind() override { return kind; }
    uint32_t FirstUnitTime() override { return firstTime; }
    uint32_t EndTime() override { return endTime; }

    std::atomic<int> readerCalls{0};

private:
    std::vector<uint8_t> pcm;
    size_t position = 0;
    int piece;
    int64_t failAt;
};

// What the multiplexer sees of one read.
struct SRead {
    int count;
    uint32_t firstTime;
    uint32_t endTime;
    bool operator==(const SRead&) const = default;
};

struct SStream {
    std::vector<uint8_t> bytes;
    std::vector<SRead> reads;
    std::string failure;  // what a read threw, if one did
};

// Reads the whole stream with read sizes from `size` (called with the read number),
// with KESTROVA_THREADS set to `threads`.
SStream ReadAll(const char* threads, const std::function<int(int)>& size, int samples, int piece = 1 << 30,
                int64_t failAt = -1)
{
    setenv("KESTROVA_THREADS", threads, 1);
    SStream s;
    {
        CToneAudio audio(samples, piece, failAt);
        EXPECT_TRUE(audio.Start(0, 0, 1, 250));
        std::vector<uint8_t> buffer(8192);
        try {
            for (int i = 0;; ++i) {
                const int asked = size(i);
                const int n = audio.Read(buffer.data(), asked);
                s.reads.push_back({n, audio.FirstUnitTime(), audio.EndTime()});
                if (n == 0 && asked > 0) {
                    // The end stays the end.
                    EXPECT_EQ(audio.Read(buffer.data(), 1152), 0);
                    break;
                }
                s.bytes.insert(s.bytes.end(), buffer.begin(), buffer.begin() + n);
            }
        } catch (const std::exception& e) {
            s.failure = e.what();
        }
    }
    unsetenv("KESTROVA_THREADS");
    return s;
}

void ExpectSameStream(const SStream& serial, const SStream& threaded)
{
    EXPECT_EQ(serial.bytes.size(), threaded.bytes.size());
    EXPECT_TRUE(serial.bytes == threaded.bytes) << "coded bytes differ";
    ASSERT_EQ(serial.reads.size(), threaded.reads.size());
    for (size_t i = 0; i < serial.reads.size(); ++i) {
        const SRead& a = serial.reads[i];
        const SRead& b = threaded.reads[i];
        ASSERT_TRUE(a == b) << "read " << i << ": " << a.count << " bytes, times " << a.firstTime << "/" << a.endTime
                            << " serial; " << b.count << ", " << b.firstTime << "/" << b.endTime << " threaded";
    }
    EXPECT_EQ(serial.failure, threaded.failure);
}

constexpr int fourSeconds = 4 * 48000;

}  // namespace

TEST(AudioThread, LayerTwoThroughTheThreadEqualsTheSerialPathForEveryReadSize)
{
    std::mt19937 random(11);
    std::vector<int> mixed(4000);
    for (int& n : mixed) n = int(random() % 3000) + 1;
    const std::vector<std::pair<std::string, std::function<int(int)>>> patterns = {
        {"multiplexer's 2013", [](int) { return 2013; }},
        {"one byte", [](int) { return 1; }},
        {"seven bytes", [](int) { return 7; }},
        {"a frame", [](int) { return 1152; }},
        {"more than a frame", [](int) { return 5000; }},
        {"mixed", [&](int i) { return mixed[size_t(i) % mixed.size()]; }},
        {"with empty asks", [](int i) { return i % 5 == 0 ? 0 : 1500; }},
    };
    for (const auto& [name, size] : patterns) {
        SCOPED_TRACE(name);
        // One byte at a time reads a shorter sound, to keep the test quick.
        const int samples = name == "one byte" ? 48000 / 2 : fourSeconds;
        const SStream serial = ReadAll("1", size, samples);
        const SStream threaded = ReadAll("2", size, samples);
        ASSERT_GT(serial.bytes.size(), size_t(10 * CMP2Encoder::frameBytes));
        EXPECT_EQ(serial.bytes.size() % CMP2Encoder::frameBytes, 0u);
        ExpectSameStream(serial, threaded);
    }
}

TEST(AudioThread, AReaderThatEndsEarlyOrGivesSmallPiecesGivesTheSameStream)
{
    // Sound that ends within a frame, within the first burst, and readers handing out
    // odd pieces (the encoder asks again until a frame is full).
    for (int samples : {0, 500, 1152 * 3 + 17, 48000 + 333}) {
        for (int piece : {1 << 30, 4, 999}) {
            SCOPED_TRACE("samples " + std::to_string(samples) + ", pieces of " + std::to_string(piece));
            const SStream serial = ReadAll(
                "1", [](int) { return 2013; }, samples, piece);
            const SStream threaded = ReadAll(
                "3", [](int) { return 2013; }, samples, piece);
            EXPECT_EQ(serial.bytes.size() / CMP2Encoder::frameBytes, size_t((samples + 1151) / 1152));
            ExpectSameStream(serial, threaded);
        }
    }
}

TEST(AudioThread, AReaderFailureReachesTheConsumerAfterTheBytesCodedBeforeIt)
{
    // The reader throws two seconds in; the bursts coded before are read first.
    const int64_t failAt = 2 * 48000 * 4;
    const SStream serial = ReadAll(
        "1", [](int) { return 2013; }, fourSeconds, 1 << 30, failAt);
    const SStream threaded = ReadAll(
        "2", [](int) { return 2013; }, fourSeconds, 1 << 30, failAt);
    EXPECT_EQ(serial.failure, "music file vanished");
    EXPECT_GT(serial.bytes.size(), size_t(40 * CMP2Encoder::frameBytes));
    ExpectSameStream(serial, threaded);
}

TEST(AudioThread, DestroyedOrRestartedWhileCodingEndsTheThreadCleanly)
{
    setenv("KESTROVA_THREADS", "2", 1);
    uint8_t buffer[2048];
    // Destroyed right after the start and after a few reads, with most of the sound
    // not yet coded: the destructor waits for the thread, and nothing reads afterwards
    // (the sanitizer build would see a read of the freed PCM).
    for (int reads : {0, 1, 5}) {
        auto audio = std::make_unique<CToneAudio>(60 * 48000);
        ASSERT_TRUE(audio->Start(0, 0, 1, 0));
        for (int i = 0; i < reads; ++i) EXPECT_GT(audio->Read(buffer, 2013), 0);
        audio.reset();
    }

    // Started again part-way: the new stream is the whole stream from the beginning.
    CToneAudio audio(fourSeconds);
    ASSERT_TRUE(audio.Start(0, 0, 1, 0));
    for (int i = 0; i < 7; ++i) audio.Read(buffer, 2013);
    ASSERT_TRUE(audio.Start(0, 0, 1, 0));
    std::vector<uint8_t> again;
    for (int n; (n = audio.Read(buffer, 2013)) > 0;) again.insert(again.end(), buffer, buffer + n);
    unsetenv("KESTROVA_THREADS");
    const SStream serial = ReadAll(
        "1", [](int) { return 2013; }, fourSeconds);
    EXPECT_TRUE(again == serial.bytes);
}
