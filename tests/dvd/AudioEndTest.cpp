// The end of a title's audio: when the sound outlasts the pictures the multiplexer
// carries it to the end of the last picture and stops on a whole Layer II frame; the
// frame follower it uses; and the VOB checker's frame check, which must catch a stream
// cut by hand. (Linear PCM titles: tests/integration/slideshow_audio.cpp.)
#include "TitleHelpers.h"

#include "dvd/AudioFrameEnd.h"
#include "support/ScriptedUi.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

using testsupport::Quote;
using testsupport::TempDir;

namespace {

// Layer II frames of `length` bytes, each with its own header.
std::vector<uint8_t> Layer2Frames(int count, uint8_t rateIndex)
{
    static const int kbps[15] = {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384};
    const int length = 3 * kbps[rateIndex];
    std::vector<uint8_t> es;
    for (int k = 0; k < count; ++k) {
        const size_t at = es.size();
        es.resize(at + size_t(length), uint8_t(k + 1));
        es[at] = 0xFF;
        es[at + 1] = 0xFC;
        es[at + 2] = uint8_t(rateIndex << 4 | 0x04);
        es[at + 3] = 0x00;
    }
    return es;
}

// A scan that holds only `es` as the audio of one packet of `stream` / `substream`.
vobcheck::Scan AudioOnly(std::vector<uint8_t> es, uint8_t stream, uint8_t substream = 0)
{
    vobcheck::Scan scan;
    vobcheck::Packet p;
    p.stream = stream;
    p.substream = substream;
    p.payloadSize = int(es.size());
    scan.packets.push_back(p);
    scan.audio = std::move(es);
    return scan;
}

}  // namespace

TEST(AudioEnd, LayerIIMusicOutlastingThePicturesEndsOnAWholeFrameAtTheirEnd)
{
    // 224 kbit/s frames (672 bytes) never line up with the source's reads of 1152
    // bytes, so a pack boundary falls inside a frame.
    FakeTitle t;
    t.video = fakestreams::Video(4, 352, 240, 15, false, 1500000);
    t.audio = fakestreams::Mp2(10, 224);
    t.seconds = 4;
    TempDir dir;
    CScriptedUi ui;
    CUiScope scope(ui);
    ASSERT_TRUE(CFakeTitleBuilder(t).Build(0, dir.Path().string()));
    const int pictures = vobcheck::PictureCount(t.video);
    vobcheck::Scan scan = CheckWrittenTitle(dir.Path().string(), 1, pictures, t.audioKind);
    EXPECT_TRUE(scan.errors.empty()) << vobcheck::ErrorText(scan);

    // The sound reaches the end of the last picture (shown one period after its decoding,
    // the first picture decoded with the first audio frame) and stops within two frames.
    const double sound = double(vobcheck::MpegAudioFrames(scan.audio).size()) * 0.024;
    const double picturesEnd = (pictures + 1) * 1001.0 / 30000.0;
    EXPECT_GE(sound, picturesEnd);
    EXPECT_LT(sound, picturesEnd + 0.048);
    EXPECT_TRUE(std::equal(scan.audio.begin(), scan.audio.end(), t.audio.begin()));
    auto decode =
        testsupport::Run("ffmpeg -nostdin -v error -i " + Quote(dir.File("VTS_01_1.VOB")) + " -f null - 2>&1");
    EXPECT_EQ(decode.out, "");
}

TEST(AudioEnd, FrameFollowerCountsTheBytesThatFinishTheUnitInHand)
{
    // Layer II frames of 672 bytes fed in pieces that cut a frame and then a header.
    std::vector<uint8_t> es = Layer2Frames(2, 11);
    CAudioFrameEnd frames;
    frames.Start(CAudio::kindMp2);
    frames.Feed(es.data(), 500);
    EXPECT_EQ(frames.BytesToUnitEnd(), 172);
    frames.Feed(es.data() + 500, 174);  // the rest of frame 0 and 2 header bytes
    EXPECT_EQ(frames.BytesToUnitEnd(), 2);  // the rest of the header first
    frames.Feed(es.data() + 674, 2);
    EXPECT_EQ(frames.BytesToUnitEnd(), 668);
    // Bytes that are no header where one is due leave nothing to finish.
    const uint8_t junk[672 + 6] = {};
    frames.Feed(junk, int(sizeof junk));
    EXPECT_EQ(frames.BytesToUnitEnd(), 0);

    // AC-3 (48 kHz, 896 words) found after leading bytes; linear PCM in sample pairs.
    const uint8_t ac3[11] = {0, 0, 0, 0x0B, 0x77, 0, 0, 0x1E, 0x40, 0xE0, 0x80};
    frames.Start(CAudio::kindAc3);
    frames.Feed(ac3, 11);
    EXPECT_EQ(frames.BytesToUnitEnd(), 1792 - 8);
    frames.Start(CAudio::kindLpcm);
    frames.Feed(es.data(), 2007);
    EXPECT_EQ(frames.BytesToUnitEnd(), 1);
}

TEST(AudioEnd, VobCheckerFindsCutAndMisplacedFrames)
{
    const std::vector<uint8_t> whole = Layer2Frames(4, 14);
    vobcheck::Scan ok = AudioOnly(whole, 0xC0);
    vobcheck::CheckAudioFrames(ok);
    EXPECT_TRUE(ok.errors.empty()) << vobcheck::ErrorText(ok);

    // The last frame cut short, as by the last pack of a title.
    vobcheck::Scan cut = AudioOnly({whole.begin(), whole.end() - 300}, 0xC0);
    vobcheck::CheckAudioFrames(cut);
    ASSERT_EQ(cut.errors.size(), 1u);
    EXPECT_EQ(cut.errors[0], "the audio ends 852 bytes into Layer II frame 3 of 1152 bytes");

    // A byte too many inside frame 1: frame 2's header is not where frame 1 ends.
    std::vector<uint8_t> shifted = whole;
    shifted.insert(shifted.begin() + 1500, 0x55);
    vobcheck::Scan misplaced = AudioOnly(shifted, 0xC0);
    vobcheck::CheckAudioFrames(misplaced);
    ASSERT_EQ(misplaced.errors.size(), 1u);
    EXPECT_EQ(misplaced.errors[0], "no Layer II header at audio byte 2304, where Layer II frame 2 should start");

    // Linear PCM half a sample pair short; AC-3 cut inside its second frame.
    vobcheck::Scan pcm = AudioOnly(std::vector<uint8_t>(4010), 0xBD, 0xA0);
    vobcheck::CheckAudioFrames(pcm);
    EXPECT_EQ(pcm.errors.size(), 1u);
    std::vector<uint8_t> ac3(2 * 1792 - 10, 0);
    for (size_t at : {size_t(0), size_t(1792)}) {
        ac3[at] = 0x0B;
        ac3[at + 1] = 0x77;
        ac3[at + 4] = 0x1E;
    }
    vobcheck::Scan ac3Scan = AudioOnly(ac3, 0xBD, 0x80);
    vobcheck::CheckAudioFrames(ac3Scan);
    ASSERT_EQ(ac3Scan.errors.size(), 1u);
    EXPECT_EQ(ac3Scan.errors[0], "the audio ends 1782 bytes into AC-3 frame 1 of 1792 bytes");
}
