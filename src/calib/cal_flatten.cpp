#include "cal_flatten.h"

#include "hex_text.h"
#include "line_reader.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <set>

namespace plovan::flatten {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr int kMaxWord = 4095;
// A measurement is a few hundred short lines.
constexpr TextLimits kResponseLimits{1024 * 1024, 1024};
constexpr std::size_t kListedFindings = 20;
// Far beyond any reading, and far enough from overflow for its squares.
constexpr double kLargestLevel = 1e100;

std::string trimmed(std::string_view s, std::string_view blanks = " \t")
{
    const auto first = s.find_first_not_of(blanks);
    if (first == std::string_view::npos) return {};
    return std::string(s.substr(first, s.find_last_not_of(blanks) - first + 1));
}

std::vector<std::string> split(const std::string& line, char separator)
{
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t at = line.find(separator, start);
        fields.push_back(trimmed(std::string_view(line).substr(start, at - start), " "));
        if (at == std::string::npos) return fields;
        start = at + 1;
    }
}

// A number with "." as its decimal point, whatever the locale; finite.
std::optional<double> number(std::string_view text)
{
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    double v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(v)) return std::nullopt;
    return v;
}

bool equalsNoCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

// "A=0800" (case and blanks around "=" aside): the word, or -1.
int columnWord(const std::string& field)
{
    const std::size_t eq = field.find('=');
    if (eq == std::string::npos || !equalsNoCase(trimmed(field.substr(0, eq), " "), "A")) return -1;
    const std::string hex = trimmed(field.substr(eq + 1), " ");
    if (hex.empty() || hex.size() > 4) return -1;
    const std::int64_t v = HexValue(hex);
    return v >= 0 && v <= kMaxWord ? int(v) : -1;
}

std::string notANumber(const char* what, const std::string& field)
{
    std::string text = std::string(what) + " " + quotedText(field) + " is not a number";
    if (field.find(',') != std::string::npos) text += " (the decimal point is \".\")";
    return text;
}

class ResponseParser {
public:
    explicit ResponseParser(bool db) : db_(db) {}

    void line(const FileLine& line)
    {
        std::string text = line.text;
        if (const std::size_t hash = text.find('#'); hash != std::string::npos) text.erase(hash);
        if (trimmed(text, " \t\r").empty()) return;
        if (!separator_)
            separator_ = text.find('\t') != std::string::npos  ? '\t'
                         : text.find(';') != std::string::npos ? ';'
                                                               : ',';
        const std::vector<std::string> fields = split(text, *separator_);
        const bool first = !sawContent_;
        sawContent_ = true;
        if (first && !number(fields.front())) {
            header(line, fields);
            return;
        }
        data(line, fields);
    }

    ResponseRead finish(const std::string& readError)
    {
        if (!readError.empty()) finding(0, readError);
        if (findingCount_ == 0 && read_.response.mhz.size() < 2)
            finding(0, "the file has " + std::to_string(read_.response.mhz.size()) +
                           (read_.response.mhz.size() == 1 ? " frequency" : " frequencies") +
                           "; at least two are needed");
        if (listed_ < findingCount_)
            read_.findings.push_back(std::to_string(findingCount_ - listed_) + " more findings");
        return std::move(read_);
    }

private:
    void finding(std::size_t lineNumber, const std::string& text)
    {
        ++findingCount_;
        if (listed_ >= kListedFindings) return;
        ++listed_;
        read_.findings.push_back(lineNumber ? "line " + std::to_string(lineNumber) + ": " + text : text);
    }

