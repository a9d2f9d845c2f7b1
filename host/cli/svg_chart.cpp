#include "host/cli/svg_chart.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace cli::svg {

namespace {

constexpr double MARGIN_LEFT = 54.0, MARGIN_RIGHT = 14.0, MARGIN_TOP = 22.0;
constexpr double AXIS_BAND = 34.0;   // x tick labels and the x axis label below the plot
constexpr double LEGEND_ROW = 14.0;  // height of one legend line
constexpr double FONT_WIDTH = 5.6;   // average advance of the 10 px legend font
constexpr double SWATCH = 20.0;      // legend symbol and its gap

std::string Num(double value) {
  char text[32];
  std::snprintf(text, sizeof(text), "%.1f", value);
  std::string out = text;
  // Whole pixels without the decimal: a tenth of the report's size.
  if (out.size() > 2 && out.compare(out.size() - 2, 2, ".0") == 0) out.resize(out.size() - 2);
  return out == "-0" ? "0" : out;
}

const char* DashArray(Dash dash) {
  switch (dash) {
    case Dash::Solid:
      return "";
    case Dash::Dashed:
      return " stroke-dasharray=\"6 3\"";
    case Dash::Dotted:
      return " stroke-dasharray=\"1.5 2.5\"";
    case Dash::DashDot:
      return " stroke-dasharray=\"7 2.5 1.5 2.5\"";
  }
  return "";
}

// Maps data values to pixels along one axis.
struct Scale {
  double from, to;  // pixels of min and max
  double min, max;
  bool logarithmic;
  double operator()(double value) const {
    const double a = logarithmic ? std::log10(min) : min, b = logarithmic ? std::log10(max) : max;
    const double v = logarithmic ? std::log10(value) : value;
    return from + (v - a) / (b - a) * (to - from);
  }
  bool Contains(double value) const {
    const double lo = std::min(min, max), hi = std::max(min, max);
    return value >= lo - 1e-9 * (hi - lo) && value <= hi + 1e-9 * (hi - lo);
  }
};

std::string TickText(double value, double step) {
  // As many decimals as the step needs, none for whole steps.
  int decimals = 0;
  for (double s = step; decimals < 6 && std::fabs(s - std::round(s)) > 1e-9 * std::max(1.0, std::fabs(s));
       s *= 10.0)
    ++decimals;
  char text[32];
  std::snprintf(text, sizeof(text), "%.*f", decimals, value);
  std::string out = text;
  return out == "-0" ? "0" : out;
}

std::vector<Tick> LogTicks(double min, double max) {
  std::vector<Tick> ticks;
  for (double decade = std::pow(10.0, std::floor(std::log10(min))); decade <= max; decade *= 10.0) {
    for (double m : {1.0, 2.0, 5.0}) {
      const double v = decade * m;
      if (v >= min && v <= max) ticks.push_back({v, TickText(v, decade < 1.0 ? decade : 1.0)});
    }
  }
  return ticks;
}

struct LegendEntry {
  std::string symbol;  // SVG drawn in a SWATCH-wide box whose left middle is (0, 0)
  std::string text;
};

std::string LineSymbol(const std::string& color, double width, Dash dash, bool marker, bool line,
                       bool hollow = false) {
  std::string s;
  if (line) {
    s += "<line x1=\"0\" y1=\"0\" x2=\"16\" y2=\"0\" stroke=\"" + color + "\" stroke-width=\"" + Num(width) +
         "\"" + DashArray(dash) + "/>";
  }
  if (marker && hollow) {
    s += "<circle cx=\"8\" cy=\"0\" r=\"2.8\" fill=\"#fff\" stroke=\"" + color + "\" stroke-width=\"1.3\"/>";
  } else if (marker) {
    s += "<circle cx=\"8\" cy=\"0\" r=\"2.5\" fill=\"" + color + "\"/>";
  }
  return s;
}

struct Pixel {
  double x, y;
};

// Douglas-Peucker: keeps the points farther than `tolerance` pixels from the
// chord of their kept neighbours (the line as the screen shows it).
std::vector<Pixel> Thin(const std::vector<Pixel>& points, double tolerance) {
  if (points.size() < 3) return points;
  std::vector<bool> keep(points.size(), false);
  keep.front() = keep.back() = true;
  std::vector<std::pair<size_t, size_t>> stack = {{0, points.size() - 1}};
  while (!stack.empty()) {
    const auto [a, b] = stack.back();
    stack.pop_back();
    const double dx = points[b].x - points[a].x, dy = points[b].y - points[a].y;
    const double length = std::hypot(dx, dy);
    double farthest = 0.0;
    size_t at = a;
    for (size_t i = a + 1; i < b; ++i) {
      const double ex = points[i].x - points[a].x, ey = points[i].y - points[a].y;
      const double d = length > 0.0 ? std::fabs(dx * ey - dy * ex) / length : std::hypot(ex, ey);
      if (d > farthest) farthest = d, at = i;
    }
    if (farthest > tolerance) {
      keep[at] = true;
      stack.push_back({a, at});
      stack.push_back({at, b});
    }
  }
  std::vector<Pixel> out;
  for (size_t i = 0; i < points.size(); ++i) {
    if (keep[i]) out.push_back(points[i]);
  }
  return out;
}

// Lays the entries out in lines that fit `width`; returns the SVG and the
// number of lines.
std::string LayoutLegend(const std::vector<LegendEntry>& entries, double left, double top, double width,
                         int& lines) {
  std::string out = "<g class=\"legend\" font-size=\"10\">";
  double x = 0.0;
  lines = entries.empty() ? 0 : 1;
  for (const LegendEntry& entry : entries) {
    const double advance = SWATCH + FONT_WIDTH * static_cast<double>(entry.text.size()) + 12.0;
    if (x > 0.0 && x + advance > width) {
      x = 0.0;
      ++lines;
    }
    const double y = top + (lines - 1) * LEGEND_ROW + LEGEND_ROW / 2.0;
    out += "<g class=\"legend-entry\" transform=\"translate(" + Num(left + x) + " " + Num(y) + ")\">" +
           entry.symbol + "<text x=\"" + Num(SWATCH) + "\" y=\"3.5\">" + Escape(entry.text) + "</text></g>";
    x += advance;
  }
  return out + "</g>";
}

}  // namespace

