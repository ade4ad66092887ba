#!/usr/bin/env bash
# Installs what the build and the tests need and is not on the machine yet. Idempotent; called
# by tools/test.sh, tools/demo.sh and tools/bench.sh. Pass "demo" to install only what the demo
# and the benchmarks need.
set -euo pipefail

what=${1:-all}
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

packages=(cmake ninja-build g++ pkg-config libgtest-dev googletest libpugixml-dev libexpat1-dev libbenchmark-dev tzdata time
          libacl1-dev libattr1-dev python3)
if [ "$what" = all ]; then
  packages+=(g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686
             mingw-w64-i686-dev xvfb xauth locales valgrind clang
             libclang-rt-14-dev fonts-ipafont-gothic libxml2-utils gpsbabel clang-format)
  # Wine is a 32-bit program here: where the kernel refuses those, it could never start.
  # tools/test.sh asks first and passes the answer on in X9_RUNS_32BIT.
  if [ -z "${X9_RUNS_32BIT:-}" ]; then
    if why=$("$(dirname "$0")/can-run-32bit.sh"); then X9_RUNS_32BIT=yes
    elif [ $? -eq 1 ]; then
      X9_RUNS_32BIT=no
      echo "setup: this machine cannot run 32-bit programs ($why): Wine is not installed"
    else X9_RUNS_32BIT=yes
    fi
  fi
  if [ "$X9_RUNS_32BIT" != no ]; then packages+=(wine wine32:i386); fi
fi
# bench.sh measures x9host beside gpsbabel with /usr/bin/time.
if [ "$what" = demo ]; then packages+=(gpsbabel); fi
# tools/screenshots.sh runs "setup.sh all" first, then this for the screen grabs.
if [ "$what" = screenshots ]; then packages+=(imagemagick fonts-wine xdotool); fi

missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  if printf '%s\n' "${missing[@]}" | grep -q ':i386$'; then
    $SUDO dpkg --add-architecture i386
  fi
  $SUDO apt-get update -q
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# Wine shows the Japanese dialog template and code page 932 only under a Japanese locale.
if [ "$what" = all ] && ! locale -a 2>/dev/null | grep -qi '^ja_JP.utf8$'; then
  $SUDO sed -i 's/^# *ja_JP.UTF-8 UTF-8/ja_JP.UTF-8 UTF-8/' /etc/locale.gen
  grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
  $SUDO locale-gen >/dev/null
fi
