// The radio layer without a radio: device strings, the band's windows and when the radio moves,
// rtl_tcp's command bytes, and the device runner over a radio that fails, overflows and is
// retuned: it reconnects with its back-off, never splices across a loss and never blocks.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <algorithm>
#include <cmath>
#include <deque>
#include <mutex>
#include <thread>

#include "sdr/band_scan.h"
#include "sdr/device_runner.h"
#include "sdr/device_address.h"
#include "sdr/rtl_tcp_device.h"

using namespace nimbra::sdr;

TEST(DeviceAddress, RtlTcpUrlsAndSoapyStrings)
{
    DeviceAddress s;
    std::string error;
    ASSERT_TRUE(parseDeviceAddress("rtl_tcp://192.168.1.20:1235", s, error)) << error;
    EXPECT_EQ(s.kind, DeviceAddress::Kind::RtlTcp);
    EXPECT_EQ(s.host, "192.168.1.20");
    EXPECT_EQ(s.port, 1235);
    ASSERT_TRUE(parseDeviceAddress("rtl_tcp://sdr.local", s, error));
    EXPECT_EQ(s.port, 1234);
    ASSERT_TRUE(parseDeviceAddress("rtl_tcp://[::1]:7373/", s, error));
    EXPECT_EQ(s.host, "::1");
    EXPECT_EQ(s.port, 7373);
    ASSERT_TRUE(parseDeviceAddress("driver=airspy,serial=0x1234", s, error));
    EXPECT_EQ(s.kind, DeviceAddress::Kind::Soapy);
    EXPECT_EQ(s.soapyArgs, "driver=airspy,serial=0x1234");
    for (const char* bad : {"rtl_tcp://", "rtl_tcp://host:0", "rtl_tcp://host:99999", "rtl_tcp://host:12ab",
                            "http://host", "rtlsdr", "driver=rtlsdr,oops", "", "rtl_tcp://a/b"}) {
        error.clear();
        EXPECT_FALSE(parseDeviceAddress(bad, s, error)) << bad;
        EXPECT_NE(error, "") << bad;
        EXPECT_EQ(error.find('\n'), std::string::npos);
    }
}

TEST(BandScan, TheWholeBandAtOnceWhereTheRateAllowsElseWindowsThatCoverIt)
{
    const BandPlan wide = planBand(1676e6, 1682e6, 10e6, std::nullopt);
    ASSERT_EQ(wide.windows.size(), 1u);
    EXPECT_DOUBLE_EQ(wide.windows[0], 1679e6);
    const BandPlan rtl = planBand(1676e6, 1682e6, 2.4e6, std::nullopt);
    ASSERT_EQ(rtl.windows.size(), 4u);
    // Every frequency of the band lies in the usable part of some window.
    for (double f = 1676e6; f <= 1682e6; f += 10e3) {
        bool covered = false;
        for (double c : rtl.windows)
            covered = covered || std::fabs(f - c) <= 0.5 * kUsableShare * 2.4e6 + 1.0;
        EXPECT_TRUE(covered) << f;
    }
    const BandPlan fixed = planBand(1676e6, 1682e6, 2.4e6, 1680.2e6);
    ASSERT_EQ(fixed.windows.size(), 1u);
    EXPECT_TRUE(fixed.fixed);
}

TEST(BandScan, StaysWhileASondeDecodesAndMovesOnAfterTheDwell)
{
    BandScan scan(planBand(1676e6, 1682e6, 2.4e6, std::nullopt));
    EXPECT_FALSE(scan.step(0.0, -1.0));
    EXPECT_FALSE(scan.step(BandScan::kDwellS - 0.1, -1.0));
    auto next = scan.step(BandScan::kDwellS + 0.1, -1.0);
    ASSERT_TRUE(next);
    EXPECT_DOUBLE_EQ(*next, scan.plan().windows[1]);
    // A sonde decoding here holds the radio, until it has been quiet for the hold time.
    const double t0 = BandScan::kDwellS + 0.1;
    for (double t = t0; t < t0 + 60.0; t += 1.0)
        EXPECT_FALSE(scan.step(t, t - 0.5)) << t;
    EXPECT_FALSE(scan.step(t0 + 60.0 + BandScan::kHoldS - 1.0, t0 + 60.0));
    EXPECT_TRUE(scan.step(t0 + 60.0 + BandScan::kHoldS + 0.5, t0 + 60.0));
    // Round the windows and back to the first.
    BandScan round(planBand(1676e6, 1682e6, 2.4e6, std::nullopt));
    double t = 0.0;
    round.step(t, -1.0);
    for (std::size_t k = 1; k <= round.plan().windows.size(); ++k) {
        t += BandScan::kDwellS + 0.1;
        ASSERT_TRUE(round.step(t, -1.0));
    }
    EXPECT_EQ(round.window(), 0u);
}

TEST(RtlTcp, CommandsAreACodeAndABigEndianParameter)
{
    EXPECT_EQ(RtlTcpDevice::command(0x01, 1680000000u),
              (std::vector<std::uint8_t>{0x01, 0x64, 0x22, 0xC4, 0x00}));
    // A negative correction goes as its two's complement.
    EXPECT_EQ(RtlTcpDevice::command(0x05, static_cast<std::uint32_t>(-12)),
              (std::vector<std::uint8_t>{0x05, 0xFF, 0xFF, 0xFF, 0xF4}));
}

