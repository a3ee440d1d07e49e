#!/bin/sh
# Checks, without running it, that every export of a 32-bit DLL returns as a
# __cdecl function does: with a plain "ret", leaving the arguments on the
# stack for the caller to remove. A "ret $N" (the callee removing N bytes of
# arguments, as __stdcall does) would corrupt the stack of a host that calls
# through the __cdecl pointer types.
#
#   check_cdecl.sh OBJDUMP MODULE [EXPORTS...]
#
# The DLL is stripped, so each export is found by its RVA in the export
# table, and its code is followed from there through every jump and branch
# (calls are not followed: they return to the export) to each return it can
# reach. With EXPORTS given, those names must all be in the table.
set -eu
objdump=$1
module=$2
shift 2

headers=$("$objdump" -p "$module")
base=$(printf '%s\n' "$headers" | awk '$1 == "ImageBase" { print $2; exit }')
[ -n "$base" ] || { echo "$module: no ImageBase in its headers" >&2; exit 1; }

# "ordinal name rva" for each export: the address table gives each ordinal's
# RVA, the name table each name's ordinal less the base.
exports=$(printf '%s\n' "$headers" | awk '
    /^Export Address Table -- Ordinal Base/ { table = "address"; next }
    /^\[Ordinal\/Name Pointer\] Table/ { table = "names"; next }
    /^[ \t]*$/ { table = ""; next }
    table == "address" && /Export RVA/ {
        sub(/.*\+base\[ */, ""); split($0, f, /[] ]+/); rva[f[1]] = f[2]
    }
    table == "names" && /^[ \t]*\[/ {
        sub(/^[ \t]*\[ */, ""); n = index($0, "]")
        ordinal = substr($0, 1, n - 1) + 1; name = substr($0, n + 2)
        names[ordinal] = name
    }
    END { for (o in names) print o, names[o], rva[o] }' | sort -n)
[ -n "$exports" ] || { echo "$module: no export table" >&2; exit 1; }

for wanted in "$@"; do
    printf '%s\n' "$exports" | awk -v w="$wanted" '$2 == w { found = 1 } END { exit !found }' || {
        echo "$module: $wanted is not exported" >&2
        exit 1
    }
done

# "name address" for each export, the address as objdump -d prints it.
entries=$(printf '%s\n' "$exports" | while read -r ordinal name rva; do
    printf '%s %x\n' "$name" $((0x$base + 0x$rva))
done)

"$objdump" -d --no-show-raw-insn "$module" | awk -v entries="$entries" '
    function norm(a) { a = tolower(a); sub(/^0x/, "", a); sub(/^0+/, "", a); return a }
    # Instructions: "  6cf41720:\tpush   %ebx"
    /^ *[0-9a-f]+:\t/ {
        split($0, part, "\t")
        address = part[1]; sub(/^ */, "", address); sub(/:$/, "", address); address = norm(address)
        text = part[2]; sub(/ *$/, "", text)
        code[address] = text
        if (last != "") following[last] = address
        last = address
        next
    }
    { last = "" }   # a section or label line breaks fall-through
    END {
        failures = 0
        n = split(entries, line, "\n")
        for (i = 1; i <= n; i++) {
            split(line[i], f, " "); name = f[1]; start = norm(f[2])
            delete seen; top = 0; stack[++top] = start; returns = 0; before = failures
            while (top > 0) {
                at = stack[top--]
                if (at in seen) continue
                seen[at] = 1
                if (!(at in code)) {
                    printf "%s: reaches %s, which is not an instruction of .text\n", name, at
                    failures++; continue
                }
                ins = code[at]; sub(/^(repz|rep|bnd) +/, "", ins)
                split(ins, word, / +/); op = word[1]; arg = substr(ins, length(op) + 1); sub(/^ +/, "", arg)
                if (op ~ /^ret/ || op ~ /^lret/) {
                    returns++
                    if (arg != "") {
                        printf "%s: \"%s\" at %s removes its arguments (not __cdecl)\n", name, code[at], at
                        failures++
                    }
                    continue
                }
                if (op ~ /^j/) {
                    target = arg; sub(/ .*/, "", target)
                    if (target ~ /^0x[0-9a-f]+$/) stack[++top] = norm(target)
                    else if (op == "jmp") {
                        printf "%s: indirect \"%s\" at %s cannot be followed\n", name, code[at], at
                        failures++
                    }
                    if (op == "jmp") continue
                }
                if (at in following) stack[++top] = following[at]
            }
            if (returns == 0) { printf "%s: no return found\n", name; failures++ }
            else if (failures == before) printf "%s: %d return(s), all plain ret\n", name, returns
        }
        exit failures != 0
    }'
