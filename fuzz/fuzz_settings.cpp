// Fuzz target: loading the decoder parameters from a settings store holding anything.
//
// In:  byte 0 chooses how the store is filled:
//   even: typed values. For each of the 17 keys (settingsAreOK first, then the 16 parameters) a
//         type byte: 0 missing, 1 int32, 2 double (raw bits, NaN and infinities included),
//         3 float (raw bits), 4 text (a length byte, then that many Latin-1 bytes), 5 bool,
//         6 byte array (length byte and bytes), 7 list of two texts; then the value bytes.
//   odd:  the rest of the input is the store's file itself, as if edited by hand or damaged.
// Then LoadSettings reads the store (the program's own function, on a store in a fresh folder
// for every input). Every sanitizer finding is a crash; nothing is checked beyond that, since
// the store's values are, by design, taken as they come.
#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariant>

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "app/settings.h"
#include "demod/decoder_parameters.h"
#include "fuzz/fuzz_input.h"

using nimbra::kApplication, nimbra::kOrganization;

namespace {

const char* const kKeys[] = {"settingsAreOK", "recordDecodedText", "updateBadCrcPackets",
                             "autoThreshold", "doFiltering", "invertSignal", "demodType",
                             "rejectBogus", "samplesPerBit", "maxRange", "userLat", "userLon",
                             "userAlt", "displayPsuData", "displayCalibrationData", "threshold",
                             "soundInputDeviceIndex"};

// Both live until the process ends: destroying the application object from a static destructor,
// after Qt's own globals are gone, would crash at exit.
QCoreApplication* app = nullptr;
QTemporaryDir* root = nullptr;
long runNumber = 0;

QByteArray bytes(nimbra::fuzz::FuzzInput& in)
{
    const int n = in.byte();
    QByteArray b;
    for (int i = 0; i < n; ++i)
        b.append(static_cast<char>(in.byte()));
    return b;
}

QVariant valueFrom(nimbra::fuzz::FuzzInput& in, int type)
{
    switch (type % 8) {
    case 1:
        return static_cast<int>(in.u32());
    case 2: {
        const std::uint64_t bits = in.u64();
        double v;
        std::memcpy(&v, &bits, sizeof v);
        return v;
    }
    case 3: {
        const std::uint32_t bits = in.u32();
        float v;
        std::memcpy(&v, &bits, sizeof v);
        return v;
    }
    case 4:
        return QString::fromLatin1(bytes(in));
    case 5:
        return (in.byte() & 1) != 0;
    case 6:
        return bytes(in);
    case 7: {
        const QString a = QString::fromLatin1(bytes(in));
        const QString b = QString::fromLatin1(bytes(in));
        return QStringList{a, b};
    }
    default:
        return QVariant();
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    app = new QCoreApplication(*argc, *argv);
    // In memory when possible: every store written is synced to disk, which is slow on a disk.
    const QString base = QDir("/dev/shm").exists() ? QStringLiteral("/dev/shm") : QDir::tempPath();
    root = new QTemporaryDir(base + "/nimbra-fuzz-settings-XXXXXX");
    std::atexit([] { QDir(root->path()).removeRecursively(); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    nimbra::fuzz::FuzzInput in(data, size);
    const bool rawFile = (in.byte() & 1) != 0;

    // A fresh folder for every input, so that no cached copy of an earlier store is read.
    const QString dir = root->path() + "/" + QString::number(runNumber++);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir);
    if (rawFile) {
        // Where the store of this organization and application lives under `dir`.
        const QString folder = dir + "/" + QString::fromLatin1(kOrganization);
        QDir().mkpath(folder);
        QFile f(folder + "/" + QString::fromLatin1(kApplication) + ".conf");
        if (f.open(QIODevice::WriteOnly))
            f.write(reinterpret_cast<const char*>(in.rest()), static_cast<qint64>(in.restSize()));
    } else {
        QSettings store(QString::fromLatin1(kOrganization), QString::fromLatin1(kApplication));
        for (const char* key : kKeys) {
            const int type = in.byte();
            const QVariant v = valueFrom(in, type);
            if (v.isValid())
                store.setValue(QString::fromLatin1(key), v);
        }
    }

    nimbra::DecoderParameters params;
    LoadSettings(params);
    QDir(dir).removeRecursively();
    return 0;
}
