#include "pagebox.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace brastel::pdf {

namespace {
// 15 m in points: a larger side is damage, not paper.
constexpr double kLongestSide = 15000 / 25.4 * 72;
}  // namespace

std::optional<double> NumberOf(const Value& v) {
    if (v.Is(Value::Kind::Integer)) return static_cast<double>(v.integer);
    if (!v.Is(Value::Kind::Real)) return std::nullopt;
    std::string_view t = v.text;
    if (!t.empty() && t.front() == '+') t.remove_prefix(1);
    double d = 0;
    const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), d);
    if (ec != std::errc() || end != t.data() + t.size() || !std::isfinite(d)) return std::nullopt;
    return d;
}

BoxEntry ReadBox(const Value& v) {
    BoxEntry e;
    if (v.Is(Value::Kind::Missing) || v.Is(Value::Kind::Null)) return e;
    e.state = BoxEntry::State::Bad;
    if (!v.Is(Value::Kind::Array)) return e;
    double n[4];
    int count = 0;
    bool numbers = true;
    const bool closed = ForEachItem(v, [&](const Value& item) {
        const auto d = NumberOf(item);
        if (!d || count == 4) {
            numbers = false;
            return false;
        }
        n[count++] = *d;
        return true;
    });
    if (!closed || !numbers) return e;
    return BoxOfNumbers(n, count);
}

BoxEntry BoxOfNumbers(const double* n, int count) {
    BoxEntry e;
    e.state = BoxEntry::State::Bad;
    if (count != 4) return e;
    for (int i = 0; i < 4; ++i)
        if (!std::isfinite(n[i])) return e;
    e.box = Box{std::min(n[0], n[2]), std::min(n[1], n[3]), std::max(n[0], n[2]), std::max(n[1], n[3])};
    if (!(e.box.width() > 0) || !(e.box.height() > 0) || e.box.width() > kLongestSide ||
        e.box.height() > kLongestSide)
        return e;
    e.state = BoxEntry::State::Ok;
    return e;
}

std::optional<std::pair<double, double>> ShownSize(const PageGeometry& page) {
    if (page.media.state != BoxEntry::State::Ok) return std::nullopt;
    Box shown = page.media.box;
    // A crop box is clipped to the media box; one that is bad or lies
    // outside it leaves the media box, as readers show such pages.
    if (page.crop.state == BoxEntry::State::Ok) {
        const Box& c = page.crop.box;
        const Box clipped{std::max(c.x0, shown.x0), std::max(c.y0, shown.y0), std::min(c.x1, shown.x1),
                          std::min(c.y1, shown.y1)};
        if (clipped.width() > 0 && clipped.height() > 0) shown = clipped;
    }
    double unit = page.userUnit;
    if (!(unit > 0) || !std::isfinite(unit)) unit = 1;
    double w = shown.width() * unit;
    double h = shown.height() * unit;
    if (w > kLongestSide || h > kLongestSide) return std::nullopt;
    const std::int64_t r = ((page.rotate.value_or(0) % 360) + 360) % 360;
    if (r == 90 || r == 270) std::swap(w, h);
    return std::make_pair(w, h);
}

}  // namespace brastel::pdf
