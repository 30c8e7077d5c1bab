# Cross sections of a run with lmax:
#   gnuplot -e "root='cross-sections'" plot-xs.gp
# writes <root>-xs.png (sigma and sigma_tr against energy) and <root>-dcs.png (dsigma/dOmega at
# the first energy against the angle), both on a log scale. Units: bohr^2 and bohr^2/sr.
if (!exists("root")) root = "sk.out"
set terminal png size 900,600
set datafile commentschars ";"
set grid
set logscale y

set output root."-xs.png"
set xlabel "energy (hartree)"
set ylabel "cross section (bohr^2)"
plot root.".xs" using 1:2 with lines lw 2 title "sigma", \
     root.".xs" using 1:3 with lines lw 2 title "sigma_tr"

if (system("test -f ".root.".dcs && echo y") eq "y") {
    set output root."-dcs.png"
    set xlabel "theta (degrees)"
    set ylabel "dsigma/dOmega (bohr^2/sr)"
    set xrange [0:180]
    set xtics 30
    e1 = system("awk '/^; energy = /{print $4; exit}' ".root.".dcs")
    plot root.".dcs" index 0 using 1:2 with lines lw 2 title "e = ".e1
}