    void header(const FileLine& line, const std::vector<std::string>& fields)
    {
        columns_ = int(fields.size()) - 1;
        if (columns_ < 1) {
            finding(line.number, "the header " + quotedText(line.text) +
                                     " names no level column (MHz,level or MHz,A=0FFF,...)");
            return;
        }
        if (columns_ == 1 && equalsNoCase(fields[1], "level")) return;
        std::set<int> seen;
        for (std::size_t c = 1; c < fields.size(); ++c) {
            const int word = columnWord(fields[c]);
            if (word < 0)
                finding(line.number, "column " + std::to_string(c + 1) + " " + quotedText(fields[c]) +
                                         ": name it level, or A= and the amplitude word it was taken at "
                                         "(hex 0-0FFF)");
            else if (!seen.insert(word).second)
                finding(line.number, "the amplitude word " + hex4(word) + " heads two columns");
            read_.response.words.push_back(word);
        }
    }

    void data(const FileLine& line, const std::vector<std::string>& fields)
    {
        const int levels = int(fields.size()) - 1;
        if (!columns_) {
            // No header: one level column, taken with the table in force.
            columns_ = levels;
            if (levels > 1)
                finding(line.number, std::to_string(levels) +
                                         " levels without a header: name each column's amplitude word in a "
                                         "first line such as MHz,A=0FFF,A=0800");
        }
        if (levels != *columns_) {
            finding(line.number, quotedText(line.text) + " has " + std::to_string(levels) + " levels, not " +
                                     std::to_string(*columns_));
            return;
        }
        const std::optional<double> mhz = number(fields[0]);
        bool ok = true;
        if (!mhz || *mhz < 0) {
            finding(line.number, mhz ? "frequency " + quotedText(fields[0]) + " is below 0"
                                     : notANumber("frequency", fields[0]));
            ok = false;
        }
        else if (lastMHz_ && *mhz <= *lastMHz_) {
            finding(line.number, "frequency " + fields[0] + " MHz does not follow the line before's " +
                                     numberText(*lastMHz_) + " MHz (give frequencies in rising order)");
            ok = false;
        }
        std::vector<double> row;
        for (std::size_t c = 1; c < fields.size(); ++c) {
            const std::optional<double> v = number(fields[c]);
            if (!v) {
                finding(line.number, notANumber("level", fields[c]));
                ok = false;
            }
            else if (!db_ && *v < 0) {
                finding(line.number, "level " + fields[c] + " is below 0 (levels in dB need --db)");
                ok = false;
            }
            else if (const double linear = db_ ? std::pow(10.0, *v / 10) : *v; linear > kLargestLevel) {
                finding(line.number, "level " + fields[c] + " is too large");
                ok = false;
            }
            else
                row.push_back(linear);
        }
        if (mhz) lastMHz_ = std::max(*mhz, lastMHz_.value_or(*mhz));
        if (!ok) return;
        read_.response.mhz.push_back(*mhz);
        read_.response.levels.push_back(std::move(row));
    }

    bool db_;
    ResponseRead read_;
    std::optional<char> separator_;
    std::optional<int> columns_;
    std::optional<double> lastMHz_;
    bool sawContent_ = false;
    std::size_t findingCount_ = 0, listed_ = 0;
};

template <typename Lines> ResponseRead readLines(Lines& reader, bool db)
{
    ResponseParser parser(db);
    while (const std::optional<FileLine> line = reader.next())
        parser.line(*line);
    return parser.finish(reader.error());
}

// Linear interpolation of ys over ascending xs at x, inside [xs.front(), xs.back()].
double interpolate(const std::vector<double>& xs, const std::vector<double>& ys, double x)
{
    const auto upper = std::upper_bound(xs.begin(), xs.end(), x);
    if (upper == xs.begin()) return ys.front();
    if (upper == xs.end()) return ys.back();
    const std::size_t k = std::size_t(upper - xs.begin());
    const double t = (x - xs[k - 1]) / (xs[k] - xs[k - 1]);
    return ys[k - 1] + t * (ys[k] - ys[k - 1]);
}

std::vector<double> column(const Response& r, int c)
{
    std::vector<double> ys;
    for (const std::vector<double>& row : r.levels)
        ys.push_back(row[std::size_t(c)]);
    return ys;
}

