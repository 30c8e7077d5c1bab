# Plots of one run's result files:
#   gnuplot -e "root='sk.out'" plot.gp
# writes <root>-delta.png (delta against N, with the exact value when the file has one),
# <root>-energy.png (delta against energy) and <root>-rms.png (RMS deviation against N, log scale).
if (!exists("root")) root = "sk.out"
set terminal png size 900,600
set datafile commentschars ";"
set grid

exact = system("awk '/^; delta = /{print $4; exit}' ".root)
set output root."-delta.png"
set xlabel "basis size N"
set ylabel "delta (rad)"
if (strlen(exact) > 0) {
    plot root using 1:3 with linespoints pt 7 ps 0.5 title "numerical", \
         exact + 0 with lines lw 2 title "exact"
} else {
    plot root using 1:3 with linespoints pt 7 ps 0.5 title "numerical"
}

if (system("test -f ".root.".en && echo y") eq "y") {
    set output root."-energy.png"
    set xlabel "energy (a.u.)"
    with_exact = system("grep -c 'delta_analytical' ".root.".en")
    if (with_exact + 0 > 0) {
        plot root.".en" using 1:3 with linespoints pt 7 title "numerical", \
             root.".en" using 1:4 with lines lw 2 title "exact"
    } else {
        plot root.".en" using 1:3 with linespoints pt 7 title "numerical"
    }
}

if (system("test -f ".root.".rms && echo y") eq "y") {
    set output root."-rms.png"
    set xlabel "basis size N"
    set ylabel "RMS deviation from the exact delta"
    set logscale y
    plot root.".rms" using 1:2 with lines lw 2 title "RMS"
}
