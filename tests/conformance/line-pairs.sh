# Sourced: compare_line_pairs WINE-FILE OURS-FILE EXPECTED-FILE
#
# Compares two outputs line by line. A pair of lines that differs is a
# failure unless EXPECTED-FILE lists it: there a "#" comment block gives the
# reason (its first line is shown), then pairs of "wine: <line>" and
# "ours: <line>". Prints every difference and a summary; returns non-zero on a
# failure or when there was nothing to compare.
compare_line_pairs() {
    local wine=$1 ours=$2 expected=$3
    declare -A allowed=()
    declare -A seen=()
    local reason="" pending="" in_comment="" entry
    while IFS= read -r entry || [ -n "$entry" ]; do
        case $entry in
        "#"*)
            if [ -z "$in_comment" ]; then
                reason=${entry#\#}
                reason=${reason# }
            fi
            in_comment=1
            continue
            ;;
        esac
        in_comment=""
        case $entry in
        "wine: "*) pending=${entry#wine: } ;;
        "ours: "*)
            allowed["$pending"$'\x1f'"${entry#ours: }"]=$reason
            pending=""
            ;;
        esac
    done <"$expected"

    local compared=0 equal=0 known=0 failed=0 w o key label
    while IFS= read -r w <&3 && IFS= read -r o <&4; do
        compared=$((compared + 1))
        if [ "$w" == "$o" ]; then
            equal=$((equal + 1))
            continue
        fi
        key="$w"$'\x1f'"$o"
        if [ -n "${allowed[$key]+set}" ]; then
            known=$((known + 1))
            seen[$key]=1
            label=${w#"${w%%[! ]*}"}
            echo "expected: ${label%% *}: ${allowed[$key]}"
            continue
        fi
        failed=$((failed + 1))
        echo "DIFFERS:"
        echo "  wine: $w"
        echo "  ours: $o"
    done 3<"$wine" 4<"$ours"

    local wineLines oursLines
    wineLines=$(wc -l <"$wine")
    oursLines=$(wc -l <"$ours")
    if [ "$wineLines" -ne "$oursLines" ]; then
        echo "DIFFERS: Wine gave $wineLines lines, ours $oursLines"
        failed=$((failed + 1))
    fi
    for key in "${!allowed[@]}"; do
        [ -n "${seen[$key]+set}" ] || echo "note: expected difference not seen: ${key%%$'\x1f'*}"
    done

    echo "compared $compared lines: $equal equal, $known expected differences, $failed unexpected"
    [ "$compared" -gt 0 ] && [ "$failed" -eq 0 ]
}
