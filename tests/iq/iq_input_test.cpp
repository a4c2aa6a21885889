// IQ input: the raw formats of the SDR tools converted to full-scale floats, raw streams that end
// inside a sample, IQ WAVE files, and the checks that give bad input one clear line.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "iq/iq_format.h"
#include "iq/iq_source.h"
#include "synth/iq_writer.h"

using nimbra::iq::IqFormat;

namespace {

std::string tempPath(const std::string& name)
{
    return ::testing::TempDir() + "nimbra-iq-" + std::to_string(::getpid()) + "-" + name;
}

void writeBytes(const std::string& path, const std::vector<unsigned char>& bytes)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

std::vector<std::complex<float>> readAll(nimbra::iq::IqSource& source)
{
    std::vector<std::complex<float>> out;
    while (source.read(out, 7) > 0) {
    }
    return out;
}

}  // namespace

TEST(IqFormat, EachFormatConvertsToFullScaleFloats)
{
    std::complex<float> z[2];
    const unsigned char cu8[] = {0, 255, 128, 127};
    nimbra::iq::convertIq(IqFormat::Cu8, cu8, 2, z);
    EXPECT_FLOAT_EQ(z[0].real(), -127.5f / 128.0f);
    EXPECT_FLOAT_EQ(z[0].imag(), 127.5f / 128.0f);
    EXPECT_FLOAT_EQ(z[1].real(), 0.5f / 128.0f);
    EXPECT_FLOAT_EQ(z[1].imag(), -0.5f / 128.0f);

    const unsigned char cs8[] = {0x80, 0x7F, 0x00, 0xFF};
    nimbra::iq::convertIq(IqFormat::Cs8, cs8, 2, z);
    EXPECT_EQ(z[0], std::complex<float>(-1.0f, 127.0f / 128.0f));
    EXPECT_EQ(z[1], std::complex<float>(0.0f, -1.0f / 128.0f));

    const unsigned char cs16[] = {0x00, 0x80, 0xFF, 0x7F, 0x01, 0x00, 0xFF, 0xFF};  // little-endian
    nimbra::iq::convertIq(IqFormat::Cs16, cs16, 2, z);
    EXPECT_EQ(z[0], std::complex<float>(-1.0f, 32767.0f / 32768.0f));
    EXPECT_EQ(z[1], std::complex<float>(1.0f / 32768.0f, -1.0f / 32768.0f));

    // 0.25, -1.5, then NaN and infinity, which must not reach the receiver.
    const unsigned char cf32[] = {0x00, 0x00, 0x80, 0x3E, 0x00, 0x00, 0xC0, 0xBF,
                                  0x00, 0x00, 0xC0, 0x7F, 0x00, 0x00, 0x80, 0x7F};
    nimbra::iq::convertIq(IqFormat::Cf32, cf32, 2, z);
    EXPECT_EQ(z[0], std::complex<float>(0.25f, -1.5f));
    EXPECT_EQ(z[1], std::complex<float>(0.0f, 0.0f));
}

TEST(IqFormat, NamesAndSampleSizes)
{
    for (const char* name : {"cu8", "cs8", "cs16", "cf32", "wav"}) {
        const auto f = nimbra::iq::parseIqFormat(name);
        ASSERT_TRUE(f) << name;
        EXPECT_STREQ(nimbra::iq::iqFormatName(*f), name);
    }
    EXPECT_FALSE(nimbra::iq::parseIqFormat("u8"));
    EXPECT_FALSE(nimbra::iq::parseIqFormat(""));
    EXPECT_EQ(nimbra::iq::bytesPerIqSample(IqFormat::Cu8), 2u);
    EXPECT_EQ(nimbra::iq::bytesPerIqSample(IqFormat::Cs16), 4u);
    EXPECT_EQ(nimbra::iq::bytesPerIqSample(IqFormat::Cf32), 8u);
}

TEST(IqInput, RawFileEndingInsideASampleDecodesToItsLastWholeSample)
{
    // Five cs16 samples and three bytes of a sixth.
    std::vector<unsigned char> bytes;
    for (int i = 0; i < 5; ++i)
        for (int v : {i * 100, -i * 100}) {
            bytes.push_back(static_cast<unsigned char>(v & 0xFF));
            bytes.push_back(static_cast<unsigned char>((v >> 8) & 0xFF));
        }
    bytes.insert(bytes.end(), {1, 2, 3});
    const std::string path = tempPath("cut.cs16");
    writeBytes(path, bytes);
    std::string error;
    auto source = nimbra::iq::openIqInput(path, IqFormat::Cs16, 192000.0, error);
    ASSERT_TRUE(source) << error;
    EXPECT_EQ(source->totalFrames(), 5);
    EXPECT_EQ(source->sampleRate(), 192000.0);
    const auto z = readAll(*source);
    ASSERT_EQ(z.size(), 5u);
    EXPECT_EQ(z[4], std::complex<float>(400.0f / 32768.0f, -400.0f / 32768.0f));
    std::remove(path.c_str());
}

