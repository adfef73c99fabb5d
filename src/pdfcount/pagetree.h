// How every route that reads the page tree turns it into a count, so that a
// file gets one answer whichever reader decides it, and the answer readers
// give:
//  - the root's /Count when it is a whole number from 0 up to the number of
//    objects in use (every page is an object);
//  - above that, the root's /Count still when the objects and the kid
//    references of the tree could hold that many pages (a page listed
//    twice is two pages, at the cost of one more reference), else the
//    leaves of the tree; the leaves too when /Count is missing;
//  - no count at all when /Count is there but is no number;
//  - 0 when /Pages names no page-tree node.
// Routes that read no tree (text, table) take only the first answer and
// leave the rest to a route that walks.
// Kept free of C++20 so that the libqpdf route, which builds as C++17 under
// clang, includes it too.
#pragma once

#include "pdflimits.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <set>
#include <type_traits>
#include <utility>
#include <vector>

namespace brastel {

// What the root's /Count says, as read by the route.
struct CountClaim {
    enum Kind {
        Whole,     // an integer, or a real with no fraction; value holds it
        Fraction,  // a number with a fraction: no count of pages
        Missing,   // no /Count, or a direct null
        NotNumber  // a name, string, array, dictionary, stream, or a reference to nothing
    };
    Kind kind = Missing;
    std::int64_t value = 0;
};

enum class CountRule { Answer, Leaves, NoCount };

// objectsAtLeast(n): whether the cross-reference names at least n objects
// in use; called only when the claim could be an answer.
template <typename ObjectsAtLeast>
CountRule JudgeRootCount(const CountClaim& claim, ObjectsAtLeast&& objectsAtLeast) {
    switch (claim.kind) {
    case CountClaim::Whole:
        if (claim.value >= 0 && claim.value <= INT32_MAX && objectsAtLeast(static_cast<std::size_t>(claim.value)))
            return CountRule::Answer;
        return CountRule::Leaves;
    case CountClaim::Fraction:
    case CountClaim::Missing:
        return CountRule::Leaves;
    case CountClaim::NotNumber:
        break;
    }
    return CountRule::NoCount;
}

// The leaves below a page-tree node, counted as readers count them: a kid
// that a node names twice is two pages; a node that is its own ancestor on
// the current path is a loop, which gives no count (readers refuse such a
// tree); and the walk gives up after `budget` kids.  *followed, when given,
// is set to the kid references the walk followed.
//
// Kids are read one at a time where the node holds them, so that a node of
// a million kids costs what its reader holds of it (a window of the file),
// never an array of them.
//
// Tree supplies
//   Item: a kid as its node's /Kids array holds it;
//   Id: an ordered identity of indirect nodes;
//   Kids: a node's kids read in order, movable, with
//     KidStep Next(Item&): Kid (the item filled in), End, or Broken (the
//     array could not be read on: no count);
//   TreeItem Visit(const Item&, std::optional<Id>& id, Kids& kids):
//     Skip (not a dictionary: readers ignore it), Leaf, Node (id and kids
//     set), or Broken (it could not be read: no count).
enum class TreeItem { Skip, Leaf, Node, Broken };

// Kids with a Park() can let go of what they hold while the walk is below
// them.  (A trait, not a requires-expression: one user builds as C++17.)
template <typename Kids, typename = void>
struct CanPark : std::false_type {};
template <typename Kids>
struct CanPark<Kids, std::void_t<decltype(std::declval<Kids&>().Park())>> : std::true_type {};
enum class KidStep { Kid, End, Broken };

template <typename Tree>
std::optional<std::int64_t> CountLeaves(Tree& tree, const std::optional<typename Tree::Id>& rootId,
                                        typename Tree::Kids rootKids, std::size_t budget,
                                        std::size_t* followed = nullptr) {
    using Item = typename Tree::Item;
    using Id = typename Tree::Id;
    using Kids = typename Tree::Kids;
    struct Frame {
        std::optional<Id> id;
        Kids kids;
    };
    std::vector<Frame> stack;
    std::set<Id> path;
    stack.push_back(Frame{rootId, std::move(rootKids)});
    if (rootId) path.insert(*rootId);
    std::int64_t leaves = 0;
    std::size_t steps = 0;
    Item kid{};
    while (!stack.empty()) {
        Frame& top = stack.back();
        const KidStep step = top.kids.Next(kid);
        if (step == KidStep::Broken) return std::nullopt;
        if (step == KidStep::End) {
            if (top.id) path.erase(*top.id);
            stack.pop_back();
            continue;
        }
        if (++steps > budget) return std::nullopt;
        Frame child;
        switch (tree.Visit(kid, child.id, child.kids)) {
        case TreeItem::Skip:
            break;
        case TreeItem::Leaf:
            ++leaves;
            break;
        case TreeItem::Broken:
            return std::nullopt;
        case TreeItem::Node:
            if (child.id) {
                if (path.count(*child.id)) return std::nullopt;  // a loop
                path.insert(*child.id);
            }
            // Kids read from the file let their window go while the walk is
            // below them: one window at a time, however deep the tree.
            if constexpr (CanPark<Kids>::value) top.kids.Park();
            stack.push_back(std::move(child));  // `top` is not used after this
            break;
        }
    }
    if (followed) *followed = steps;
    return leaves;
}

// Kids one walk may visit: four per object in use, with room for small
// files whose tree names a page many times and for as many as the root's
// /Count claims, and never more than two million.
inline std::size_t LeafBudget(std::size_t objects, const CountClaim& claim = {}) {
    const std::size_t cap = limits::kLeafWalk;
    if (objects >= cap / 4) return cap;
    std::size_t budget = 4 * objects + 1024;
    if (claim.kind == CountClaim::Whole && claim.value > 0)
        budget += claim.value < static_cast<std::int64_t>(cap) ? static_cast<std::size_t>(claim.value) : cap;
    return budget < cap ? budget : cap;
}

// The count of a tree whose root /Count JudgeRootCount left to the leaves:
// the leaves, or the claim when the objects in use and the kid references
// the walk followed could hold that many pages.  No value when the walk
// gives none.
template <typename Tree>
std::optional<std::int64_t> CountByLeaves(const CountClaim& claim, std::size_t objects, Tree& tree,
                                          const std::optional<typename Tree::Id>& rootId,
                                          typename Tree::Kids rootKids) {
    std::size_t followed = 0;
    const auto leaves = CountLeaves(tree, rootId, std::move(rootKids), LeafBudget(objects, claim), &followed);
    if (!leaves) return std::nullopt;
    if (claim.kind == CountClaim::Whole && claim.value >= 0 && claim.value <= INT32_MAX &&
        static_cast<std::uint64_t>(claim.value) <= static_cast<std::uint64_t>(objects) + followed)
        return claim.value;
    return leaves;
}

}  // namespace brastel
