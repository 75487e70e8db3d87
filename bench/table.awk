# Turns the tab-separated results of the benchmark programs (bench_main.cpp,
# --tsv) into the one Markdown table of tools/bench.  Of repeated runs the
# best ("min") is taken where the program computes it, else the median.
BEGIN { FS = "\t" }
{
    name = $1; agg = $2
    if (agg != "" && agg != "median" && agg != "min") next
    if (agg == "median" && ($1 in best)) next
    if (agg == "min") best[$1] = 1
    unit = $5
    scale = unit == "ns" ? 1e-9 : unit == "us" ? 1e-6 : unit == "ms" ? 1e-3 : 1
    seen[name] = 1
    real[name] = $3 * scale
    err[name] = $7
    for (i = 8; i <= NF; ++i) {
        eq = index($i, "=")
        if (eq > 0) ctr[name, substr($i, 1, eq - 1)] = substr($i, eq + 1) + 0
    }
}
function has(n) { return n in seen && err[n] == "" }
function row(what, result, reference, ratio, goal, met) {
    printf "| %s | %s | %s | %s | %s | %s |\n", what, result, reference, ratio, goal, met
}
function us(s) { return sprintf("%.1f µs", s * 1e6) }
function dur(s) { return s < 1e-6 ? sprintf("%.0f ns", s * 1e9) : us(s) }
function ms(s) { return sprintf("%.2f ms", s * 1e3) }
function mbs(n) { return sprintf("%.0f MB/s", ctr[n, "bytes_per_second"] / 1e6) }
function missing(what, n) { row(what, n in seen ? "error: " err[n] : "not run", "", "", "", "") }
END {
    print "| Measurement | Result | Reference | Ratio | Goal | Met |"
    print "|---|---|---|---|---|---|"

    # 1. Frames without the line.
    split("BM_BuildFrame/2:request frame, status (2-byte body)|BM_BuildFrame/1000:request frame, 1000-byte body|BM_BuildFrameTcp/64:request frame in the TCP envelope, 64-byte body|BM_CollectReply/20:reply collected and checked, 20 bytes|BM_CollectReply/200:reply collected and checked, 200 bytes|BM_CollectReply/4000:reply collected and checked, 4000 bytes", codec, "|")
    for (i = 1; i in codec; ++i) {
        split(codec[i], p, ":")
        if (!has(p[1])) { missing("1. " p[2], p[1]); continue }
        row("1. " p[2], mbs(p[1]) " (" dur(real[p[1]]) ")", "line at 115200: 0.0115 MB/s",
            sprintf("×%.0f", ctr[p[1], "line_x"]), "", "")
    }

    # 2. Driver against a raw ping-pong of the same bytes.
    split("pty_status|tcp_status|pty_block|tcp_block", ex, "|")
    for (i = 1; i in ex; ++i) {
        d = "BM_Driver/" ex[i] "/real_time"; r = "BM_Raw/" ex[i] "/real_time"
        split(ex[i], q, "_")
        what = sprintf("2. %s exchange over %s (%d + %d bytes): driver / raw", q[2] == "status" ? "status" : "memory block",
                       q[1] == "pty" ? "the pty" : "TCP", ctr[d, "request_bytes"], ctr[d, "reply_bytes"])
        if (!has(d)) { missing(what, d); continue }
        if (!has(r)) { missing(what, r); continue }
        ratio = real[d] / real[r]
        row(what, us(real[d]), us(real[r]) " raw", sprintf("%.2f", ratio), "≤ 1.5", ratio <= 1.5 ? "yes" : "**no**")
    }

    # 2b. The same exchanges through the session interface.
    for (i = 1; i in ex; ++i) {
        d = "BM_Session/" ex[i] "/real_time"; r = "BM_Raw/" ex[i] "/real_time"
        split(ex[i], q, "_")
        what = sprintf("2. %s exchange over %s through the session interface: session / raw",
                       q[2] == "status" ? "status" : "memory block", q[1] == "pty" ? "the pty" : "TCP")
        if (!has(d)) { missing(what, d); continue }
        if (!has(r)) { missing(what, r); continue }
        ratio = real[d] / real[r]
        row(what, us(real[d]), us(real[r]) " raw", sprintf("%.2f", ratio), "≤ 1.5", ratio <= 1.5 ? "yes" : "**no**")
    }

    # 2c. Two sessions at once against the slower one alone.
    n = "BM_TwoSessions/iterations:1/real_time"
    what = "2. two sessions on two ptys at 19200 baud from two threads, memory block exchanges each: both at once / slower alone"
    if (!has(n)) missing(what, n)
    else row(what, sprintf("%.2f s (%d exchanges each)", ctr[n, "both_s"], ctr[n, "exchanges"]),
             sprintf("%.2f s slower alone", ctr[n, "slower_alone_s"]), sprintf("%.3f", ctr[n, "ratio"]), "≤ 1.1",
             ctr[n, "ratio"] <= 1.1 ? "yes" : "**no**")

    # 3. Against the wire time of an emulated line.
    split("19200|115200", bauds, "|")
    for (b = 1; b in bauds; ++b)
        for (i = 1; i in ex; ++i) {
            d = "BM_Line/" ex[i] "/" bauds[b] "/real_time"; r = "BM_RawLine/" ex[i] "/" bauds[b] "/real_time"
            split(ex[i], q, "_")
            what = sprintf("3. %s exchange at %s baud over %s: exchange / wire", q[2] == "status" ? "status" : "memory block",
                           bauds[b], q[1] == "pty" ? "the pty" : "TCP")
            if (!has(d)) { missing(what, d); continue }
            ratio = ctr[d, "wire_ratio"]
            rawNote = has(r) ? sprintf(" (raw on the same line: %.3f)", ctr[r, "wire_ratio"]) : ""
            row(what, ms(real[d]), sprintf("%.2f ms wire", ctr[d, "wire_ms"]), sprintf("%.3f%s", ratio, rawNote),
                "≤ 1.02", ratio <= 1.02 ? "yes" : "**no**")
        }

    # 3b. The settings file on the same line: the whole sequence against the
    # wire time of its frames plus its mandated 50 ms pauses.
    split("save:save (49 reads, 49 pauses)|load:load (47 writes, 46 pauses)", sf, "|")
    for (i = 1; i in sf; ++i) {
        split(sf[i], p, ":")
        n = "BM_SettingsFile/" p[1] "/iterations:2/real_time"
        what = "3. settings file " p[2] " at 19200 baud over the pty: sequence / floor"
        if (!has(n)) { missing(what, n); continue }
        ratio = ctr[n, "floor_ratio"]
        row(what, ms(real[n]), sprintf("%.2f ms floor (%d frames)", ctr[n, "floor_ms"], ctr[n, "frames"]),
            sprintf("%.3f", ratio), "≤ 1.05", ratio <= 1.05 ? "yes" : "**no**")
    }

    # 4. CPU time while waiting.
    split("BM_KeepAlive/pty:report kept alive by ACKs, pty|BM_KeepAlive/tcp:report kept alive by ACKs, TCP|BM_Silence/pty:silent register waited out, pty|BM_Silence/tcp:silent register waited out, TCP", waits, "|")
    for (i = 1; i in waits; ++i) {
        split(waits[i], p, ":")
        n = p[1] "/iterations:1/real_time"
        if (!has(n)) { missing("4. CPU time, " p[2], n); continue }
        per30 = ctr[n, "cpu_per_30s"]
        row("4. CPU time, " p[2], sprintf("%.3f s CPU in %.1f s", ctr[n, "cpu_s"], ctr[n, "wall_s"]), "",
            sprintf("%.3f s per 30 s", per30), "≤ 0.1 s per 30 s", per30 <= 0.1 ? "yes" : "**no**")
    }

    # 5. Resident memory of trma.
    split("pty|tcp", tr, "|")
    for (i = 1; i in tr; ++i) {
        n = "BM_TrmaStatus/" tr[i] "/iterations:2/real_time"
        what = "5. `trma status` over " (tr[i] == "pty" ? "the pty" : "TCP") ": max resident set"
        if (!has(n)) { missing(what, n); continue }
        row(what, sprintf("%.1f MiB", ctr[n, "max_rss_kb"] / 1024), sprintf("run takes %s", ms(real[n])), "", "", "")
    }

    # 6. trma find: the parallel scan against the slowest port alone.
    n = "BM_TrmaFind/iterations:1/real_time"
    what = "6. `trma find` over 3 registers on ptys (19200, 9600, 115200; six speeds): scan / slowest port alone"
    if (!has(n)) missing(what, n)
    else row(what, sprintf("%.2f s", ctr[n, "scan_s"]),
             sprintf("%.2f s slowest alone, %.2f s all alone in turn", ctr[n, "slowest_s"], ctr[n, "sum_s"]),
             sprintf("%.2f", ctr[n, "slowest_ratio"]), "≤ 1.2", ctr[n, "slowest_ratio"] <= 1.2 ? "yes" : "**no**")

    # 7. termina-agent: sales through it on two registers against the line's
    # floor, and its own time per job.
    n = "BM_AgentSales/iterations:1/real_time"
    what = "7. termina-agent, sales over HTTP on two registers at 19200 baud (two clients): sales per second / the line's floor"
    if (!has(n)) missing(what, n)
    else row(what, sprintf("%.1f per s (%d sales)", ctr[n, "sales_per_s"], ctr[n, "sales"]),
             sprintf("%.1f per s floor (%d bytes a sale, two lines)", ctr[n, "floor_per_s"], ctr[n, "bytes_per_sale"]),
             sprintf("%.3f", ctr[n, "ratio"]), "≥ 0.9", ctr[n, "ratio"] >= 0.9 ? "yes" : "**no**")
    n = "BM_AgentOverhead/iterations:1/real_time"
    what = "7. termina-agent, a status job over HTTP against its exchanges through the session interface (median)"
    if (!has(n)) missing(what, n)
    else row(what, sprintf("%.2f ms", ctr[n, "agent_ms"]), sprintf("%.2f ms direct", ctr[n, "direct_ms"]),
             sprintf("%+.2f ms", ctr[n, "extra_ms"]), "≤ +2 ms", ctr[n, "extra_ms"] <= 2 ? "yes" : "**no**")

    # Fixed pauses, apart from the overhead.
    split("pty|tcp", tr, "|")
    for (i = 1; i in tr; ++i) {
        n = "BM_PortOpen/" tr[i] "/iterations:2/real_time"
        what = "fixed: `TRMA_CheckPort` over " (tr[i] == "pty" ? "the pty (drain until 500 ms of silence)" : "TCP (no drain)")
        if (!has(n)) { missing(what, n); continue }
        fixed = ctr[n, "fixed_ms"] / 1e3
        row(what, ms(real[n]), sprintf("%.0f ms fixed", fixed * 1e3), sprintf("overhead %s", ms(real[n] - fixed)), "", "")
    }
    for (i = 1; i in tr; ++i) {
        n = "BM_AfterAck/" tr[i] "/iterations:5/real_time"
        plain = "BM_Driver/" tr[i] "_status/real_time"
        what = "fixed: status exchange with one ACK first, " (tr[i] == "pty" ? "pty" : "TCP") " (100 ms pause)"
        if (!has(n)) { missing(what, n); continue }
        over = real[n] - ctr[n, "fixed_ms"] / 1e3 - (has(plain) ? real[plain] : 0)
        row(what, ms(real[n]), "100 ms fixed + plain exchange", sprintf("overhead %s", ms(over)), "", "")
    }
}