// A rising curve through points (x ascending, y strictly rising): the
// shape-preserving piecewise cubic (PCHIP) between them, which never
// overshoots and so stays rising; past the last point, y grows in
// proportion to x.
class RisingCurve {
public:
    RisingCurve(std::vector<double> x, std::vector<double> y) : x_(std::move(x)), y_(std::move(y))
    {
        const std::size_t n = x_.size();
        std::vector<double> h(n - 1), slope(n - 1);
        for (std::size_t k = 0; k + 1 < n; ++k) {
            h[k] = x_[k + 1] - x_[k];
            slope[k] = (y_[k + 1] - y_[k]) / h[k];
        }
        m_.assign(n, slope[0]);
        if (n == 2) return;
        // Inside: the weighted harmonic mean of the slopes either side.
        for (std::size_t k = 1; k + 1 < n; ++k) {
            const double w1 = 2 * h[k] + h[k - 1], w2 = h[k] + 2 * h[k - 1];
            m_[k] = (w1 + w2) / (w1 / slope[k - 1] + w2 / slope[k]);
        }
        // Ends: three points, kept from overshooting.
        const auto end = [](double h0, double h1, double d0, double d1) {
            const double m = ((2 * h0 + h1) * d0 - h0 * d1) / (h0 + h1);
            return m <= 0 ? 0 : std::min(m, 3 * d0);
        };
        m_[0] = end(h[0], h[1], slope[0], slope[1]);
        m_[n - 1] = end(h[n - 2], h[n - 3], slope[n - 2], slope[n - 3]);
    }

    double at(double x) const
    {
        if (x >= x_.back()) return y_.back() * x / x_.back();
        const std::size_t k = std::size_t(std::upper_bound(x_.begin(), x_.end(), x) - x_.begin()) - 1;
        const double h = x_[k + 1] - x_[k], t = (x - x_[k]) / h;
        const double t2 = t * t, t3 = t2 * t;
        return (2 * t3 - 3 * t2 + 1) * y_[k] + (t3 - 2 * t2 + t) * h * m_[k] +
               (-2 * t3 + 3 * t2) * y_[k + 1] + (t3 - t2) * h * m_[k + 1];
    }

    // The x where the curve reaches y (y >= 0).
    double inverse(double y) const
    {
        if (y >= y_.back()) return x_.back() * y / y_.back();
        double lo = x_.front(), hi = x_.back();
        for (int i = 0; i < 60; ++i) {
            const double mid = (lo + hi) / 2;
            (at(mid) < y ? lo : hi) = mid;
        }
        return (lo + hi) / 2;
    }

    double top() const { return y_.back(); }

private:
    std::vector<double> x_, y_, m_;
};

// At one frequency: the level for any amplitude word, and the word for any level.
struct LevelCurve {
    virtual ~LevelCurve() = default;
    virtual double level(double word) const = 0;
    virtual double word(double level) const = 0;
    virtual double highest() const = 0; // the highest level the measurement shows reachable
};

// One column, taken with the old word: level goes as the word squared.
struct SquareLaw final : LevelCurve {
    double oldWord, measured;
    SquareLaw(double w, double l) : oldWord(w), measured(l) {}
    double level(double w) const override { return measured * (w / oldWord) * (w / oldWord); }
    double word(double l) const override { return oldWord * std::sqrt(l / measured); }
    double highest() const override { return level(kMaxWord); }
};

// Several columns: the square root of the level (an amplitude) against the
// word, rising through zero and the measured points.
struct Measured final : LevelCurve {
    RisingCurve curve;
    explicit Measured(RisingCurve c) : curve(std::move(c)) {}
    double level(double w) const override
    {
        const double a = curve.at(std::min<double>(w, kMaxWord));
        return a * a;
    }
    double word(double l) const override { return curve.inverse(std::sqrt(l)); }
    double highest() const override { return curve.top() * curve.top(); }
};

