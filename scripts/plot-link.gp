# The other ship's drawn error through each emulated link, smoothed and --no-smoothing,
# from bench_link --data: one panel per link, on one scale.
# gnuplot -e "data='DIR'; out='FILE.png'" scripts/plot-link.gp
set terminal pngcairo size 960,960 font "DejaVu Sans,11" noenhanced
set output out
set multiplot layout 4,1 title "The other ship circling: its drawn position's distance from the host's path (best constant delay)" font ",13"
set xrange [0:10]
set yrange [0:20]
set ytics 5
set grid ytics lc rgb "#dddddd"
set ylabel "error (px)"
set key top left horizontal
set lmargin 9
links = "lan good poor awful"
impairments = "'no impairment' '25 ms ± 5 ms, 0.5 % loss' '60 ms ± 20 ms, 3 % loss' '120 ms ± 40 ms, 8 % loss'"
do for [i = 1:4] {
    link = word(links, i)
    set title sprintf("%s: %s each way", link, word(impairments, i))
    if (i == 2) { unset key }
    if (i == 4) { set xlabel "time (s)" }
    plot sprintf("%s/link_%s.dat", data, link) using 1:3 with lines lw 1 lc rgb "#e69f00" title "--no-smoothing", \
         "" using 1:2 with lines lw 1.5 lc rgb "#0072b2" title "smoothed (default)"
}
unset multiplot
