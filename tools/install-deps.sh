#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing need.
# Packages already present are left alone; nothing is reinstalled.
set -euo pipefail

PACKAGES=(
  # toolchain
  build-essential cmake pkg-config ccache
  # LLVM's linker: links the many test programs several times faster than ld.bfd
  lld
  # Qt 5.15: widgets, network, SQLite driver, multimedia, test
  qtbase5-dev qtbase5-dev-tools libqt5sql5-sqlite
  qtmultimedia5-dev libqt5multimedia5-plugins
  # runtime: MP3 playback through GStreamer, a CJK font for the Chinese interface
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good
  fonts-wqy-microhei
  # the speech service
  libespeak-ng-dev espeak-ng-data libmp3lame-dev libmpg123-dev
  libcpp-httplib-dev nlohmann-json3-dev
  # FFmpeg's resampler: joins of passages at different sample rates
  libswresample-dev
  # the service's reading front end: pinyin words, word frequencies,
  # Simplified/Traditional conversion, Japanese words and readings
  # (converted into the service's tables at build time)
  rime-data-terra-pinyin python3-jieba pinyin-database libsqlite3-dev libopencc-dev opencc
  libmecab-dev mecab-ipadic-utf8
  # service and text-rule tests; ICU only to compare the character classes
  # with Unicode's own properties; python3-onnx writes the small neural
  # models the neural engine's tests generate (Debian's python3)
  libgtest-dev libicu-dev python3-onnx
  # service benchmark only: the naive espeak-ng | lame pipeline it compares against
  espeak-ng lame
  # fuzzing the service (CI and fuzz/run.sh): clang with libFuzzer
  clang libclang-rt-14-dev
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

# npm installs the neural voices' runtime into the build tree; a Node.js
# from elsewhere usually brings its own npm, and Debian's would clash with it.
if ! command -v npm >/dev/null 2>&1; then
  missing+=(npm)
fi

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
