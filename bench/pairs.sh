# Sourced by the audio benchmarks that compare tunora-play with mpv. The two players run in
# pairs, one after the other (never at once, so they do not compete for the cores), and the
# order alternates from pair to pair so that neither always runs on a warmer or quieter machine.
# mpv runs with --no-terminal: its status line would otherwise cost it CPU that tunora-play,
# printing nothing while it plays, does not spend.
#
# Callers set the arrays mpv_cmd and tunora_cmd, the folder $work, and may define
# check_tunora_output (called with the output file of each tunora-play run; non-zero fails).
# compare_pairs N prints every pair to stderr and sets: mpv_cpu, tunora_cpu, mpv_rss, tunora_rss
# (medians), cpu_ratio and rss_ratio (medians of the per-pair ratios tunora / mpv) and
# cpu_ratio_min/max, rss_ratio_min/max (their spread).

median() { sort -g | awk '{ v[NR] = $1 } END { if (NR == 0) print "nan"; else print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# Runs a command under GNU time; sets cpu (percent of a core over the wall time) and rss (MB).
measure() {
    /usr/bin/time -f "%e %U %S %M" -o "$work/time" "$@" > "$work/out" 2>&1
    read -r elapsed user sys kb < "$work/time"
    cpu=$(awk -v e="$elapsed" -v u="$user" -v s="$sys" 'BEGIN { printf "%.3f", (u + s) * 100 / e }')
    rss=$(awk -v k="$kb" 'BEGIN { printf "%.1f", k / 1024 }')
}

compare_pairs() {
    local pairs=$1 i m_cpu m_rss t_cpu t_rss
    : > "$work/pairs"
    for ((i = 1; i <= pairs; i++)); do
        for who in $([ $((i % 2)) -eq 1 ] && echo "mpv tunora" || echo "tunora mpv"); do
            if [ "$who" = mpv ]; then
                measure "${mpv_cmd[@]}"
                m_cpu=$cpu m_rss=$rss
            else
                measure "${tunora_cmd[@]}"
                if declare -F check_tunora_output > /dev/null; then
                    check_tunora_output "$work/out" || return 1
                fi
                t_cpu=$cpu t_rss=$rss
            fi
        done
        echo "$m_cpu $m_rss $t_cpu $t_rss" >> "$work/pairs"
        awk -v mc="$m_cpu" -v mr="$m_rss" -v tc="$t_cpu" -v tr="$t_rss" -v i="$i" 'BEGIN {
            printf "pair %d: mpv %.1f%% %.1f MB, tunora %.1f%% %.1f MB, cpu ratio %.3f, rss ratio %.3f\n",
                   i, mc, mr, tc, tr, tc / mc, tr / mr }' >&2
    done
    mpv_cpu=$(awk '{ print $1 }' "$work/pairs" | median)
    mpv_rss=$(awk '{ print $2 }' "$work/pairs" | median)
    tunora_cpu=$(awk '{ print $3 }' "$work/pairs" | median)
    tunora_rss=$(awk '{ print $4 }' "$work/pairs" | median)
    cpu_ratio=$(awk '{ printf "%.3f\n", $3 / $1 }' "$work/pairs" | median)
    rss_ratio=$(awk '{ printf "%.3f\n", $4 / $2 }' "$work/pairs" | median)
    cpu_ratio_min=$(awk '{ printf "%.3f\n", $3 / $1 }' "$work/pairs" | sort -g | head -1)
    cpu_ratio_max=$(awk '{ printf "%.3f\n", $3 / $1 }' "$work/pairs" | sort -g | tail -1)
    rss_ratio_min=$(awk '{ printf "%.3f\n", $4 / $2 }' "$work/pairs" | sort -g | head -1)
    rss_ratio_max=$(awk '{ printf "%.3f\n", $4 / $2 }' "$work/pairs" | sort -g | tail -1)
}

print_pairs() {
    echo "pairs: $1"
    echo "mpv_cpu_percent: $mpv_cpu"
    echo "mpv_peak_rss_mb: $mpv_rss"
    echo "tunora_cpu_percent: $tunora_cpu"
    echo "tunora_peak_rss_mb: $tunora_rss"
    echo "cpu_ratio: $cpu_ratio (spread $cpu_ratio_min .. $cpu_ratio_max)"
    echo "rss_ratio: $rss_ratio (spread $rss_ratio_min .. $rss_ratio_max)"
}
