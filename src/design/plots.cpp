#include "design/plots.hpp"

#include <algorithm>
#include <cmath>

#include "base/error.hpp"
#include "base/text.hpp"
#include "report/report.hpp"

namespace plattor {

namespace {

// Numbers in the data files: enough digits for a picture.
std::string number(double x) { return formatted("%.*g", 7, x); }

// A string in a gnuplot script: in single quotes, which take nothing as an escape but ''.
std::string quoted(const std::string& text) {
    std::string q = "'";
    for (const char c : text) q += c == '\'' ? std::string("''") : std::string(1, c);
    return q + "'";
}

// The inside of a double-quoted gnuplot string: backslashes and quotes escaped.
std::string doubleQuoted(const std::string& text) {
    std::string q;
    for (const char c : text) {
        if (c == '\\' || c == '"') q += '\\';
        q += c;
    }
    return q;
}

std::string terminal(PictureFormat format, int width, int height) {
    const std::string size = " size " + std::to_string(width) + "," + std::to_string(height);
    if (format == PictureFormat::svg)
        return "set terminal svg" + size + " font 'sans,12' noenhanced background rgb 'white'\n";
    return "set terminal pngcairo" + size + " font 'sans,11' noenhanced\n";
}

std::string outputName(PictureFormat format) { return format == PictureFormat::svg ? "picture.svg" : "picture.png"; }

std::string unitLabel(const LengthScale& scale) { return scale.unit.empty() ? "length unit" : scale.unit; }

// Segments as gnuplot's line data: two points, a blank line.
std::string segmentLines(const std::vector<DrawnSegment>& segments) {
    std::string data;
    for (const DrawnSegment& s : segments)
        data += number(s.x0) + " " + number(s.y0) + "\n" + number(s.x1) + " " + number(s.y1) + "\n\n";
    return data;
}

}  // namespace

PictureFormat pictureFormat(const std::string& fileName, const char* option) {
    const auto endsWith = [&](const char* ending) {
        const std::string e = ending;
        return fileName.size() > e.size() && fileName.compare(fileName.size() - e.size(), e.size(), e) == 0;
    };
    if (endsWith(".png")) return PictureFormat::png;
    if (endsWith(".svg")) return PictureFormat::svg;
    throw RunError(std::string(option) + " needs a file name ending in .png or .svg, got \"" +
                   printableExcerpt(fileName) + "\"");
}

GnuplotJob sweepPlot(const Structure& structure, const StructureOption& option, const LengthScale& scale,
                     const std::vector<double>& values, const std::vector<StructureSolution>& solutions,
                     bool geometric, PictureFormat format) {
    const std::vector<Quantity>& shown = plottedImpedances(structure);
    const double xScale = option.length ? 1.0 / scale.metres : 1.0;
    // Appended: GCC 12 warns falsely on a literal + a temporary string.
    std::string data = "# ";
    data += option.name;
    for (const Quantity q : shown) data += std::string(" ") + quantityInfo(q).key + " error";
    data += "\n";
    std::size_t points = 0;
    for (std::size_t k = 0; k < values.size(); ++k) {
        if (!solutions[k].error.empty()) continue;
        data += number(values[k] * xScale);
        for (const Quantity q : shown) {
            data += ' ';
            data += number(solutions[k].quantities.value[q]);
            data += ' ';
            data += number(solutions[k].quantities.error[q]);
        }
        data += "\n";
        ++points;
    }
    if (points == 0) throw RunError("--plot: no point of the sweep has a solution to draw");

    // The largest bar of each curve, in its key: drawn to scale, bars are below a line's width.
    std::vector<double> largestBar(shown.size(), 0.0);
    for (std::size_t k = 0; k < values.size(); ++k)
        if (solutions[k].error.empty())
            for (std::size_t q = 0; q < shown.size(); ++q)
                largestBar[q] = std::max(largestBar[q], solutions[k].quantities.error[shown[q]]);

    const std::string xLabel = option.length ? std::string(option.name) + " (" + unitLabel(scale) + ")" : option.name;
    Structure fixed = structure;
    fixed.*option.field = absent;
    std::string script = terminal(format, 1000, 700);
    script += "set output " + quoted(outputName(format)) + "\n";
    script += "set title \"" + doubleQuoted(std::string(structureName(structure.kind)) +
                                           (structure.isPair() ? " pair" : "") + ": impedance against " + option.name) +
              "\\n" + doubleQuoted(optionsText(fixed, scale)) + "\"\n";
    script += "set xlabel " + quoted(xLabel) + "\nset ylabel 'impedance (ohm)'\n";
    script += "set grid\nset key outside below center horizontal maxrows 2\nset bars small\n";
    // The swept range with a margin of 2 % (of its decades where geometric).
    double low = HUGE_VAL, high = -HUGE_VAL;
    for (std::size_t k = 0; k < values.size(); ++k)
        if (solutions[k].error.empty()) low = std::min(low, values[k] * xScale), high = std::max(high, values[k] * xScale);
    if (geometric) {
        const double pad = std::pow(high / low, 0.02) * (high == low ? 1.05 : 1.0);
        low /= pad, high *= pad;
        script += "set logscale x\n";
        // Labels at 1, 2 and 5 of each decade (only 1 over many decades): gnuplot labels decades
        // alone, none at all within one.
        std::string tics;
        const bool many = high / low > 1e3;
        for (int decade = static_cast<int>(std::floor(std::log10(low))); decade <= std::ceil(std::log10(high)); ++decade)
            for (const double m : {1.0, 2.0, 5.0}) {
                const double v = m * std::pow(10.0, decade);
                if ((m == 1.0 || !many) && v >= low && v <= high) tics += (tics.empty() ? "" : ", ") + number(v);
            }
        if (!tics.empty()) script += "set xtics (" + tics + ")\n";
    } else {
        const double pad = high > low ? 0.02 * (high - low) : std::max(0.05 * std::fabs(low), 1e-300);
        low -= pad, high += pad;
    }
    script += "set xrange [" + number(low) + ":" + number(high) + "]\n";
    script += "set offsets 0, 0, graph 0.05, graph 0.05\n";
    script += "set style line 1 lw 2 pt 7 ps 0.8 lc rgb '#1f3fbf'\nset style line 2 lw 2 pt 5 ps 0.8 lc rgb '#c81e1e'\n"
              "set style line 3 lw 2 pt 9 ps 0.8 lc rgb '#1b7a2a'\nset style line 4 lw 2 pt 11 ps 0.8 lc rgb '#7a4ab8'\n";
    script += "plot ";
    for (std::size_t k = 0; k < shown.size(); ++k) {
        if (k > 0) script += ", \\\n     ";
        const std::string bar = formatted("%.*g", 2, largestBar[k]);
        script += "'sweep.dat' using 1:" + std::to_string(2 + 2 * k) + ":" + std::to_string(3 + 2 * k) +
                  " with yerrorlines ls " + std::to_string(k + 1) + " title " +
                  quoted(std::string(quantityInfo(shown[k]).name) + " ± bar (bars up to " + bar + " ohm)");
    }
    script += "\nunset output\n";
    return {script, {{"sweep.dat", data}}, outputName(format)};
}


GnuplotJob crossSectionPicture(const Structure& structure, const LengthScale& scale, bool odd, PictureFormat format) {
    // The regions, the potential on 220 points along the window's longer side, the field's
    // arrows and the faces.
    return drawingPicture(crossSectionDrawing(structure, scale, odd, 220), scale, format);
}

GnuplotJob boardPicture(const Board& board, const std::vector<double>& potentials, const LengthScale& scale,
                        PictureFormat format) {
    return drawingPicture(boardDrawing(board, potentials, scale, 220), scale, format);
}

GnuplotJob drawingPicture(const CrossSectionDrawing& d, const LengthScale& scale, PictureFormat format) {

    // 2. Its data files.
    std::string grid;
    for (std::size_t j = 0; j < d.ys.size(); ++j) {
        for (std::size_t i = 0; i < d.xs.size(); ++i)
            grid += number(d.xs[i]) + " " + number(d.ys[j]) + " " + number(d.potential[j * d.xs.size() + i]) + "\n";
        grid += "\n";
    }
    std::string arrowData;
    for (const DrawnSegment& a : d.arrows)
        arrowData += number(a.x0) + " " + number(a.y0) + " " + number(a.x1) + " " + number(a.y1) + "\n";
    const std::string outlines = segmentLines(d.outlines), thin = segmentLines(d.thin),
                      interfaces = segmentLines(d.interfaces);

    // 3. The script: contours into a table, then the layers under the lines, arrows and key.
    const double width = d.x1 - d.x0, height = d.y1 - d.y0;
    const double aspect = height / width;
    int plotWidth = 1000, plotHeight = static_cast<int>(plotWidth * aspect);
    if (plotHeight > 900) {
        plotHeight = 900;
        plotWidth = static_cast<int>(plotHeight / aspect);
    }
    const int canvasWidth = std::max(760, plotWidth + 200), canvasHeight = std::max(420, plotHeight + 230);
    std::string levels;
    for (const double level : d.levels) levels += (levels.empty() ? "" : ",") + number(level);
    std::string script = terminal(format, canvasWidth, canvasHeight);
    script += "set output " + quoted(outputName(format)) + "\n";
    script += "set view map\nunset surface\nset contour base\nset cntrparam linear\n";
    script += "set cntrparam levels discrete " + levels + "\n";
    script += "set table $CONTOURS\nsplot 'potential.dat' using 1:2:3 with lines notitle\nunset table\n";
    script += "unset contour\nset surface\n";
    script += "set size ratio -1\n";
    script += "set xrange [" + number(d.x0) + ":" + number(d.x1) + "]\n";
    script += "set yrange [" + number(d.y0) + ":" + number(d.y1) + "]\n";
    script += "set xlabel " + quoted("x (" + unitLabel(scale) + ")") + "\n";
    script += "set ylabel " + quoted("y (" + unitLabel(scale) + ")") + "\n";
    // Two lines: a double-quoted string, where \n breaks the line.
    script += "set title \"" + doubleQuoted(d.title) + "\\n" + doubleQuoted(d.options) + "\"\n";
    script += "set key outside below center horizontal maxrows 3 width 1\n";
    script += "set palette defined (-1 '#1f3fbf', 0 '#7a7a7a', 1 '#c81e1e')\n";
    script += !d.levels.empty() && d.levels.front() < 0 ? "set cbrange [-1:1]\n"
                                                        : "set palette defined (0 '#7a7a7a', 1 '#c81e1e')\nset cbrange [0:1]\n";
    script += "set cblabel 'potential (V)'\n";
    script += "set style arrow 1 head filled size screen 0.006,22 lw 1.1 lc rgb '#1b7a2a'\n";
    const double dx = width / d.columns, dy = height / d.rows;
    script += "plot 'regions.rgb' binary array=(" + std::to_string(d.columns) + "," + std::to_string(d.rows) +
              ") dx=" + number(dx) + " dy=" + number(dy) + " origin=(" + number(d.x0 + dx / 2) + "," +
              number(d.y0 + dy / 2) + ") format='%uchar%uchar%uchar' with rgbimage notitle";
    for (const DrawnColour& c : d.key)
        script += ", \\\n  keyentry with boxes fill solid border lc rgb '" + c.border + "' fc rgb '" + c.colour +
                  "' title " + quoted(c.label);
    if (!interfaces.empty()) script += ", \\\n  'interfaces.dat' with lines lw 1 lc rgb '#6b6b6b' notitle";
    if (!outlines.empty()) script += ", \\\n  'outlines.dat' with lines lw 1.5 lc rgb '#7a4a1f' notitle";
    if (!thin.empty()) script += ", \\\n  'thin.dat' with lines lw 4 lc rgb '" + d.key.front().colour + "' notitle";
    script += ", \\\n  $CONTOURS using 1:2:3 with lines lw 1.4 lc palette title 'equipotentials, 0.1 V apart'";
    if (!arrowData.empty())
        script += ", \\\n  'arrows.dat' using 1:2:3:4 with vectors arrowstyle 1 title 'electric field (direction; length grows with |E|)'";
    script += "\nunset output\n";

    GnuplotJob job{script, {}, outputName(format)};
    job.files = {{"regions.rgb", d.image}, {"potential.dat", grid}, {"arrows.dat", arrowData}};
    if (!interfaces.empty()) job.files.push_back({"interfaces.dat", interfaces});
    if (!outlines.empty()) job.files.push_back({"outlines.dat", outlines});
    if (!thin.empty()) job.files.push_back({"thin.dat", thin});
    return job;
}

}  // namespace plattor
