#!/usr/bin/env python3
"""Writes the seed corpora of the core fuzz targets into fuzz/corpus/<target>/.

Seeds are whole telemetry blocks (GPS and PTU blocks with correct and broken checksums, length
fields at and beyond their limits) and short recordings of them as asynchronous-serial audio at
5 and 4.992 samples per bit, each behind the 45-byte decoder header that the targets read first
(layout in fuzz/decoder_setup.h). Deterministic: running it twice gives the same files.
Usage: python3 fuzz/make_seeds.py
"""
import os
import struct

ROOT = os.path.dirname(os.path.abspath(__file__))

INVERT, FILTER, AUTO, REJECT, BADCRC, PSU, CAL, RECORD = (1 << i for i in range(8))


def crc16(data):
    crc = 0
    for b in data:
        crc ^= b << 8
        for _ in range(8):
            crc = ((crc << 1) ^ 0x1021) & 0xFFFF if crc & 0x8000 else (crc << 1) & 0xFFFF
    return crc


def with_crc(body):
    c = crc16(body)
    return body + bytes([c >> 8, c & 0xFF])


def raw_real(value):
    # Mode 0: the raw bit pattern of the float, so the seed carries exact values.
    return bytes([0]) + struct.pack('<f', value)


def header(flags, demod=0, samples_per_bit=4.992, threshold=0.0, max_range=250.0,
           lat=39.75, lon=-76.98, alt=220.0, clock_s=1796545065):
    h = bytes([flags, demod]) + struct.pack('<I', 0)
    for v in (samples_per_bit, threshold, max_range, lat, lon, alt):
        h += raw_real(v)
    h += bytes([1]) + struct.pack('<Q', clock_s - 1672531200)
    assert len(h) == 45
    return h


def gps_block(ident, counter, lat, lon, alt_m, sats=6, length=None, good=True, kind=b'1'):
    fields = struct.pack('>ii', 0x01020304, 0x05060708)
    fields += struct.pack('>iii', round(lat * 2**31 / 180), round(lon * 2**31 / 180),
                          round(alt_m * 1000))
    fields += struct.pack('>ii', 0, 0) + struct.pack('>I', sats)
    fields += bytes((13 * s + i) & 0xFF for s in range(sats) for i in range(13))
    if length is None:
        length = len(fields)
    body = b'$RT' + kind + struct.pack('>HHH', ident, counter, length) + fields
    block = with_crc(body)
    if not good:
        block = block[:20] + bytes([block[20] ^ 0x10]) + block[21:]
    return block


def ptu_block(length=56, seed=0, good=True):
    contents = bytes(((7 * i + seed) * 13) & 0xFF for i in range(length))
    # Channel selectors in the range table, values near mid-scale.
    contents = bytearray(contents)
    for k in range(13):
        if 1 + 3 * k < len(contents):
            contents[1 + 3 * k] = (2 * (k % 16)) & 0x1E
    body = b'$RM' + bytes([0x10, 0x20, 0x30, 0x40, 0x50, 0x60, length]) + bytes(contents)
    block = with_crc(body)
    if not good:
        block = block[:-1] + bytes([block[-1] ^ 1])
    return block


def serial_samples(data, samples_per_bit, amplitude=8000, idle_before=400, idle_after=400):
    """8N1 characters, least significant bit first; a 1 is the low (negative) level, idle low."""
    bits = [1] * int(idle_before / samples_per_bit)
    for byte in data:
        bits.append(0)
        bits.extend((byte >> i) & 1 for i in range(8))
        bits.append(1)
    bits.extend([1] * int(idle_after / samples_per_bit))
    count = int(len(bits) * samples_per_bit)
    out = []
    for n in range(count):
        bit = bits[min(int(n / samples_per_bit), len(bits) - 1)]
        out.append(-amplitude if bit else amplitude)
    return out


def pcm16(samples):
    return b''.join(struct.pack('<h', max(-32768, min(32767, int(s)))) for s in samples)


def f32(samples):
    return b''.join(struct.pack('<f', float(s)) for s in samples)


def chain_prefix(float_samples=False, interval=0, second_demod=0):
    return bytes([1 if float_samples else 0]) + struct.pack('<H', interval) + \
        bytes([second_demod]) + struct.pack('<I', 0)


def write(target, name, data):
    folder = os.path.join(ROOT, 'corpus', target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), 'wb') as f:
        f.write(data)