// The old amplitude word at `mhz`, read linearly between the two locations
// around it; NaN where either is not hex.
double oldWordAt(const CalRows& old, double mhz)
{
    const double at = std::min(mhz * 512 / 312.5, double(kCalLocations - 1));
    const std::size_t low = std::size_t(at), high = std::min<std::size_t>(low + 1, kCalLocations - 1);
    const std::int64_t a = HexValue(old[low].amplitude), b = HexValue(old[high].amplitude);
    if (!old[low].hex() || !old[high].hex()) return kNaN;
    return double(a) + (at - double(low)) * double(b - a);
}

std::string fixed(double value, int decimals)
{
    char buffer[64];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    return std::string(buffer, r.ptr);
}

std::string mhzText(double mhz)
{
    return fixed(mhz, 2);
}

} // namespace

ResponseRead readResponse(std::istream& in, bool db)
{
    LineReader reader(in, kResponseLimits.maxLineChars);
    return readLines(reader, db);
}

std::optional<ResponseRead> readResponseFile(const std::string& path, bool db, std::string* error)
{
    TextFile file;
    if (const std::string why = file.open(path, kResponseLimits); !why.empty()) {
        if (error) *error = why;
        return std::nullopt;
    }
    return readLines(file, db);
}

std::vector<std::string> shapeFindings(const Response& shape)
{
    std::vector<std::string> findings;
    if (shape.columns() != 1 || !shape.words.empty())
        findings.push_back("a shape has one level column (MHz,level)");
    for (std::size_t i = 0; i < shape.mhz.size() && findings.empty(); ++i)
        if (!(shape.levels[i].front() > 0))
            findings.push_back("the shape's level at " + numberText(shape.mhz[i]) + " MHz is not above 0");
    return findings;
}

double locationMHz(int location)
{
    return location * 312.5 / 512;
}

std::vector<int> Plan::rowsWith(Fate wanted) const
{
    std::vector<int> rows;
    for (int i = 0; i < kCalLocations; ++i)
        if (fate[std::size_t(i)] == wanted) rows.push_back(i);
    return rows;
}

