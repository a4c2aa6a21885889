// Regressions of loading the decoder parameters from a settings store with nonsense in it, from
// inputs that fuzzing found crashing (fuzz_settings).
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include <cmath>

#include "app/settings.h"
#include "demod/decoder_parameters.h"

using namespace nimbra;

namespace {

// Loads the parameters from a store whose file holds `text`, in a folder of its own.
nimbra::DecoderParameters loadFrom(const QByteArray& text)
{
    static QTemporaryDir root;
    static int n = 0;
    const QString dir = root.path() + "/" + QString::number(n++);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir);
    QDir().mkpath(dir + "/" + kOrganization);
    QFile f(dir + "/" + kOrganization + "/" + kApplication + ".conf");
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[General]\nsettingsAreOK=1\n" + text);
    f.close();
    nimbra::DecoderParameters p;
    LoadSettings(p);
    return p;
}

float thresholdFrom(const char* stored)
{
    return loadFrom(QByteArray("threshold=") + stored + "\n").threshold;
}

}  // namespace

// Found by fuzz_settings: a stored threshold beyond the int range (a damaged store) reached an
// undefined double-to-int conversion. Only the whole part is taken back, as before; NaN reads as
// 0 and values beyond +-1e9 are limited to that.
TEST(RegressionSettings, ThresholdKeepsItsWholePartAndNonsenseIsLimited)
{
    EXPECT_EQ(thresholdFrom("12.7"), 12.0f);
    EXPECT_EQ(thresholdFrom("-3.9"), -3.0f);
    EXPECT_EQ(thresholdFrom("32767"), 32767.0f);
    EXPECT_EQ(thresholdFrom("1e40"), 1e9f);
    EXPECT_EQ(thresholdFrom("-1.2377e+17"), -1e9f);
    EXPECT_EQ(thresholdFrom("nan"), 0.0f);
    EXPECT_EQ(thresholdFrom("inf"), 1e9f);
    EXPECT_EQ(thresholdFrom("many"), 0.0f);  // not a number at all: the store gives 0
}

// The other keys take nonsense as it comes (no range checks), without any undefined step.
TEST(RegressionSettings, OtherKeysTakeNonsenseAsItComes)
{
    const nimbra::DecoderParameters p = loadFrom(
        "demodType=-7\nsamplesPerBit=nan\nuserLat=1e40\nuserLon=\"12, 13\"\n"
        "maxRange=@ByteArray(abc)\nsoundInputDeviceIndex=57\nautoThreshold=true\n");
    EXPECT_EQ(p.demodType, -7);
    EXPECT_TRUE(std::isnan(p.samplesPerBit.load()));
    EXPECT_TRUE(std::isinf(p.userLat.load()));  // 1e40 does not fit a float
    EXPECT_EQ(p.userLon, 0.0f);   // a list is not a number
    EXPECT_EQ(p.maxRange, 0.0f);  // "abc" is not a number
    EXPECT_EQ(p.soundInputDeviceIndex, 57);  // no such device: the sound input refuses it
    EXPECT_EQ(p.autoThreshold, 0);           // "true" is text, not a number: 0
    EXPECT_EQ(p.userAlt, 0.0f);             // missing
}