std::string Escape(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::vector<Tick> NiceTicks(double min, double max, int target) {
  std::vector<Tick> ticks;
  if (!(max > min) || !std::isfinite(min) || !std::isfinite(max) || target < 1) return ticks;
  const double rough = (max - min) / target;
  const double power = std::pow(10.0, std::floor(std::log10(rough)));
  double step = power;
  for (double m : {1.0, 2.0, 2.5, 5.0, 10.0}) {
    step = m * power;
    if (step >= rough) break;
  }
  for (double v = std::ceil(min / step - 1e-9) * step; v <= max + step * 1e-9; v += step) {
    const double value = std::fabs(v) < step * 1e-9 ? 0.0 : v;
    ticks.push_back({value, TickText(value, step)});
  }
  return ticks;
}

namespace {

// The plot's rectangle and scales.
struct Plot {
  double left, top, width, height;
  Scale sx, sy;
};

Plot PlotOf(const Chart& c) {
  const double left = MARGIN_LEFT, top = MARGIN_TOP;
  const double width = c.width - MARGIN_LEFT - MARGIN_RIGHT, height = c.plotHeight;
  return Plot{left,
              top,
              width,
              height,
              Scale{left, left + width, c.x.min, c.x.max, c.x.logarithmic},
              Scale{top + height, top, c.y.min, c.y.max, c.y.logarithmic}};
}

// The legend's entries: named series, labelled regions, markers and notes.
std::vector<LegendEntry> LegendEntries(const Chart& c) {
  std::vector<LegendEntry> entries;
  for (const Series& s : c.series) {
    if (!s.name.empty() && c.legend)
      entries.push_back({LineSymbol(s.color, s.width, s.dash, s.markers, s.line), s.name});
  }
  for (const Region& r : c.regions) {
    if (r.label.empty() || !c.legend) continue;
    entries.push_back(
        {"<rect x=\"0\" y=\"-5\" width=\"16\" height=\"10\" fill=\"" + r.color + "\"/>", r.label});
  }
  for (const Marker& m : c.markers) {
    if (!c.legend) continue;
    entries.push_back({"<line x1=\"8\" y1=\"-6\" x2=\"8\" y2=\"6\" stroke=\"" + m.color +
                           "\" stroke-width=\"1.2\" stroke-dasharray=\"3 2\"/>",
                       m.label});
  }
  for (const Level& l : c.levels) {
    if (!l.label.empty() && c.legend)
      entries.push_back({LineSymbol(l.color, l.width, l.dash, false, true), l.label});
  }
  for (const std::string& note : c.notes) {
    // Notes wrap at spaces to the chart's width.
    const size_t columns = static_cast<size_t>(std::max(20.0, (c.width - 16.0 - SWATCH - 12.0) / FONT_WIDTH));
    std::string rest = note;
    while (rest.size() > columns) {
      size_t cut = rest.rfind(' ', columns);
      if (cut == std::string::npos || cut == 0) cut = columns;
      entries.push_back({"", rest.substr(0, cut)});
      rest = rest.substr(cut + (rest[cut] == ' ' ? 1 : 0));
    }
    entries.push_back({"", rest});
  }
  return entries;
}

// Grid, ticks, tick labels and the axis labels.
std::string Axes(const Chart& c, const Plot& p) {
  const std::vector<Tick> xTicks = !c.x.ticks.empty() ? c.x.ticks
                                   : c.x.logarithmic  ? LogTicks(c.x.min, c.x.max)
                                                      : NiceTicks(c.x.min, c.x.max, 6);
  const std::vector<Tick> yTicks = !c.y.ticks.empty() ? c.y.ticks : NiceTicks(c.y.min, c.y.max, 5);
  std::string o = "<g class=\"gridlines\" stroke=\"#e3e3e3\" stroke-width=\"1\">";
  for (const Tick& t : xTicks) {
    if (!p.sx.Contains(t.value)) continue;
    const std::string x = Num(p.sx(t.value));
    o += "<line x1=\"" + x + "\" y1=\"" + Num(p.top) + "\" x2=\"" + x + "\" y2=\"" + Num(p.top + p.height) +
         "\"/>";
  }
  for (const Tick& t : yTicks) {
    if (!p.sy.Contains(t.value)) continue;
    const std::string y = Num(p.sy(t.value));
    o += "<line x1=\"" + Num(p.left) + "\" y1=\"" + y + "\" x2=\"" + Num(p.left + p.width) + "\" y2=\"" + y +
         "\"/>";
  }
  o += "</g>";
  o += "<g class=\"x-ticks\" font-size=\"10\" text-anchor=\"middle\" fill=\"#333\">";
  for (const Tick& t : xTicks) {
    if (!p.sx.Contains(t.value) || t.label.empty()) continue;
    o += "<text x=\"" + Num(p.sx(t.value)) + "\" y=\"" + Num(p.top + p.height + 13.0) + "\">" +
         Escape(t.label) + "</text>";
  }
  o += "</g><g class=\"y-ticks\" font-size=\"10\" text-anchor=\"end\" fill=\"#333\">";
  for (const Tick& t : yTicks) {
    if (!p.sy.Contains(t.value) || t.label.empty()) continue;
    o += "<text x=\"" + Num(p.left - 4.0) + "\" y=\"" + Num(p.sy(t.value) + 3.5) + "\">" + Escape(t.label) +
         "</text>";
  }
  o += "</g>";
  o += "<text class=\"axis-label x-label\" x=\"" + Num(p.left + p.width / 2.0) + "\" y=\"" +
       Num(p.top + p.height + 28.0) + "\" font-size=\"11\" text-anchor=\"middle\">" + Escape(c.x.label) +
       "</text>";
  const double yLabelX = 12.0, yLabelY = p.top + p.height / 2.0;
  o += "<text class=\"axis-label y-label\" x=\"" + Num(yLabelX) + "\" y=\"" + Num(yLabelY) +
       "\" font-size=\"11\" text-anchor=\"middle\" transform=\"rotate(-90 " + Num(yLabelX) + " " +
       Num(yLabelY) + ")\">" + Escape(c.y.label) + "</text>";
  return o;
}

// One series: a polyline per run of usable points, and its dots (hollow
// with a tooltip where flagged), outliers on the frame's edge.
std::string SeriesSvg(const Chart& c, const Plot& p, const Series& s) {
  std::string o = "<g class=\"series\" data-series=\"" + Escape(s.name) + "\">";
  std::string dots;
  std::vector<Pixel> run;
  auto flush = [&]() {
    if (s.line && run.size() > 1) {
      std::string points;
      for (const Pixel& px : Thin(run, 0.5))
        points += (points.empty() ? "" : " ") + Num(px.x) + "," + Num(px.y);
      o += "<polyline fill=\"none\" stroke=\"" + s.color + "\" stroke-width=\"" + Num(s.width) +
           "\" stroke-linejoin=\"round\"" + DashArray(s.dash) + " points=\"" + points + "\"/>";
    }
    run.clear();
  };
  const double lo = std::min(c.y.min, c.y.max), hi = std::max(c.y.min, c.y.max);
  for (size_t i = 0; i < s.x.size() && i < s.y.size(); ++i) {
    const bool usable = std::isfinite(s.x[i]) && std::isfinite(s.y[i]) && (!c.x.logarithmic || s.x[i] > 0.0);
    if (!usable) {
      flush();
      continue;
    }
    const bool outside = s.clampOutliers && (s.y[i] > hi || s.y[i] < lo);
    const Pixel px{p.sx(s.x[i]), p.sy(outside ? std::clamp(s.y[i], lo, hi) : s.y[i])};
    run.push_back(px);
    const std::string note = i < s.notes.size() ? s.notes[i] : std::string();
    if (outside) {
      const double d = s.y[i] > hi ? 1.0 : -1.0;  // the triangle points off the plot
      char value[32];
      std::snprintf(value, sizeof(value), "%.3g", s.y[i]);
      dots += "<path class=\"outlier" + std::string(note.empty() ? "" : " warn") + "\" d=\"M" + Num(px.x) +
              "," + Num(px.y - 5.0 * d) + "l-4," + Num(6.0 * d) + "h8z\" fill=\"" +
              (note.empty() ? s.color : "#fff") + "\" stroke=\"" + s.color + "\"><title>" +
              Escape(s.name + " " + value + " (beyond the axis)") +
              (note.empty() ? "" : ": " + Escape(note)) + "</title></path>";
    } else if (!note.empty()) {
      dots += "<circle class=\"warn\" cx=\"" + Num(px.x) + "\" cy=\"" + Num(px.y) +
              "\" r=\"3\" fill=\"#fff\" stroke=\"" + s.color + "\" stroke-width=\"1.3\"><title>" +
              Escape(note) + "</title></circle>";
    } else if (s.markers) {
      dots +=
          "<circle cx=\"" + Num(px.x) + "\" cy=\"" + Num(px.y) + "\" r=\"2.5\" fill=\"" + s.color + "\"/>";
    }
  }
  flush();
  return o + dots + "</g>";
}

// Regions, markers and series, clipped to the plot.
std::string Data(const Chart& c, const Plot& p, const std::string& clip) {
  std::string o = "<g clip-path=\"url(#" + Escape(clip) + ")\">";
  for (const Region& r : c.regions) {
    const double a = p.sx(std::max(r.from, c.x.min)), b = p.sx(std::min(r.to, c.x.max));
    if (b <= a) continue;
    o += "<rect class=\"region\" x=\"" + Num(a) + "\" y=\"" + Num(p.top) + "\" width=\"" + Num(b - a) +
         "\" height=\"" + Num(p.height) + "\" fill=\"" + r.color + "\"/>";
  }
  for (const Marker& m : c.markers) {
    const std::string x = Num(p.sx(m.x));
    o += "<line class=\"marker\" x1=\"" + x + "\" y1=\"" + Num(p.top) + "\" x2=\"" + x + "\" y2=\"" +
         Num(p.top + p.height) + "\" stroke=\"" + m.color +
         "\" stroke-width=\"1.2\" stroke-dasharray=\"3 2\"/>";
  }
  for (const Level& l : c.levels) {
    if (!p.sy.Contains(l.y)) continue;
    const std::string y = Num(p.sy(l.y));
    o += "<line class=\"level\" x1=\"" + Num(p.left) + "\" y1=\"" + y + "\" x2=\"" + Num(p.left + p.width) +
         "\" y2=\"" + y + "\" stroke=\"" + l.color + "\" stroke-width=\"" + Num(l.width) + "\"" +
         DashArray(l.dash) + "/>";
  }
  for (const Series& s : c.series) o += SeriesSvg(c, p, s);
  return o + "</g>";
}

}  // namespace

std::string Render(const Chart& c) {
  const Plot p = PlotOf(c);
  const std::string clip = "clip-" + c.id;
  // Legend first: its height decides the chart's.
  int legendLines = 0;
  const double legendTop = p.top + p.height + AXIS_BAND + 4.0;
  const std::string legend = LayoutLegend(LegendEntries(c), 8.0, legendTop, c.width - 16.0, legendLines);
  const double height = legendTop + legendLines * LEGEND_ROW + 6.0;

  std::string o =
      "<svg class=\"chart\" id=\"" + Escape(c.id) + "\" xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 " +
      Num(c.width) + " " + Num(height) + "\" width=\"" + Num(c.width) + "\" height=\"" + Num(height) +
      "\" font-family=\"Helvetica, Arial, sans-serif\" role=\"img\" aria-label=\"" + Escape(c.title) + "\">";
  o += "<defs><clipPath id=\"" + Escape(clip) + "\"><rect x=\"" + Num(p.left) + "\" y=\"" + Num(p.top) +
       "\" width=\"" + Num(p.width) + "\" height=\"" + Num(p.height) + "\"/></clipPath></defs>";
  o += "<text class=\"chart-title\" x=\"" + Num(p.left) +
       "\" y=\"14\" font-size=\"12\" font-weight=\"bold\">" + Escape(c.title) + "</text>";
  o += Axes(c, p);
  o += Data(c, p, clip);
  o += "<rect x=\"" + Num(p.left) + "\" y=\"" + Num(p.top) + "\" width=\"" + Num(p.width) + "\" height=\"" +
       Num(p.height) + "\" fill=\"none\" stroke=\"#888\" stroke-width=\"1\"/>";
  o += legend;
  return o + "</svg>";
}

std::string Key(const std::string& id, const std::vector<KeyEntry>& entries, double width) {
  std::vector<LegendEntry> legend;
  for (const KeyEntry& e : entries)
    legend.push_back({LineSymbol(e.color, e.width, e.dash, e.marker, e.line, e.hollow), e.text});
  int lines = 0;
  const std::string body = LayoutLegend(legend, 4.0, 2.0, width - 8.0, lines);
  const double height = 4.0 + lines * LEGEND_ROW;
  return "<svg class=\"key\" id=\"" + Escape(id) + "\" xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 " +
         Num(width) + " " + Num(height) + "\" width=\"" + Num(width) + "\" height=\"" + Num(height) +
         "\" font-family=\"Helvetica, Arial, sans-serif\">" + body + "</svg>";
}

}  // namespace cli::svg