Plan flatten(const CalRows& old, const Response& measured, const Target& target)
{
    Plan plan;
    plan.rows = old;
    plan.measured.fill(kNaN);
    plan.target.fill(kNaN);
    plan.predicted.fill(kNaN);
    plan.fate.fill(Fate::OutOfRange);
    if (measured.mhz.size() < 2 || measured.columns() < 1) return plan;
    plan.bandLow = measured.mhz.front();
    plan.bandHigh = measured.mhz.back();
    const bool shaped = target.kind == Target::Shape && target.shape.columns() == 1;
    const std::vector<double> shapeLevels = shaped ? column(target.shape, 0) : std::vector<double>{};

    // The order of the word columns, rising.
    std::vector<int> order(measured.words.size());
    for (std::size_t c = 0; c < order.size(); ++c)
        order[c] = int(c);
    std::sort(order.begin(), order.end(),
              [&](int a, int b) { return measured.words[a] < measured.words[b]; });
    std::vector<std::vector<double>> columns;
    for (int c = 0; c < measured.columns(); ++c)
        columns.push_back(column(measured, c));

    // One column: the level over the square of the word in force at each
    // measured frequency (the old table read between its locations), so that
    // each row is scaled from its own old word.
    std::vector<double> gain;
    if (measured.words.empty())
        for (std::size_t k = 0; k < measured.mhz.size(); ++k) {
            const double w = oldWordAt(old, measured.mhz[k]);
            gain.push_back(w > 0 ? columns[0][k] / (w * w) : kNaN);
        }

    std::array<std::unique_ptr<LevelCurve>, kCalLocations> curves;
    std::array<double, kCalLocations> form{}; // the target's form: 1, or the shape's level
    for (int i = 0; i < kCalLocations; ++i) {
        const std::size_t r = std::size_t(i);
        const double f = locationMHz(i);
        Fate& fate = plan.fate[r];
        if (f < plan.bandLow || f > plan.bandHigh) continue;
        if (shaped && (f < target.shape.mhz.front() || f > target.shape.mhz.back())) continue;
        form[r] = shaped ? interpolate(target.shape.mhz, shapeLevels, f) : 1.0;
        const std::int64_t oldWord = HexValue(old[r].amplitude);
        if (!old[r].hex()) {
            fate = Fate::NotHex;
            continue;
        }
        if (measured.words.empty()) {
            const double level = interpolate(measured.mhz, gain, f) * double(oldWord) * double(oldWord);
            plan.measured[r] = level;
            if (oldWord == 0 || !(level > 0)) {
                fate = Fate::NotScalable;
                continue;
            }
            curves[r] = std::make_unique<SquareLaw>(double(oldWord), level);
        }
        else {
            std::vector<double> x{0}, y{0};
            bool rising = true;
            for (int c : order) {
                const double a = std::sqrt(interpolate(measured.mhz, columns[std::size_t(c)], f));
                if (measured.words[std::size_t(c)] == 0) {
                    y[0] = a;
                    continue;
                }
                rising = rising && a > y.back();
                x.push_back(measured.words[std::size_t(c)]);
                y.push_back(a);
            }
            if (!rising || x.size() < 2) {
                fate = Fate::NotMonotone;
                continue;
            }
            curves[r] = std::make_unique<Measured>(RisingCurve(x, y));
            plan.measured[r] = curves[r]->level(double(oldWord));
        }
        fate = Fate::Changed;
    }

    // The target: flat, or the shape's form, at the highest level every
    // location can reach, unless a level is given.
    double scale = target.kind == Target::Level ? target.level : std::numeric_limits<double>::infinity();
    if (target.kind != Target::Level)
        for (int i = 0; i < kCalLocations; ++i)
            if (curves[std::size_t(i)])
                scale = std::min(scale, curves[std::size_t(i)]->highest() / form[std::size_t(i)]);
    if (!std::isfinite(scale)) scale = 0;
    plan.flatLevel = scale;

    double measuredLow = 0, measuredHigh = 0, predictedLow = 0, predictedHigh = 0;
    bool any = false;
    for (int i = 0; i < kCalLocations; ++i) {
        const std::size_t r = std::size_t(i);
        if (plan.fate[r] == Fate::OutOfRange) continue;
        const double wanted = scale * form[r];
        plan.target[r] = wanted;
        if (curves[r]) {
            const double exact = curves[r]->word(wanted);
            const std::int64_t word = exact > kMaxWord ? kMaxWord : std::llround(exact);
            if (exact > kMaxWord + 0.5)
                plan.fate[r] = Fate::Clipped;
            else if (word == HexValue(old[r].amplitude))
                plan.fate[r] = Fate::Same;
            plan.rows[r].amplitude = hex4(word);
            plan.predicted[r] = curves[r]->level(double(word));
        }
        else
            plan.predicted[r] = plan.measured[r];
        if (!(wanted > 0) || std::isnan(plan.predicted[r])) continue;
        const double m = plan.measured[r] / wanted, p = plan.predicted[r] / wanted;
        if (!any) {
            measuredLow = measuredHigh = m;
            predictedLow = predictedHigh = p;
            any = true;
        }
        measuredLow = std::min(measuredLow, m);
        measuredHigh = std::max(measuredHigh, m);
        predictedLow = std::min(predictedLow, p);
        predictedHigh = std::max(predictedHigh, p);
    }
    const auto spread = [](double low, double high) {
        return low > 0 ? high / low : std::numeric_limits<double>::infinity();
    };
    plan.measuredSpread = any ? spread(measuredLow, measuredHigh) : 0;
    plan.predictedSpread = any ? spread(predictedLow, predictedHigh) : 0;
    return plan;
}