TEST(IqInput, PipeDeliveringSamplesInPiecesCutMidSampleKeepsThemWhole)
{
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    // cf32 samples k + 0.5j, written three bytes at a time.
    std::vector<unsigned char> bytes;
    for (int k = 0; k < 50; ++k)
        for (float v : {float(k), 0.5f}) {
            unsigned char b[4];
            std::memcpy(b, &v, 4);
            bytes.insert(bytes.end(), b, b + 4);
        }
    std::thread writer([&] {
        for (std::size_t i = 0; i < bytes.size(); i += 3) {
            const ssize_t n = ::write(fds[1], bytes.data() + i, std::min<std::size_t>(3, bytes.size() - i));
            ASSERT_GT(n, 0);
            if (i % 96 == 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        ::close(fds[1]);
    });
    auto source = nimbra::iq::openRawIq(fds[0], "pipe", IqFormat::Cf32, 48000.0);
    EXPECT_EQ(source->totalFrames(), -1);
    const auto z = readAll(*source);
    writer.join();
    ASSERT_EQ(z.size(), 50u);
    for (int k = 0; k < 50; ++k)
        EXPECT_EQ(z[k], std::complex<float>(float(k), 0.5f)) << k;
}

TEST(IqInput, WaveFilesOf16BitAndFloatSamplesReadBackAsWritten)
{
    std::vector<std::complex<float>> written;
    for (int k = 0; k < 1000; ++k)
        written.emplace_back(0.5f * std::sin(0.01f * k), -0.25f * std::cos(0.02f * k));
    for (auto format : {nimbra::synth::IqFileFormat::Wave16, nimbra::synth::IqFileFormat::WaveFloat}) {
        const std::string path = tempPath("iq.wav");
        nimbra::synth::IqWriter writer;
        std::string error;
        ASSERT_TRUE(writer.open(path, format, 240000, written.size(), 1.0, error)) << error;
        ASSERT_TRUE(writer.write(written, error)) << error;
        ASSERT_TRUE(writer.close(error)) << error;
        auto source = nimbra::iq::openIqInput(path, IqFormat::Wave, 0.0, error);
        ASSERT_TRUE(source) << error;
        EXPECT_EQ(source->sampleRate(), 240000.0);
        EXPECT_EQ(source->totalFrames(), 1000);
        const auto z = readAll(*source);
        ASSERT_EQ(z.size(), written.size());
        const float tolerance = format == nimbra::synth::IqFileFormat::Wave16 ? 1.0f / 32768.0f : 0.0f;
        for (std::size_t i = 0; i < z.size(); ++i) {
            EXPECT_NEAR(z[i].real(), written[i].real(), tolerance) << i;
            EXPECT_NEAR(z[i].imag(), written[i].imag(), tolerance) << i;
        }
        std::remove(path.c_str());
    }
}

TEST(IqInput, BadInputGetsOneLineNamingTheProblem)
{
    std::string error;
    EXPECT_FALSE(nimbra::iq::openIqInput(tempPath("missing.cu8"), IqFormat::Cu8, 2400000.0, error));
    EXPECT_NE(error.find("No such file"), std::string::npos) << error;

    // A mono WAVE file is not IQ.
    const std::string mono = tempPath("mono.wav");
    {
        std::vector<unsigned char> h = {'R', 'I', 'F', 'F', 44, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ',
                                        16, 0, 0, 0, 1, 0, 1, 0, 0x80, 0xBB, 0, 0, 0, 0x77, 1, 0, 2, 0, 16, 0,
                                        'd', 'a', 't', 'a', 8, 0, 0, 0, 1, 0, 2, 0, 3, 0, 4, 0};
        writeBytes(mono, h);
    }
    error.clear();
    EXPECT_FALSE(nimbra::iq::openIqInput(mono, IqFormat::Wave, 0.0, error));
    EXPECT_NE(error.find("two channels"), std::string::npos) << error;
    EXPECT_EQ(error.find('\n'), std::string::npos);

    // Not a WAVE file at all.
    writeBytes(mono, {'n', 'o', 't', ' ', 'a', ' ', 'w', 'a', 'v', 'e'});
    error.clear();
    EXPECT_FALSE(nimbra::iq::openIqInput(mono, IqFormat::Wave, 0.0, error));
    EXPECT_NE(error.find("not a WAVE file"), std::string::npos) << error;
    std::remove(mono.c_str());

    // Rates outside 48 kS/s .. 10 MS/s, from the option or from a WAVE header.
    const std::string raw = tempPath("rate.cu8");
    writeBytes(raw, {127, 128});
    for (double rate : {47999.0, 10000001.0}) {
        error.clear();
        EXPECT_FALSE(nimbra::iq::openIqInput(raw, IqFormat::Cu8, rate, error)) << rate;
        EXPECT_NE(error.find("48000 to 10000000"), std::string::npos) << error;
    }
    std::remove(raw.c_str());
    const std::string slow = tempPath("slow.wav");
    {
        nimbra::synth::IqWriter writer;
        ASSERT_TRUE(writer.open(slow, nimbra::synth::IqFileFormat::Wave16, 8000, 1, 1.0, error));
        ASSERT_TRUE(writer.write({{0.1f, 0.1f}}, error));
        ASSERT_TRUE(writer.close(error));
    }
    error.clear();
    EXPECT_FALSE(nimbra::iq::openIqInput(slow, IqFormat::Wave, 0.0, error));
    EXPECT_NE(error.find("8000"), std::string::npos) << error;
    std::remove(slow.c_str());

    // A --rate given with a WAVE file: the header's rate is accepted, another names both.
    const std::string wave = tempPath("rate.wav");
    {
        nimbra::synth::IqWriter writer;
        ASSERT_TRUE(writer.open(wave, nimbra::synth::IqFileFormat::Wave16, 96000, 1, 1.0, error));
        ASSERT_TRUE(writer.write({{0.1f, 0.1f}}, error));
        ASSERT_TRUE(writer.close(error));
    }
    error.clear();
    EXPECT_TRUE(nimbra::iq::openIqInput(wave, IqFormat::Wave, 96000.0, error)) << error;
    EXPECT_FALSE(nimbra::iq::openIqInput(wave, IqFormat::Wave, 192000.0, error));
    EXPECT_NE(error.find("192000"), std::string::npos) << error;
    EXPECT_NE(error.find("96000"), std::string::npos) << error;
    EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    std::remove(wave.c_str());
}
