# Bar chart of whole-process time per workload, drawn from the runner's data
# file. Usage: gnuplot -e "datafile='bench/results.dat'; outfile='bench/results.png'" bench/plot.gp
if (!exists("datafile")) datafile = 'bench/results.dat'
if (!exists("outfile")) outfile = 'bench/results.png'

set terminal pngcairo size 1000,560 noenhanced font ",11"
set output outfile
set title "Whole-process time per workload (median, log scale; lower is better)"
set ylabel "seconds"
set logscale y
set grid ytics
set key inside top left vertical opaque box samplen 2 reverse Left
set style data histograms
set style histogram clustered gap 1
set style fill solid 0.85 border -1
set boxwidth 0.9
set xtics nomirror
# NaN marks a time that was not measured; it must not drag the axis.
c(n) = valid(n) ? column(n) : NaN
lo(a, b) = (a != a) ? b : (b != b) ? a : (a < b ? a : b)
hi(a, b) = (a != a) ? b : (b != b) ? a : (a > b ? a : b)
stats datafile using (lo(lo(lo(c(2), c(3)), c(4)), c(5))) nooutput
ymin = STATS_min
stats datafile using (hi(hi(hi(c(2), c(3)), c(4)), c(5))) nooutput
set yrange [10 ** floor(log10(ymin / 2)) : 10 ** (ceil(log10(STATS_max)) + 1)]

# A bar below the axis stands for a time not measured: a histogram column
# without any valid point would stop the plot.
bar(n) = valid(n) ? column(n) : ymin / 1000
plot datafile using (bar(2)):xtic(1) title "relmerge" linecolor rgb "#1b7837", \
     ''       using (bar(3))         title "SQLite"   linecolor rgb "#7f7f7f", \
     ''       using (bar(4))         title "DuckDB, best of 1 and 2 threads" linecolor rgb "#2166ac", \
     ''       using (bar(5))         title "DuckDB's engine alone, best of 1 and 2 threads" linecolor rgb "#92c5de"
