# Time and peak memory of postern and folio against the body's size.
# gnuplot -e "data='results/scaling.dat'; output='scaling.png'" scaling.gp
set terminal pngcairo size 1000,420 font ",10"
set output output
set multiplot layout 1,2 title "Whole process against body size (medians of 50 runs)"
set key top left
set grid
set xlabel "body (MiB)"
set xtics (8, 16, 32, 64)
set ylabel "time (ms)"
set title "time"
plot data using 1:2 with linespoints title "postern (1024 fields)", \
     data using 1:3 with linespoints title "folio (20 fields)"
set ylabel "peak memory (MiB)"
set title "peak resident memory"
plot data using 1:4 with linespoints title "postern", \
     data using 1:5 with linespoints title "folio", \
     data using 1:(2.5*$1+8) with lines dashtype 2 title "limit: 2.5 x body + 8 MiB"
unset multiplot
