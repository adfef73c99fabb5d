// Cross-reference walk: position arithmetic over the fixed 20-byte entries
// of classic tables, across subsections and back through "/Prev" sections.
#include "brastelv1.h"
#include "pdflimits.h"
#include "syntax/textops.h"

#include <set>

namespace brastel {

using component::E_FAIL;
using component::E_NOTOPEN;
using component::HResult;
using component::S_OK;
using component::Text;

namespace {
// The walk is bounded by limits::kTableSteps and kXrefSections: a "/Prev"
// chain that comes back to a section already seen, or positions that never
// reach a matching subsection, end it with a failure instead of running on.

std::int32_t LenStr(std::int32_t x) { return static_cast<std::int32_t>(Str(x).size()); }

// a + b + ... with a failure on signed 32-bit overflow.
bool Sum(std::int32_t& out, std::initializer_list<std::int32_t> terms) {
    std::int32_t acc = 0;
    for (std::int32_t t : terms)
        if (!AddChecked(acc, t, acc)) return false;
    out = acc;
    return true;
}
}  // namespace

#define BRASTEL_TRY(expr)                 \
    do {                                  \
        if (HResult hr_ = (expr); hr_ < 0) \
            return hr_;                   \
    } while (0)
#define BRASTEL_CHECK(cond)  \
    do {                     \
        if (!(cond))         \
            return E_FAIL;   \
    } while (0)

HResult Brastelv1::GetCrossRef(std::int32_t& FindObject, std::int32_t& startxref, std::int32_t& result) {
    if (file_ < 0) return E_NOTOPEN;
    const std::int32_t k = FindObject;
    Text window;
    auto headerWindow = [&](std::int32_t p) {
        window.assign(30, ' ');
        return ReadAt(p, window);
    };
    // Number after the first line end of the window; re-detects LineEnd.
    auto firstOnNextLine = [&](std::int32_t& out) {
        Text blank = " ";
        std::int16_t mode = 1;
        std::int32_t w = 20;
        return ExtractNumber(window, LineEnd, blank, mode, w, out);
    };
    // Number after the first blank up to the line end; re-detects LineEnd.
    auto countAfterBlank = [&](Text& text, std::int32_t w, std::int32_t& out) {
        Text blank = " ";
        std::int16_t mode = 2;
        return ExtractNumber(text, blank, LineEnd, mode, w, out);
    };
    std::int32_t t1 = 0, t2 = 0;

    // 1-4: first header and count of the section at startxref.
    FirstObject = 0;
    std::int32_t pos = 0, count = 0, last = 0;
    int PosMode = 0;
    BRASTEL_CHECK(AddChecked(startxref, 4, pos));
    BRASTEL_TRY(headerWindow(pos));
    BRASTEL_TRY(firstOnNextLine(FirstObject));
    BRASTEL_CHECK(Sum(t1, {pos, LenStr(FirstObject), 2}));
    BRASTEL_TRY(headerWindow(t1));
    BRASTEL_TRY(countAfterBlank(window, 22, count));
    BRASTEL_CHECK(Sum(last, {FirstObject, count, -1}));
    // 5
    if (FirstObject < k && last < k) {
        BRASTEL_CHECK(MulChecked(20, count, t1) && Sum(pos, {pos, t1, 2}));
    } else {
        BRASTEL_CHECK(Sum(pos, {pos, LenStr(count), 22}));
    }

    std::set<std::int32_t> sectionsSeen{startxref};
    for (int step = 0; step < limits::kTableSteps; ++step) {
        // 6.1 found
        if (k == FirstObject || (FirstObject < k && k <= last)) {
            switch (PosMode) {
            case 0:  // pos + 20 * (k - FirstObject - 1)
                BRASTEL_CHECK(SubChecked(k, FirstObject, t1) && SubChecked(t1, 1, t1) &&
                              MulChecked(20, t1, t1) && AddChecked(pos, t1, t1));
                break;
            case 1:  // pos - Len(Str(count)) - 20 * (last - k + 1)
                BRASTEL_CHECK(SubChecked(last, k, t2) && AddChecked(t2, 1, t2) && MulChecked(20, t2, t2) &&
                              SubChecked(pos, LenStr(count), t1) && SubChecked(t1, t2, t1));
                break;
            default:  // pos - (20 * (count + FirstObject - k) + 2) + 5
                BRASTEL_CHECK(AddChecked(count, FirstObject, t2) && SubChecked(t2, k, t2) &&
                              MulChecked(20, t2, t2) && AddChecked(t2, 2, t2) && SubChecked(pos, t2, t1) &&
                              AddChecked(t1, 5, t1));
                break;
            }
            result = t1;
            return S_OK;
        }
        // 6.2 next header
        if (FirstObject < k) {
            BRASTEL_TRY(headerWindow(pos));
            if (Contains(window, "trailer")) {
                BRASTEL_CHECK(AddChecked(k, 1, FirstObject));
            } else {
                BRASTEL_TRY(firstOnNextLine(FirstObject));
            }
        }
        if (k < FirstObject) {
            // 6.3 the object lies in an earlier section: follow "/Prev".
            Text key = "/Prev", none;
            std::int32_t chunk = 256;
            Text text;
            BRASTEL_TRY(FindCase(key, pos, chunk, none, text));
            Text blank = " ";
            std::int16_t mode = 0;
            std::int32_t w = 0, prev = 0;
            BRASTEL_TRY(ExtractNumber(text, key, blank, mode, w, prev));
            if (!sectionsSeen.insert(prev).second || sectionsSeen.size() > limits::kXrefSections) return E_FAIL;
            BRASTEL_CHECK(AddChecked(prev, 4, pos));
            FirstObject = 0;
            BRASTEL_TRY(headerWindow(pos));
            BRASTEL_TRY(firstOnNextLine(FirstObject));
            BRASTEL_CHECK(AddChecked(pos, LenStr(FirstObject), t1));
            BRASTEL_TRY(headerWindow(t1));
            BRASTEL_TRY(countAfterBlank(window, 20, count));
            BRASTEL_CHECK(MulChecked(20, count, t1) && Sum(pos, {pos, LenStr(count), t1}));
            PosMode = 1;
            BRASTEL_CHECK(Sum(last, {FirstObject, count, -1}));
        } else {
            // 6.4 the object lies after this subsection's header.
            BRASTEL_CHECK(Sum(t1, {pos, LenStr(FirstObject), 2}));
            BRASTEL_TRY(headerWindow(t1));
            Text trimmed = Trim(window);
            BRASTEL_TRY(countAfterBlank(trimmed, 20, count));
            BRASTEL_CHECK(MulChecked(20, count, t1) &&
                          Sum(pos, {pos, t1, LenStr(count), LenStr(FirstObject), 3}));
            BRASTEL_CHECK(Sum(last, {FirstObject, count, -1}));
            PosMode = 2;
        }
    }
    return E_FAIL;
}

}  // namespace brastel
