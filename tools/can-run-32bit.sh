#!/usr/bin/env bash
# Asks the kernel, not Wine, whether this machine runs 32-bit x86 programs: a 93-byte i386 ELF
# that only exits with status 42 is written and executed. Wine's 32-bit loader is such a program,
# so where the kernel refuses this one, every Windows step is bound to fail for the machine's
# sake, not the project's.
#
#   tools/can-run-32bit.sh     exit 0: it runs them
#                              exit 1: the kernel refuses them; the one reason printed (for
#                                      example "Exec format error")
#                              exit 2: the probe itself could not be run (it says why); callers
#                                      go on as if 32-bit programs ran, so a real fault still
#                                      fails its own step
set -u
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# Beside the build, not in /tmp, which may be mounted noexec.
mkdir -p "$root/build" 2>/dev/null
probe=$(mktemp "$root/build/.probe32.XXXXXX" 2>/dev/null || mktemp) || {
  echo "cannot make a file for the probe"
  exit 2
}
trap 'rm -f "$probe"' EXIT

# ELF header (i386, executable, entry 0x8048054), one loadable segment, then
# xor ebx,ebx; mov bl,42; xor eax,eax; inc eax; int 0x80 (exit(42)).
printf '%b' \
  '\x7f\x45\x4c\x46\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00\x01\x00\x00\x00' \
  '\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00' \
  '\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08\x5d\x00\x00\x00' \
  '\x5d\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00\x31\xdb\xb3\x2a\x31\xc0\x40\xcd\x80' >"$probe"
chmod +x "$probe"

said=$( ("$probe") 2>&1)
status=$?
if [ "$status" -eq 42 ]; then
  exit 0
fi
if [[ $said == *"Exec format error"* ]]; then
  echo "Exec format error"
  exit 1
fi
echo "the probe ended with status $status: ${said:-nothing said}"
exit 2
