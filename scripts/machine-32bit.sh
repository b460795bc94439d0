#!/usr/bin/env bash
# The one answer to "can this machine run 32-bit programs?", asked by
# everything that runs Windows programs. Prints one word:
#   native    the kernel runs 32-bit (i386) code itself: the i686 Windows
#             build runs under Debian's 32-bit Wine at full speed;
#   emulated  32-bit programs start, but through qemu-user (binfmt_misc):
#             the 32-bit Wine works, many times slower;
#   none      a 32-bit program cannot start at all ("Exec format error").
#
#   scripts/machine-32bit.sh            the word
#   scripts/machine-32bit.sh --explain  the word, then what follows from it
#                                       for the Windows tests and the main job
#
# How it tells: it writes a tiny static i386 program that asks the kernel
# for uname's machine and exits with that name's first letter. A 64-bit
# kernel running 32-bit code itself answers "x86_64"; qemu-i386 answers
# "i686" for the guest. A program that cannot be executed answers nothing.
set -u

probe_dir=$(mktemp -d "${TMPDIR:-/tmp}/corvane-32bit.XXXXXX") || exit 1
trap 'rm -rf "$probe_dir"' EXIT
probe=$probe_dir/probe

python3 - "$probe" <<'PY' || exit 1
import struct, sys
base = 0x08048000
buf = base + 0x200          # struct new_utsname (6 x 65 bytes), in the zero-filled tail
code = bytes([0xB8]) + struct.pack('<I', 122)          # mov eax, __NR_uname
code += bytes([0xBB]) + struct.pack('<I', buf)         # mov ebx, buf
code += bytes([0xCD, 0x80])                            # int 0x80
code += bytes([0x0F, 0xB6, 0x1D]) + struct.pack('<I', buf + 4 * 65)  # movzx ebx, byte [machine]
code += bytes([0xB8]) + struct.pack('<I', 1)           # mov eax, __NR_exit
code += bytes([0xCD, 0x80])                            # int 0x80
entry_off = 52 + 32
size = entry_off + len(code)
ehdr = b'\x7fELF' + bytes([1, 1, 1, 0]) + bytes(8)
ehdr += struct.pack('<HHIIIIIHHHHHH', 2, 3, 1, base + entry_off, 52, 0, 0, 52, 32, 1, 0, 0, 0)
phdr = struct.pack('<IIIIIIII', 1, 0, base, base, size, 0x400, 7, 0x1000)
with open(sys.argv[1], 'wb') as f:
    f.write(ehdr + phdr + code)
PY
chmod +x "$probe"

"$probe" 2>/dev/null
rc=$?

# An emulator answers for the guest even where binfmt_misc is not mounted to
# be seen (a chroot): a 32-bit answer from a kernel that names itself 64-bit
# to this shell is an emulator's.
if [ "$rc" -eq 120 ]; then          # 'x': x86_64, the kernel itself
  answer=native
elif [ "$rc" -eq 126 ] || [ "$rc" -eq 127 ] || [ "$rc" -ge 128 ]; then
  answer=none
elif [ "$(uname -m)" = x86_64 ]; then
  answer=emulated
else
  answer=native                     # a 32-bit kernel
fi

echo "$answer"
if [ "${1:-}" = --explain ]; then
  case $answer in
    native)   echo "32-bit programs: run natively. The i686 Windows suite runs under Wine as the product ships; the x86-64 twin runs beside it under wine64." ;;
    emulated) echo "32-bit programs: only under emulation (qemu-user). The full Windows suite runs on the x86-64 twin under wine64; the real i686 medium runs in a short smoke lane under the emulated 32-bit Wine, with time-outs scaled." ;;
    none)     echo "32-bit programs: cannot run here (no IA-32 support, no emulator registered). The full Windows suite runs on the x86-64 twin under wine64; the i686 lanes cannot run: scripts/install-deps.sh registers qemu-user-static for them." ;;
  esac
fi
