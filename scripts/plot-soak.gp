# A dedicated host over a soak: its RSS, and each minute's chat latency over the 20
# watchers, from bench_soak --data.
# gnuplot -e "data='DIR'; out='FILE.png'" scripts/plot-soak.gp
set terminal pngcairo size 960,640 font "DejaVu Sans,11" noenhanced
set output out
rss = data . "/soak_rss.dat"
chat = data . "/soak_chat.dat"
stats rss using ($1 / 60):($2 / 1024) nooutput
minutes = ceil(STATS_max_x)
stats rss using ($1 >= 60 ? $2 / 1024 : NaN) nooutput
after_first = STATS_min  # MB, the first sample past minute one
stats chat using 2:3 nooutput
sent = STATS_sum_x
lost = STATS_sum_y
set multiplot layout 2,1 title sprintf("A dedicated host for %d minutes: 2 computer players, 20 chatting watchers, 4 peers joining and leaving", minutes) font ",13"
set xrange [0:minutes]
set grid ytics lc rgb "#dddddd"
set lmargin 10
set title "host RSS, every 5 s"
set key bottom right
set ylabel "RSS (MB)"
set yrange [0:after_first + 2]
plot rss using ($1 / 60):($2 / 1024) with lines lw 2 lc rgb "#0072b2" title "RSS", \
     after_first + 1 with lines dt 2 lc rgb "#d55e00" title "goal: within 1 MB of minute one"
set title sprintf("chat latency of each minute's lines to every watcher (%d lines sent, %d deliveries lost)", sent, lost)
set ylabel "latency (ms)"
set xlabel "minute"
set key top right
set logscale y
set yrange [1:1000]
plot chat using ($1 + 0.5):5 with histeps lw 1.5 lc rgb "#e69f00" title "worst", \
     "" using ($1 + 0.5):4 with histeps lw 2 lc rgb "#0072b2" title "median"
unset multiplot