namespace {

// A radio scripted read by read: "ok" delivers 1000 samples, "fail" fails the read, "overflow"
// reports a drop; opens fail while `refuseOpens` > 0.
class ScriptedRadio : public SdrDevice {
public:
    std::deque<std::string> script;
    std::atomic<int> refuseOpens{0};
    std::atomic<int> opens{0};
    std::atomic<double> tuned{0.0};
    std::mutex mutex;

    bool open(const SdrSettings& s, std::string& error) override
    {
        if (refuseOpens > 0) {
            --refuseOpens;
            error = "scripted: not there";
            return false;
        }
        ++opens;
        tuned = s.frequencyHz;
        return true;
    }
    bool retune(double hz, std::string&) override
    {
        tuned = hz;
        return true;
    }
    ReadResult read(std::complex<float>* out, std::size_t max, int) override
    {
        std::string step;
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (script.empty()) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
                return {ReadResult::Status::Timeout, 0, 0, ""};
            }
            step = script.front();
            script.pop_front();
        }
        if (step == "fail")
            return {ReadResult::Status::Failed, 0, 0, "scripted: gone"};
        if (step == "overflow")
            return {ReadResult::Status::Overflow, 0, 500, ""};
        const std::size_t n = std::min<std::size_t>(1000, max);
        for (std::size_t i = 0; i < n; ++i)
            out[i] = {float(tuned / 1e9), 0.0f};
        return {ReadResult::Status::Ok, n, 0, ""};
    }
    void close() override {}
    std::string describe() const override { return "scripted"; }
};

std::vector<SampleChunk> popAll(DeviceRunner& runner, std::size_t count, int timeoutMs = 3000)
{
    std::vector<SampleChunk> chunks;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (chunks.size() < count && std::chrono::steady_clock::now() < until) {
        SampleChunk c;
        if (runner.pop(c, 50))
            chunks.push_back(std::move(c));
    }
    return chunks;
}

}  // namespace

TEST(DeviceRunner, ReconnectsAfterFailuresAndMarksEveryBreak)
{
    auto radio = std::make_unique<ScriptedRadio>();
    ScriptedRadio& r = *radio;
    r.refuseOpens = 2;  // not there yet: 0.5 s, then 1 s of back-off
    r.script = {"ok", "ok", "fail", "ok", "overflow", "ok"};
    SdrSettings s;
    s.rate = 1e6;
    DeviceRunner runner(std::move(radio), s);
    std::vector<std::string> notes;
    std::mutex m;
    runner.setNoteSink([&](const std::string& n) {
        std::lock_guard<std::mutex> lock(m);
        notes.push_back(n);
    });
    const auto start = std::chrono::steady_clock::now();
    runner.start();
    const auto chunks = popAll(runner, 4, 5000);
    const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ASSERT_EQ(chunks.size(), 4u);
    EXPECT_GT(took, 1.4);  // the two refusals' back-off
    EXPECT_LT(took, 3.0);
    EXPECT_FALSE(chunks[1].gapBefore);
    EXPECT_TRUE(chunks[2].gapBefore) << "after the failure";
    EXPECT_TRUE(chunks[3].gapBefore) << "after the overflow";
    EXPECT_EQ(chunks[3].lostBefore, 0u);  // the overflow's own count goes to the status
    EXPECT_EQ(r.opens, 2);
    const DeviceStatus st = runner.status();
    EXPECT_EQ(st.state, DeviceStatus::State::Running);
    EXPECT_EQ(st.reconnects, 1);
    EXPECT_EQ(st.overflows, 1);
    EXPECT_EQ(st.lost, 500u);
    runner.stop();
    std::lock_guard<std::mutex> lock(m);
    // The refusal is noted once, not at each attempt.
    EXPECT_EQ(std::count_if(notes.begin(), notes.end(),
                            [](const std::string& n) { return n.find("not there") != std::string::npos; }),
              1);
}

TEST(DeviceRunner, RetunesBetweenReadsAndDropsTheOldestWhenTheDecoderFallsBehind)
{
    auto radio = std::make_unique<ScriptedRadio>();
    ScriptedRadio& r = *radio;
    for (int i = 0; i < 10; ++i)
        r.script.push_back("ok");
    SdrSettings s;
    s.rate = 1000.0;  // a queue of 2 s: two chunks
    s.frequencyHz = 1680e6;
    DeviceRunner runner(std::move(radio), s);
    runner.start();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the decoder is busy elsewhere
    SampleChunk first;
    ASSERT_TRUE(runner.pop(first, 1000));
    EXPECT_TRUE(first.gapBefore);
    EXPECT_EQ(first.lostBefore, 8000u);
    EXPECT_EQ(runner.status().lost, 8000u);
    {
        std::lock_guard<std::mutex> lock(r.mutex);
        r.script = {"ok", "ok"};
    }
    runner.retune(1681e6);
    std::vector<SampleChunk> after = popAll(runner, 3, 2000);
    auto it = std::find_if(after.begin(), after.end(), [](const SampleChunk& c) { return c.tunedHz == 1681e6; });
    ASSERT_NE(it, after.end());
    const SampleChunk& moved = *it;
    EXPECT_TRUE(moved.gapBefore);
    EXPECT_FLOAT_EQ(moved.samples[0].real(), 1.681f);
    runner.stop();
    EXPECT_EQ(runner.status().state, DeviceStatus::State::Stopped);
}
