// The RIFF WAVE header shared by recordings and written files: its bytes for known
// shapes, rewriting it over a placeholder, and FFmpeg reading a file that carries it.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "base/File.h"
#include "media/FfmpegLoader.h"
#include "media/FfmpegPtr.h"
#include "media/WaveHeader.h"
#include "support/TestSupport.h"

using testsupport::TempDir;

TEST(WaveHeader, BytesForKnownShapes)
{
    // One second of 48 kHz 16-bit stereo: 192,000 bytes of samples.
    const std::vector<uint8_t> stereo = {'R',  'I',  'F',  'F',  0x24, 0xEE, 0x02, 0x00, 'W',  'A',  'V',
                                         'E',  'f',  'm',  't',  ' ',  0x10, 0x00, 0x00, 0x00, 0x01, 0x00,
                                         0x02, 0x00, 0x80, 0xBB, 0x00, 0x00, 0x00, 0xEE, 0x02, 0x00, 0x04,
                                         0x00, 0x10, 0x00, 'd',  'a',  't',  'a',  0x00, 0xEE, 0x02, 0x00};
    std::vector<uint8_t> header(kWaveHeaderBytes, 0xAA);
    PutWaveHeader(header.data(), 2, 48000, 16, 192000);
    EXPECT_EQ(header, stereo);

    // 8-bit mono at 22,050 Hz, odd data size: one byte per sample and per second's step.
    const std::vector<uint8_t> mono = {'R',  'I',  'F',  'F',  0x2B, 0x00, 0x00, 0x00, 'W',  'A',  'V',
                                       'E',  'f',  'm',  't',  ' ',  0x10, 0x00, 0x00, 0x00, 0x01, 0x00,
                                       0x01, 0x00, 0x22, 0x56, 0x00, 0x00, 0x22, 0x56, 0x00, 0x00, 0x01,
                                       0x00, 0x08, 0x00, 'd',  'a',  't',  'a',  0x07, 0x00, 0x00, 0x00};
    PutWaveHeader(header.data(), 1, 22050, 8, 7);
    EXPECT_EQ(header, mono);

    // The largest size still fits: the RIFF size is all ones.
    PutWaveHeader(header.data(), 2, 48000, 16, kWaveMaxDataBytes);
    EXPECT_EQ(std::vector<uint8_t>(header.begin() + 4, header.begin() + 8), std::vector<uint8_t>(4, 0xFF));
}

TEST(WaveHeader, FinalHeaderReplacesThePlaceholderAndFfmpegReadsTheFile)
{
    TempDir dir;
    const std::string path = dir.File("take.wav");
    // Recorded as a recording is: placeholder header, samples, final header.
    std::vector<uint8_t> samples(4800 * 4);
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = uint8_t(i * 7);
    {
        FilePtr file = OpenFile(path, "wb");
        ASSERT_TRUE(file);
        ASSERT_TRUE(WriteWaveHeader(file.get(), 2, 48000, 16, 0));
        ASSERT_EQ(std::ftell(file.get()), long(kWaveHeaderBytes));
        ASSERT_EQ(std::fwrite(samples.data(), 1, samples.size(), file.get()), samples.size());
        ASSERT_TRUE(WriteWaveHeader(file.get(), 2, 48000, 16, uint32_t(samples.size())));
        EXPECT_EQ(std::ftell(file.get()), long(kWaveHeaderBytes));
    }
    const std::vector<uint8_t> bytes = testsupport::ReadBytes(path);
    ASSERT_EQ(bytes.size(), kWaveHeaderBytes + samples.size());
    std::vector<uint8_t> expected(kWaveHeaderBytes);
    PutWaveHeader(expected.data(), 2, 48000, 16, uint32_t(samples.size()));
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + kWaveHeaderBytes), expected);
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + kWaveHeaderBytes, bytes.end()), samples);

    // A stream that cannot be written reports it.
    FilePtr readOnly = OpenFile(path, "rb");
    ASSERT_TRUE(readOnly);
    EXPECT_FALSE(WriteWaveHeader(readOnly.get(), 2, 48000, 16, 0));

    // FFmpeg's own demuxer reads the shape and length back.
    ASSERT_TRUE(FfmpegAvailable());
    InputPtr input = OpenInput(path.c_str(), nullptr, nullptr);
    ASSERT_TRUE(input);
    ASSERT_GE(ff().avformat_find_stream_info(input.get(), nullptr), 0);
    ASSERT_EQ(input->nb_streams, 1u);
    const AVCodecParameters* par = input->streams[0]->codecpar;
    EXPECT_EQ(par->codec_id, AV_CODEC_ID_PCM_S16LE);
    EXPECT_EQ(par->sample_rate, 48000);
    EXPECT_EQ(par->ch_layout.nb_channels, 2);
    EXPECT_EQ(ff().av_rescale_q(input->duration, AV_TIME_BASE_Q, AVRational{1, 1000}), 100);
}