def main():
    good_gps = gps_block(0x1A2B, 1234, 39.80, -76.90, 5123.4)
    south_west = gps_block(0x00AB, 65535, -33.9, -151.2, 0.0, sats=0, kind=b'2')
    ptu = ptu_block()
    sync = bytes([0xCA, 0xCA])

    framer = 'fuzz_packet_framer'
    all_on = BADCRC | PSU | CAL | RECORD
    write(framer, 'gps_good', header(RECORD) + good_gps)
    write(framer, 'gps_south_west', header(RECORD) + south_west)
    write(framer, 'gps_bad_crc_shown', header(all_on) + gps_block(1, 2, 10, 20, 30, good=False))
    write(framer, 'ptu_then_gps', header(all_on) + sync + ptu + sync + good_gps)
    write(framer, 'ptu_short', header(all_on) + ptu_block(length=20) + good_gps)
    write(framer, 'ptu_long', header(all_on) + ptu_block(length=200, seed=5) + good_gps)
    write(framer, 'gps_length_300', header(all_on) + gps_block(2, 3, 1, 2, 3, sats=20, length=300)
          + bytes(8) + good_gps)
    write(framer, 'gps_length_301', header(all_on) + gps_block(2, 3, 1, 2, 3, length=301)
          + good_gps)
    write(framer, 'gps_length_0', header(all_on) + gps_block(2, 3, 1, 2, 3, length=0) + good_gps)
    write(framer, 'bogus_rejected', header(REJECT | all_on, max_range=30.0)
          + gps_block(5, 6, 80.0, 100.0, 60000.0) + good_gps)
    write(framer, 'stray_dollars', header(RECORD) + b'$$RT1' + b'$R$RM' + good_gps)

    chain = 'fuzz_signal_chain'
    # The last character is handed over only when the line next rises: a NUL ends the stream.
    stream = sync + ptu + sync + good_gps + sync + south_west + b'\0'
    at5 = serial_samples(stream, 5.0)
    write(chain, 'edge_auto', header(AUTO | RECORD | PSU) + chain_prefix() + pcm16(at5))
    write(chain, 'level', header(RECORD, demod=1) + chain_prefix() + pcm16(at5))
    write(chain, 'edge_fixed_threshold', header(RECORD, threshold=3000.0) + chain_prefix()
          + pcm16(at5))
    write(chain, 'edge_inverted_filtered', header(INVERT | FILTER | AUTO | RECORD)
          + chain_prefix() + pcm16([-s // 4 for s in at5]))
    write(chain, 'float_samples', header(AUTO | RECORD) + chain_prefix(float_samples=True)
          + f32(at5))
    pattern = serial_samples(sync + good_gps + sync + ptu, 4.992, idle_after=15500)
    write(chain, 'pattern_4992', header(INVERT | AUTO | RECORD, demod=2, samples_per_bit=4.992)
          + chain_prefix() + pcm16(pattern))
    write(chain, 'pattern_5000_filtered', header(INVERT | FILTER | AUTO | RECORD, demod=2,
                                                 samples_per_bit=5.0)
          + chain_prefix() + pcm16(serial_samples(sync + good_gps, 5.0, idle_after=15500)))
    write(chain, 'sync', header(AUTO | RECORD, demod=3) + chain_prefix() + pcm16(at5))
    write(chain, 'switching_demods', header(AUTO | RECORD, demod=0) +
          chain_prefix(interval=64, second_demod=2) + pcm16(at5))
    write(chain, 'silence_then_block', header(AUTO | RECORD) + chain_prefix()
          + pcm16([0] * 3000 + at5))

    settings_seeds()


SETTINGS_KEYS = ['settingsAreOK', 'recordDecodedText', 'updateBadCrcPackets', 'autoThreshold',
                 'doFiltering', 'invertSignal', 'demodType', 'rejectBogus', 'samplesPerBit',
                 'maxRange', 'userLat', 'userLon', 'userAlt', 'displayPsuData',
                 'displayCalibrationData', 'threshold', 'soundInputDeviceIndex']
FLOAT_KEYS = {'samplesPerBit', 'maxRange', 'userLat', 'userLon', 'userAlt', 'threshold'}


def typed(kind, value):
    """One key of fuzz_settings' typed layout."""
    if kind == 'missing':
        return bytes([0])
    if kind == 'int':
        return bytes([1]) + struct.pack('<i', value)
    if kind == 'double':
        return bytes([2]) + struct.pack('<d', value)
    if kind == 'float':
        return bytes([3]) + struct.pack('<f', value)
    if kind == 'text':
        data = value.encode('latin-1')
        return bytes([4, len(data)]) + data
    raise ValueError(kind)


def settings_seeds():
    target = 'fuzz_settings'
    normal = {'settingsAreOK': 1, 'autoThreshold': 1, 'samplesPerBit': 4.992, 'maxRange': 250.0,
              'userLat': 39.75, 'userLon': -76.98, 'userAlt': 220.0, 'threshold': 1234.5}
    seed = bytes([0])
    for key in SETTINGS_KEYS:
        v = normal.get(key, 0)
        seed += typed('float', v) if key in FLOAT_KEYS else typed('int', int(v))
    write(target, 'typed_normal', seed)

    nonsense = bytes([0]) + typed('int', 1)
    odd = [typed('text', 'yes'), typed('double', float('nan')), typed('text', '1e999'),
           typed('int', -2147483648), typed('double', 1e300), typed('text', '39,75'),
           typed('double', float('-inf')), typed('text', ''), typed('int', 7)]
    for i, key in enumerate(SETTINGS_KEYS[1:]):
        nonsense += odd[i % len(odd)]
    write(target, 'typed_nonsense', nonsense)
    write(target, 'typed_only_ok_key', bytes([0]) + typed('int', 1) + bytes(16))
    write(target, 'typed_first_start', bytes([0]) + typed('missing', 0) + typed('int', 1) * 16)

    ini = ('[General]\nautoThreshold=1\ndemodType=2\ndisplayCalibrationData=0\n'
           'displayPsuData=0\ndoFiltering=0\ninvertSignal=0\nmaxRange=250\nrecordDecodedText=0\n'
           'rejectBogus=0\nsamplesPerBit=4.992000102996826\nsettingsAreOK=1\n'
           'soundInputDeviceIndex=0\nthreshold=1234.5\nupdateBadCrcPackets=0\n'
           'userAlt=220\nuserLat=39.75\nuserLon=-76.9800033569336\n')
    write(target, 'file_normal', bytes([1]) + ini.encode())
    bad_ini = ('[General]\nsettingsAreOK=true\ndemodType=-7\nsamplesPerBit=nan\n'
               'threshold=1e40\nuserLat=@Variant(\\0\\0\\0\\x87\\x42\\x1f\\0\\0)\n'
               'userLon="12, 13"\nmaxRange=@ByteArray(abc)\nsoundInputDeviceIndex=99999999999\n'
               '[General\nuserAlt\n=5\n')
    write(target, 'file_nonsense', bytes([1]) + bad_ini.encode())


if __name__ == '__main__':
    main()
