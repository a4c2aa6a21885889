#!/usr/bin/env bash
# nimbra-decode on bad inputs that its own tests leave out: a recording cut off in the middle of a
# block, a header that promises more than the file holds, an odd byte count in a file, bytes that
# are no recording at all, a file of 4 GB, a file the user may not read, and a read that fails
# half-way. Each case checks the exit status, that nothing decoded is lost, and that a failure
# says what went wrong in one line.
#   bash bad_input_test.sh NIMBRA_DECODE NIMBRA_SYNTH run-4gb|skip-4gb
set -uo pipefail
decode=$1
synth=$2
big=${3:-run-4gb}
work=$(mktemp -d /tmp/nimbra-bad-input.XXXXXX)
chmod 755 "$work"
trap 'rm -rf "$work"' EXIT
failures=0

fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# Runs nimbra-decode -q ARGS; sets status, out (lines without their time stamps) and err.
run() {
  "$decode" -q "$@" >"$work/out" 2>"$work/err"
  status=$?
  out=$(cut -c22- "$work/out")
  err=$(cat "$work/err")
}

# A recording of 3 GPS blocks and what each line must say after its time stamp.
"$synth" --duration 3 --no-ptu --expected "$work/flight.csv" "$work/flight.wav" >/dev/null ||
  { echo "FAIL: nimbra-synth did not run" >&2; exit 1; }
run "$work/flight.wav"
all_lines=$out
[ "$status" = 0 ] && [ "$(printf '%s\n' "$all_lines" | grep -c .)" = 3 ] ||
  fail "the intact recording: status $status, lines: $all_lines"
first_two=$(printf '%s\n' "$all_lines" | head -2)
size=$(stat -c %s "$work/flight.wav")

# 1. Cut off in the middle of the third block (an odd byte count, too): the two whole blocks are
#    decoded, the cut one is not counted, and the run ends normally.
python3 - "$work/flight.wav" "$work/flight.csv" "$work/cut.wav" <<'EOF'
import csv, sys
data = open(sys.argv[1], 'rb').read()
third_end = float(list(csv.DictReader(open(sys.argv[2])))[2]['end_s'])
cut = 44 + 2 * int((third_end - 0.05) * 48000) + 1  # 50 ms before its end, and an odd size
open(sys.argv[3], 'wb').write(data[:cut])
EOF
for mode in "" "--raw"; do
  run $mode "$work/cut.wav"
  [ "$status" = 0 ] || fail "cut recording $mode: status $status ($err)"
  [ "$out" = "$first_two" ] || fail "cut recording $mode: lines differ: $out"
  grep -q "^good 2 bad 0$" <<<"$err" || fail "cut recording $mode: summary: $err"
done

# 2. The header promises twice the data the file holds (a recorder that died before it could
#    write the header again): what is there is decoded.
python3 - "$work/flight.wav" "$work/short.wav" <<'EOF'
import struct, sys
data = bytearray(open(sys.argv[1], 'rb').read())
pos = data.find(b'data')
size = struct.unpack_from('<I', data, pos + 4)[0]
struct.pack_into('<I', data, pos + 4, size * 2)
struct.pack_into('<I', data, 4, struct.unpack_from('<I', data, 4)[0] + size)
open(sys.argv[2], 'wb').write(data)
EOF
run "$work/short.wav"
[ "$status" = 0 ] && [ "$out" = "$all_lines" ] ||
  fail "header longer than the data: status $status, lines: $out ($err)"

# 3. An odd byte count in a raw file: the last byte is not a sample; the lines are those of the
#    even file.
cp "$work/flight.wav" "$work/odd.raw"
printf '\x7f' >>"$work/odd.raw"
run --raw "$work/odd.raw"
[ "$status" = 0 ] && [ "$out" = "$all_lines" ] || fail "odd byte count: status $status, lines: $out"

# 4. Bytes that are no recording: refused by the file reader with one line; as raw samples they
#    decode to nothing, which is reported as such (good 0 bad 0), not as a failure.
head -c 200000 /dev/urandom >"$work/random.bin"
run "$work/random.bin"
[ "$status" = 2 ] && [ -z "$out" ] && [ "$(wc -l <"$work/err")" = 1 ] &&
  grep -q "not an audio file" <<<"$err" || fail "random bytes: status $status, err: $err"
run --raw "$work/random.bin"
[ "$status" = 0 ] && [ -z "$out" ] || fail "random bytes as raw: status $status, out: $out"

# 5. A file the user may not read. Root reads anything, so as root the reader runs as "nobody".
cp "$work/flight.wav" "$work/secret.wav"
chmod 000 "$work/secret.wav"
as_user=()
if [ "$(id -u)" = 0 ]; then
  as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
fi
"${as_user[@]}" "$decode" -q "$work/secret.wav" >"$work/out" 2>"$work/err"
status=$?
[ "$status" = 2 ] && [ ! -s "$work/out" ] && grep -q "secret.wav: Permission denied" "$work/err" ||
  fail "unreadable file: status $status, err: $(cat "$work/err")"
"${as_user[@]}" "$decode" -q --raw "$work/secret.wav" >"$work/out" 2>"$work/err"
status=$?
[ "$status" = 2 ] && grep -q "Permission denied" "$work/err" ||
  fail "unreadable raw file: status $status, err: $(cat "$work/err")"

# 6. A read that fails half-way (EIO): a failure, named, with status 2, never a clean end.
run --raw /proc/self/mem
[ "$status" = 2 ] && grep -q "Input/output error" <<<"$err" ||
  fail "read error: status $status, err: $err"

# 7. 4 GB: a sparse WAVE file whose data chunk fills the 32-bit size field (2^31 samples, 12.4
#    hours of silence) with a GPS block at its very end. Counts and the slicer's run length must
#    not overflow on the way: the block decodes.
if [ "$big" = run-4gb ]; then
  # One block, ending with the sync characters that hand its last character over.
  "$synth" --duration 1 --no-ptu "$work/one.wav" >/dev/null
  run "$work/one.wav"
  one_line=$out
  python3 - "$work/one.wav" "$work/big.wav" <<'EOF'
import struct, sys
data = open(sys.argv[1], 'rb').read()
pos = data.find(b'data')
samples = data[pos + 8:]
size = 4294967040
header = (b'RIFF' + struct.pack('<I', 36 + size) + b'WAVEfmt ' +
          struct.pack('<IHHIIHH', 16, 1, 1, 48000, 96000, 2, 16) + b'data' + struct.pack('<I', size))
with open(sys.argv[2], 'wb') as f:
    f.write(header)
    f.seek(44 + size - len(samples))
    f.write(samples)
EOF
  run "$work/big.wav"
  [ "$status" = 0 ] && [ -n "$one_line" ] && [ "$out" = "$one_line" ] &&
    grep -q "^good 1 bad 0$" <<<"$err" || fail "4 GB file: status $status, lines: $out ($err)"
fi

if [ "$failures" != 0 ]; then
  echo "bad_input_test: $failures failure(s)" >&2
  exit 1
fi
echo "bad_input_test: every bad input handled"
