#!/usr/bin/env bash
# The x86 programs run on any Pentium-class CPU: their code, start-up and
# runtime included, hold no instruction that came after the Pentium (i586).
# Boards that shipped the filter (Vortex86 SX/DX, VIA C3, Geode GX1) lack
# CMOV and the P6 floating-point compares, and have no SSE.
#   i586_instructions.sh OBJDUMP PROGRAM...
set -u
objdump=$1
shift
# shellcheck source=common.sh
source "$(dirname "$0")/common.sh"

# Mnemonics as objdump prints them (AT&T syntax), and any MMX, SSE or AVX
# register. P6: CMOVcc, FCMOVcc, FCOMI/FUCOMI(P), multi-byte NOP (0F 1F),
# UD2, RDPMC, SYSENTER/SYSEXIT; later: the fences, prefetches, FXSAVE,
# MOVNTI, CLFLUSH, POPCNT, LZCNT, MOVBE, CRC32 and the like.
forbidden='^(cmov[a-z]*|fcmov[a-z]*|fu?comip?|nop[wl]|ud2|rdpmc|sysenter|sysexit|[lsm]fence|prefetch[a-z0-9]*|fxsave|fxrstor|movnti|clflush|popcnt|lzcnt|tzcnt|movbe|crc32[a-z]*|xgetbv|rdtscp)$'
for program in "$@"; do
  "$objdump" -d --no-show-raw-insn "$program" > "$work/code" || { fail "objdump failed on $program"; continue; }
  awk -F'\t' 'NF >= 2 { split($2, words, " "); print words[1], $0 }' "$work/code" > "$work/instructions"
  [ -s "$work/instructions" ] || fail "no instruction read from $program"
  awk -v pattern="$forbidden" '$1 ~ pattern' "$work/instructions" > "$work/late"
  grep -E '%(x|y|z)?mm[0-9]' "$work/instructions" >> "$work/late"
  if [ -s "$work/late" ]; then
    fail "$(basename "$program") holds $(wc -l < "$work/late") instructions past the Pentium, such as:"
    cut -d' ' -f2- "$work/late" | head -n 5
  fi
  echo "$(basename "$program"): $(wc -l < "$work/instructions") instructions"
done
finish
