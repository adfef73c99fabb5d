#include "objectscan.h"
#include "textops.h"

#include <set>
#include <string>
#include <unordered_map>
#include <vector>

namespace brastel {

namespace {

bool IsSpace(char c) { return IsPdfSpace(c); }
bool IsDelimiter(char c) {
    return IsSpace(c) || c == '(' || c == ')' || c == '<' || c == '>' || c == '[' || c == ']' || c == '{' ||
           c == '}' || c == '/' || c == '%';
}

constexpr long long kMaxNumber = 99999999;

// A parsed value: an integer, a reference, a name, an array of references.
struct Value {
    enum Kind { None, Integer, Ref, Name, RefArray } kind = None;
    long long number = 0;
    std::string name;
    std::vector<long long> refs;
};

// Characters the dictionary lookups may examine in one scan, so that a file
// crafted with many headers and no "endobj" cannot make the scan quadratic.
constexpr long long kScanBudget = 64LL << 20;

class Reader {
public:
    Reader(std::string_view text, long long& budget) : t_(text), budget_(budget) {}

    void SkipSpace() {
        while (i_ < t_.size()) {
            if (IsSpace(t_[i_])) {
                ++i_;
            } else if (t_[i_] == '%') {
                while (i_ < t_.size() && t_[i_] != '\n' && t_[i_] != '\r') ++i_;
            } else {
                break;
            }
        }
    }
    bool Number(long long& v) {
        const std::size_t from = i_;
        v = 0;
        while (i_ < t_.size() && IsDigit(t_[i_]) && i_ - from < 9) v = v * 10 + (t_[i_++] - '0');
        if (i_ == from || (i_ < t_.size() && !IsDelimiter(t_[i_]))) {
            i_ = from;
            return false;
        }
        return true;
    }
    // Integer or "N G R" at the current place.
    bool IntegerOrRef(Value& v) {
        long long a = 0, b = 0;
        if (!Number(a)) return false;
        const std::size_t afterA = i_;
        SkipSpace();
        if (Number(b)) {
            SkipSpace();
            if (i_ < t_.size() && t_[i_] == 'R' && (i_ + 1 >= t_.size() || IsDelimiter(t_[i_ + 1]))) {
                ++i_;
                v.kind = Value::Ref;
                v.number = a;
                return true;
            }
        }
        i_ = afterA;
        v.kind = Value::Integer;
        v.number = a;
        return true;
    }
    Value ParseValue() {
        Value v;
        SkipSpace();
        if (i_ >= t_.size()) return v;
        if (t_[i_] == '/') {
            std::size_t j = i_ + 1;
            while (j < t_.size() && !IsDelimiter(t_[j])) ++j;
            v.kind = Value::Name;
            v.name = std::string(t_.substr(i_, j - i_));
            i_ = j;
        } else if (t_[i_] == '[') {
            ++i_;
            v.kind = Value::RefArray;
            for (int guard = 0; guard < 1000000; ++guard) {
                SkipSpace();
                if (i_ >= t_.size()) return Value{};
                if (t_[i_] == ']') break;
                Value item;
                if (!IntegerOrRef(item) || item.kind != Value::Ref) return Value{};
                v.refs.push_back(item.number);
            }
        } else if (IsDigit(t_[i_])) {
            IntegerOrRef(v);
        }
        return v;
    }
    // Position after key in the outermost dictionary, or npos.
    std::size_t FindTopKey(std::string_view key) {
        int depth = 0;
        const std::size_t from = i_;
        while (i_ < t_.size()) {
            if (budget_ - static_cast<long long>(i_ - from) <= 0) break;
            const char c = t_[i_];
            if (c == '<' && i_ + 1 < t_.size() && t_[i_ + 1] == '<') {
                ++depth;
                i_ += 2;
            } else if (c == '>' && i_ + 1 < t_.size() && t_[i_ + 1] == '>') {
                i_ += 2;
                if (--depth <= 0) return std::string_view::npos;
            } else if (c == '<') {
                while (i_ < t_.size() && t_[i_] != '>') ++i_;
                ++i_;
            } else if (c == '(') {
                int nest = 0;
                for (; i_ < t_.size(); ++i_) {
                    if (t_[i_] == '\\') {
                        ++i_;
                    } else if (t_[i_] == '(') {
                        ++nest;
                    } else if (t_[i_] == ')' && --nest == 0) {
                        ++i_;
                        break;
                    }
                }
            } else if (c == '%') {
                SkipSpace();
            } else if (c == '/') {
                std::size_t j = i_ + 1;
                while (j < t_.size() && !IsDelimiter(t_[j])) ++j;
                const std::string_view name = t_.substr(i_, j - i_);
                i_ = j;
                if (depth == 1 && name == key) {
                    budget_ -= static_cast<long long>(i_ - from);
                    return i_;
                }
            } else if (c == 's' && t_.substr(i_, 6) == "stream") {
                return std::string_view::npos;  // the dictionary has ended
            } else {
                ++i_;
            }
        }
        budget_ -= static_cast<long long>(i_ - from);
        return std::string_view::npos;
    }
    void Seek(std::size_t at) { i_ = at; }

private:
    std::string_view t_;
    std::size_t i_ = 0;
    long long& budget_;
};

Value TopValue(std::string_view body, std::string_view key, long long& budget) {
    Reader r(body, budget);
    if (r.FindTopKey(key) == std::string_view::npos) return {};
    return r.ParseValue();
}

class ObjectMap {
public:
    explicit ObjectMap(std::string_view file) : file_(file) {
        // Every "obj" keyword preceded by "<num> <gen>"; a later
        // definition of the same number replaces an earlier one.
        for (std::size_t at = file.find("obj"); at != std::string_view::npos; at = file.find("obj", at + 3)) {
            if (at + 3 < file.size() && !IsDelimiter(file[at + 3])) continue;
            std::size_t j = at;
            while (j > 0 && IsSpace(file[j - 1])) --j;
            std::size_t g = j;
            while (g > 0 && IsDigit(file[g - 1])) --g;
            if (g == j || g == 0 || !IsSpace(file[g - 1])) continue;
            std::size_t k = g - 1;
            while (k > 0 && IsSpace(file[k - 1])) --k;
            std::size_t n = k;
            while (n > 0 && IsDigit(file[n - 1]) && k - n < 9) --n;
            if (n == k || (n > 0 && !IsDelimiter(file[n - 1]))) continue;
            const long long num = std::stoll(std::string(file.substr(n, k - n)));
            bodies_[num] = at + 3;
        }
    }
    // The object's text up to its "endobj" (or a bounded window).
    std::string_view Body(long long num) const {
        const auto it = bodies_.find(num);
        if (it == bodies_.end()) return {};
        std::string_view rest = file_.substr(it->second, 1 << 16);
        const auto end = rest.find("endobj");
        return end == std::string_view::npos ? rest : rest.substr(0, end);
    }
    std::size_t size() const { return bodies_.size(); }
    const std::unordered_map<long long, std::size_t>& all() const { return bodies_; }

private:
    std::string_view file_;
    std::unordered_map<long long, std::size_t> bodies_;
};

std::optional<long long> FindRoot(std::string_view file, const ObjectMap& objects, long long& budget) {
    // The newest trailer that names a root.
    for (std::size_t at = file.rfind("trailer"); at != std::string_view::npos && budget > 0;
         at = at == 0 ? std::string_view::npos : file.rfind("trailer", at - 1)) {
        const Value root = TopValue(file.substr(at + 7, 1 << 16), "/Root", budget);
        if (root.kind == Value::Ref) return root.number;
    }
    // No trailer (a file cut short, say): the catalog written last.
    std::optional<long long> catalog;
    std::size_t catalogAt = 0;
    for (const auto& [num, at] : objects.all()) {
        if (budget <= 0) return std::nullopt;
        const Value type = TopValue(objects.Body(num), "/Type", budget);
        if (type.kind == Value::Name && type.name == "/Catalog" && (!catalog || at > catalogAt)) {
            catalog = num;
            catalogAt = at;
        }
    }
    return catalog;
}

}  // namespace

std::optional<std::int32_t> CountByObjectScan(std::string_view file) {
    const ObjectMap objects(file);
    long long budget = kScanBudget;
    const auto root = FindRoot(file, objects, budget);
    if (!root) return std::nullopt;
    const Value pages = TopValue(objects.Body(*root), "/Pages", budget);
    if (pages.kind != Value::Ref) return std::nullopt;
    const Value claimed = TopValue(objects.Body(pages.number), "/Count", budget);
    if (claimed.kind != Value::Integer || claimed.number < 1 || claimed.number > kMaxNumber) return std::nullopt;

    long long leaves = 0;
    std::vector<long long> stack{pages.number};
    std::set<long long> seen;
    while (!stack.empty()) {
        const long long num = stack.back();
        stack.pop_back();
        if (!seen.insert(num).second || seen.size() > objects.size()) continue;
        const std::string_view body = objects.Body(num);
        if (body.empty()) return std::nullopt;  // a kid that is nowhere: no answer
        const Value type = TopValue(body, "/Type", budget);
        if (type.kind == Value::Name && type.name == "/Page") {
            ++leaves;
            continue;
        }
        const Value kids = TopValue(body, "/Kids", budget);
        if (kids.kind != Value::RefArray) return std::nullopt;
        for (auto it = kids.refs.rbegin(); it != kids.refs.rend(); ++it) stack.push_back(*it);
    }
    if (budget <= 0 || leaves != claimed.number) return std::nullopt;
    return static_cast<std::int32_t>(leaves);
}

}  // namespace brastel