Loaded load(const Inputs& in)
{
    Loaded loaded;
    loaded.target.kind = in.kind;
    loaded.target.level = in.level;
    const auto said = [&](const std::string& path, const std::vector<std::string>& findings) {
        for (const std::string& f : findings)
            loaded.findings.push_back(path + ": " + f);
    };
    const auto response = [&](const std::string& path, Response& into) {
        std::string error;
        const std::optional<ResponseRead> read = readResponseFile(path, in.db, &error);
        if (!read) return said(path, {error});
        said(path, read->findings);
        into = read->response;
    };
    response(in.measured, loaded.measured);
    if (in.kind == Target::Shape) {
        const std::size_t before = loaded.findings.size();
        response(in.shape, loaded.target.shape);
        if (loaded.findings.size() == before) said(in.shape, shapeFindings(loaded.target.shape));
    }
    if (in.kind == Target::Level && !(in.level > 0))
        loaded.findings.push_back("the target level must be above 0");
    std::string error;
    const std::optional<CalRead> cal = readCalFile(in.cal, &error);
    if (!cal)
        said(in.cal, {error});
    else {
        said(in.cal, cal->notes);
        loaded.old = cal->rows;
    }
    return loaded;
}

std::string numberText(double value, int digits)
{
    char buffer[64];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, digits);
    return std::string(buffer, r.ptr);
}

std::string spreadText(double spread)
{
    if (!(spread > 0)) return "-";
    if (!std::isfinite(spread)) return "unbounded (a level of 0)";
    return fixed(spread, 4) + " (" + fixed(10 * std::log10(spread), 3) + " dB)";
}

std::string rowRanges(const std::vector<int>& rows)
{
    std::string text;
    for (std::size_t k = 0; k < rows.size();) {
        std::size_t end = k;
        while (end + 1 < rows.size() && rows[end + 1] == rows[end] + 1)
            ++end;
        if (!text.empty()) text += ", ";
        text += std::to_string(rows[k]);
        if (end > k) text += "-" + std::to_string(rows[end]);
        k = end + 1;
    }
    return text;
}

std::vector<std::string> summary(const Plan& plan, const Target& target)
{
    std::vector<std::string> lines;
    const auto group = [&](Fate fate, const std::string& what) {
        const std::vector<int> rows = plan.rowsWith(fate);
        if (rows.empty()) return;
        lines.push_back(what + ": " + std::to_string(rows.size()) +
                        (rows.size() == 1 ? " row (" : " rows (") + rowRanges(rows) + ")");
    };
    const std::string band = mhzText(plan.bandLow) + "-" + mhzText(plan.bandHigh) + " MHz";
    group(Fate::Changed, "changed");
    group(Fate::Same, "already right");
    group(Fate::Clipped, "clipped to 0FFF (the target needs more)");
    group(Fate::OutOfRange, std::string("kept, outside the measured band ") + band +
                                (target.kind == Target::Shape ? " or the shape's" : ""));
    group(Fate::NotMonotone, "kept, the measured level does not rise with the amplitude word");
    group(Fate::NotScalable, "kept, the old word or the measured level is 0");
    group(Fate::NotHex, "kept, not hex");
    switch (target.kind) {
    case Target::Max:
        lines.push_back("target: flat at " + numberText(plan.flatLevel) +
                        ", the highest level every measured location can reach");
        break;
    case Target::Level: lines.push_back("target: flat at " + numberText(plan.flatLevel)); break;
    case Target::Shape:
        lines.push_back("target: the shape x " + numberText(plan.flatLevel) +
                        ", as high as every measured location can reach");
        break;
    }
    lines.push_back("flatness over " + band + " (max/min of level over target): measured " +
                    spreadText(plan.measuredSpread) + ", predicted " + spreadText(plan.predictedSpread));
    return lines;
}

} // namespace plovan::flatten
