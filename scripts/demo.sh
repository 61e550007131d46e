#!/bin/sh
# Builds vu32 and turns the bundled CR LF Shift-JIS sample into LF line ends.
set -eu
cd "$(dirname "$0")/.."
sh scripts/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build >/dev/null
echo "samples/crlf.txt (CR LF):"
od -An -tx1 samples/crlf.txt | head -n 3
echo "vu32 -Cu < samples/crlf.txt (LF):"
./build/vu32 -Cu < samples/crlf.txt 2>/dev/null | od -An -tx1 | head -n 3
